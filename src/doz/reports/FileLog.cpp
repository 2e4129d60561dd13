// The field-by-field log of a produced bank file.
#include <algorithm>
#include <filesystem>
#include <system_error>

#include "layout/Catalogue.h"
#include "platform/Files.h"
#include "reports/Reports.h"

namespace doz {

namespace {

// The bank file as lines without their ends: split at LF, one CR before it
// dropped; a last line without an end still counts, an empty file has none.
std::vector<std::string> textLines(const std::string& content) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < content.size()) {
        std::size_t end = content.find('\n', start);
        const std::size_t next = end == std::string::npos ? content.size() : end + 1;
        if (end == std::string::npos) end = content.size();
        std::size_t stop = end;
        if (stop > start && content[stop - 1] == '\r') --stop;
        lines.emplace_back(content, start, stop - start);
        start = next;
    }
    return lines;
}

// True when both names lead to the same file (links and relative parts resolved).
bool sameFile(const std::string& a, const std::string& b) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (fs::equivalent(fs::path(a), fs::path(b), ec) && !ec) return true;
    ec.clear();
    const fs::path ca = fs::weakly_canonical(fs::path(a), ec);
    if (ec) return false;
    const fs::path cb = fs::weakly_canonical(fs::path(b), ec);
    if (ec) return false;
    return ca == cb;
}

// A filter value in single quotes, an inner quote doubled.
std::string quoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') out += '\'';
        out += c;
    }
    out += '\'';
    return out;
}

}  // namespace

std::string LogFolder(const FormState& form) { return form.paths.mainFolder + "var/log/Pzt/doz/"; }

std::string LineSlice(FormState& form, std::string_view pos) {
    const FieldPosition p = ParsePos(pos);
    const int start = std::max(p.start, 1);
    const std::string& line = form.currentLine;
    if (p.length <= 0 || static_cast<int>(line.size()) < start) return {};
    return line.substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(p.length));
}

void LogRecord(FormState& form, TextFileWriter& out) {
    const std::string posTipo = form.cdsTracciati.fieldByName("PosTipoRecord").asText();
    const std::string recordType = posTipo.empty() ? std::string() : LineSlice(form, posTipo);

    Table& layout = form.cdsTraccCorrente;
    if (!recordType.empty()) {
        layout.setFilter("Record=" + quoted(recordType));
        layout.setFiltered(true);
    } else {
        // No record type: every layout row, of every record type, applies.
        layout.setFiltered(false);
    }
    layout.first();
    while (!layout.eof()) {
        const std::string name = layout.fieldByName("FieldName").asText();
        const std::string value = LineSlice(form, layout.fieldByName("Pos").asText());
        out.writeLine(name + "=\"" + value + "\"");
        layout.next();
    }
}

void WriteFileLog(FormState& form) {
    const std::string folder = LogFolder(form);
    forceDirectories(folder);
    const std::string bankPath = form.window.text("cbBancaFile");
    const std::string logPath = folder + extractFileName(bankPath);

    // A bank file kept in the log folder would be the log file itself, and
    // creating the log would empty it before it is read. Such a file is left
    // intact and not logged.
    if (!bankPath.empty() && fileExists(bankPath) && sameFile(bankPath, logPath)) return;

    TextFileWriter out(logPath);
    // A bank file that cannot be read stops the log here; the log stays empty.
    const std::vector<std::string> lines = textLines(readWholeFile(bankPath));
    for (const std::string& line : lines) {
        form.currentLine = line;
        LogRecord(form, out);
    }
    out.close();
}

}  // namespace doz
