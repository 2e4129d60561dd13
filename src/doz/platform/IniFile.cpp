#include "platform/IniFile.h"

#include "platform/Ansi.h"
#include "platform/Error.h"
#include "platform/Files.h"
#include "platform/SystemErrors.h"

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <limits>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace doz {

namespace {

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; }

std::string_view trim(std::string_view s) {
    while (!s.empty() && isSpace(s.front())) s.remove_prefix(1);
    while (!s.empty() && isSpace(s.back())) s.remove_suffix(1);
    return s;
}

// Not an errno value: the path names something other than a file or a folder.
constexpr int kNotRegularFile = -1;

std::string reasonText(int err) {
    if (err == kNotRegularFile) return "non \xE8 un file regolare";
    return systemErrorText(err);
}

[[noreturn]] void throwWriteError(const std::string& path, const std::string& reason) {
    throw IoError("Impossibile scrivere il file \"" + path + "\": " + reason);
}

// One line of the file as it was read, with what the profile rules see in it.
struct Line {
    enum class Kind { Blank, Comment, Section, Key };
    std::string text;  // without the line end
    Kind kind = Kind::Blank;
    std::string name;  // section or key name, trimmed
    std::string value; // key value, trimmed
};

Line classify(std::string text) {
    Line line;
    const std::string_view t = trim(text);
    if (t.empty()) {
        line.kind = Line::Kind::Blank;
    } else if (t.front() == ';' || t.front() == '#') {
        line.kind = Line::Kind::Comment;
    } else if (t.front() == '[' && t.find(']') != std::string_view::npos) {
        // The name runs to the last ']'; whatever follows it is ignored.
        line.kind = Line::Kind::Section;
        line.name = std::string(trim(t.substr(1, t.rfind(']') - 1)));
    } else {
        // A key line; "[Name" without its ']' is one too, as the profile
        // functions read it. A line without '=' is a key with the empty value.
        line.kind = Line::Kind::Key;
        const std::size_t eq = t.find('=');
        line.name = std::string(trim(t.substr(0, eq)));
        if (eq != std::string_view::npos) line.value = std::string(trim(t.substr(eq + 1)));
    }
    line.text = std::move(text);
    return line;
}

enum class LoadState { Loaded, Missing, Unreadable };

struct Document {
    LoadState state = LoadState::Missing;
    int error = 0;
    std::string bom;            // a UTF-8 byte-order mark in front, kept on writing
    std::string eol = "\r\n";
    std::vector<Line> lines;

    static constexpr std::size_t npos = static_cast<std::size_t>(-1);

    // Index of the first header of the section, or npos.
    std::size_t findSection(std::string_view section) const {
        const std::string_view name = trim(section);
        for (std::size_t i = 0; i < lines.size(); ++i) {
            if (lines[i].kind == Line::Kind::Section && sameTextNoCase(lines[i].name, name)) return i;
        }
        return npos;
    }
    // One past the last line of the section whose header is at `header`.
    std::size_t sectionEnd(std::size_t header) const {
        std::size_t i = header + 1;
        while (i < lines.size() && lines[i].kind != Line::Kind::Section) ++i;
        return i;
    }
    // Index of the key's line in the first matching section, or npos.
    std::size_t findKey(std::string_view section, std::string_view key) const {
        const std::size_t header = findSection(section);
        if (header == npos) return npos;
        const std::string_view name = trim(key);
        const std::size_t end = sectionEnd(header);
        for (std::size_t i = header + 1; i < end; ++i) {
            if (lines[i].kind == Line::Kind::Key && sameTextNoCase(lines[i].name, name)) return i;
        }
        return npos;
    }

    std::string serialise() const {
        std::string out = bom;
        for (const Line& line : lines) {
            out += line.text;
            out += eol;
        }
        return out;
    }
};

Document load(const std::string& path) {
    Document doc;
    // A pipe or a device would block the read or never end (a folder fails the read by itself).
    struct stat st{};
    if (::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode)) {
        doc.error = kNotRegularFile;
        doc.state = LoadState::Unreadable;
        return doc;
    }
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) {
        doc.error = errno;
        doc.state = errno == ENOENT ? LoadState::Missing : LoadState::Unreadable;
        return doc;
    }
    std::string content;
    char buffer[65536];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) content.append(buffer, n);
    const bool failed = std::ferror(f) != 0;
    const int readErrno = errno;
    std::fclose(f);
    if (failed) {
        doc.error = readErrno;
        doc.state = LoadState::Unreadable;
        return doc;
    }
    doc.state = LoadState::Loaded;

    std::string_view rest(content);
    if (rest.substr(0, 3) == "\xEF\xBB\xBF") {
        doc.bom = "\xEF\xBB\xBF";
        rest.remove_prefix(3);
    }
    const std::size_t firstBreak = rest.find('\n');
    if (firstBreak != std::string_view::npos && (firstBreak == 0 || rest[firstBreak - 1] != '\r')) doc.eol = "\n";

    while (!rest.empty()) {
        const std::size_t nl = rest.find('\n');
        std::string_view piece = rest.substr(0, nl);
        rest.remove_prefix(nl == std::string_view::npos ? rest.size() : nl + 1);
        if (!piece.empty() && piece.back() == '\r') piece.remove_suffix(1);
        doc.lines.push_back(classify(std::string(piece)));
    }
    return doc;
}

// Writes the whole file, or leaves it as it was (platform/Files.h).
void save(const std::string& path, const Document& doc) {
    namespace fs = std::filesystem;
    std::error_code ec;
    // A symbolic link is written through: the file it leads to is replaced.
    std::string resolved;
    if (finalTarget(path, resolved) != 0) resolved = path;
    const fs::path target(resolved);
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    if (!fs::is_directory(folder, ec)) throwWriteError(path, "la cartella \"" + folder.string() + "\" non esiste");

    if (const int err = replaceFileContent(path, doc.serialise())) throwWriteError(path, reasonText(err));
}

Document loadForWriting(const std::string& path) {
    Document doc = load(path);
    if (doc.state == LoadState::Unreadable) {
        throw IoError("Impossibile leggere il file \"" + path + "\": " + reasonText(doc.error));
    }
    return doc;
}

void checkNames(std::string_view section, std::string_view key) {
    const std::string_view s = trim(section);
    const std::string_view k = trim(key);
    if (s.empty() || s.find_first_of("\r\n") != std::string_view::npos) {
        throw Error("Nome di sezione non valido: \"" + std::string(section) + "\"");
    }
    if (k.empty() || k.find_first_of("=\r\n") != std::string_view::npos || k.front() == '[' || k.front() == ';' ||
        k.front() == '#') {
        throw Error("Nome di chiave non valido: \"" + std::string(key) + "\"");
    }
}

// A profile line cannot hold a line break: each one is written as a blank.
std::string oneLine(std::string_view value) {
    std::string out(value);
    for (char& c : out) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    return out;
}

}  // namespace

IniFile::IniFile(std::string path) : path_(std::move(path)) {}

std::string IniFile::readString(std::string_view section, std::string_view key, std::string_view defaultValue) const {
    const Document doc = load(path_);
    const std::size_t i = doc.findKey(section, key);
    if (i == Document::npos) return std::string(defaultValue);
    std::string_view value = doc.lines[i].value;
    // One pair of enclosing quotes is removed, as the profile functions do.
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return std::string(value);
}

int IniFile::readInteger(std::string_view section, std::string_view key, int defaultValue) const {
    const std::string text = readString(section, key, "");
    std::string_view t(text);
    bool negative = false;
    if (!t.empty() && (t.front() == '-' || t.front() == '+')) {
        negative = t.front() == '-';
        t.remove_prefix(1);
    }
    int base = 10;
    if (!t.empty() && t.front() == '$') {
        base = 16;
        t.remove_prefix(1);
    } else if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) {
        base = 16;
        t.remove_prefix(2);
    }
    if (t.empty()) return defaultValue;
    std::uint64_t v = 0;
    for (char c : t) {
        int digit;
        if (c >= '0' && c <= '9') digit = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
        else return defaultValue;
        v = v * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
        if (v > 0xFFFFFFFFull) return defaultValue;
    }
    if (base == 16) {
        // Hexadecimal covers the 32 bits, so $FFFFFFFF is -1.
        const auto bits = static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
        return negative ? static_cast<int>(-static_cast<std::int64_t>(bits)) : bits;
    }
    const std::int64_t signedValue = negative ? -static_cast<std::int64_t>(v) : static_cast<std::int64_t>(v);
    if (signedValue < std::numeric_limits<std::int32_t>::min() || signedValue > std::numeric_limits<std::int32_t>::max()) {
        return defaultValue;
    }
    return static_cast<int>(signedValue);
}

namespace {
bool setKey(Document& doc, std::string_view section, std::string_view key, std::string_view value);
}  // namespace

void IniFile::writeString(std::string_view section, std::string_view key, std::string_view value) {
    const std::pair<std::string_view, std::string_view> one[] = {{key, value}};
    writeStrings(section, one);
}

void IniFile::writeStrings(std::string_view section, std::span<const std::pair<std::string_view, std::string_view>> values) {
    for (const auto& [key, value] : values) checkNames(section, key);
    Document doc = loadForWriting(path_);
    bool changed = false;
    for (const auto& [key, value] : values) changed |= setKey(doc, section, key, value);
    if (changed) save(path_, doc);
}

namespace {

// Sets one key in the document; false when it already had that value.
bool setKey(Document& doc, std::string_view section, std::string_view key, std::string_view value) {
    const std::string text = oneLine(value);

    const std::size_t keyLine = doc.findKey(section, key);
    if (keyLine != Document::npos) {
        // The key keeps the spelling it has in the file.
        std::string replaced = doc.lines[keyLine].name + "=" + text;
        if (replaced == doc.lines[keyLine].text) return false;  // the file already says so
        doc.lines[keyLine] = classify(std::move(replaced));
    } else {
        const std::string newLine = std::string(trim(key)) + "=" + text;
        const std::size_t header = doc.findSection(section);
        if (header != Document::npos) {
            std::size_t insertAt = header + 1;
            const std::size_t end = doc.sectionEnd(header);
            for (std::size_t i = header + 1; i < end; ++i) {
                if (doc.lines[i].kind == Line::Kind::Key) insertAt = i + 1;
            }
            doc.lines.insert(doc.lines.begin() + static_cast<std::ptrdiff_t>(insertAt), classify(newLine));
        } else {
            if (!doc.lines.empty() && doc.lines.back().kind != Line::Kind::Blank) doc.lines.push_back(classify(""));
            doc.lines.push_back(classify("[" + std::string(trim(section)) + "]"));
            doc.lines.push_back(classify(newLine));
        }
    }
    return true;
}

}  // namespace

void IniFile::writeInteger(std::string_view section, std::string_view key, int value) {
    writeString(section, key, std::to_string(value));
}

bool IniFile::sectionExists(std::string_view section) const {
    return load(path_).findSection(section) != Document::npos;
}

bool IniFile::valueExists(std::string_view section, std::string_view key) const {
    return load(path_).findKey(section, key) != Document::npos;
}

std::vector<std::string> IniFile::readSection(std::string_view section) const {
    const Document doc = load(path_);
    std::vector<std::string> keys;
    const std::size_t header = doc.findSection(section);
    if (header == Document::npos) return keys;
    const std::size_t end = doc.sectionEnd(header);
    for (std::size_t i = header + 1; i < end; ++i) {
        if (doc.lines[i].kind == Line::Kind::Key) keys.push_back(doc.lines[i].name);
    }
    return keys;
}

void IniFile::eraseKey(std::string_view section, std::string_view key) {
    Document doc = loadForWriting(path_);
    const std::size_t i = doc.findKey(section, key);
    if (i == Document::npos) return;
    doc.lines.erase(doc.lines.begin() + static_cast<std::ptrdiff_t>(i));
    save(path_, doc);
}

}  // namespace doz
