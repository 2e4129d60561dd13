// The field-by-field log of a produced bank file.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <exception>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <system_error>
#include <vector>

#include "layout/Catalogue.h"
#include "platform/Ansi.h"
#include "platform/SystemErrors.h"
#include "platform/Error.h"
#include "platform/Files.h"
#include "reports/Reports.h"

namespace doz {

namespace {

constexpr std::size_t kReadBlock = std::size_t{1} << 20;
// The log text goes to the writer in pieces of about this size.
constexpr std::size_t kWriteBlock = std::size_t{1} << 20;

// A filter value in single quotes, an inner quote doubled.
std::string quoted(std::string_view text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') out += '\'';
        out += c;
    }
    out += '\'';
    return out;
}

// A part of a line; empty when the line ends before it or the length is not positive.
std::string_view slice(std::string_view line, const FieldPosition& p) {
    const int start = std::max(p.start, 1);
    if (p.length <= 0 || static_cast<int>(line.size()) < start) return {};
    return line.substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(p.length));
}

// Copies n bytes and gives the end of the copy; the short copies of the log
// (names, parts of records) without a call each.
inline char* put(char* to, const char* from, std::size_t n) {
    if (n >= 8 && n <= 16) {
        std::uint64_t head, tail;
        std::memcpy(&head, from, 8);
        std::memcpy(&tail, from + n - 8, 8);
        std::memcpy(to, &head, 8);
        std::memcpy(to + n - 8, &tail, 8);
    } else if (n >= 4 && n < 8) {
        std::uint32_t head, tail;
        std::memcpy(&head, from, 4);
        std::memcpy(&tail, from + n - 4, 4);
        std::memcpy(to, &head, 4);
        std::memcpy(to + n - 4, &tail, 4);
    } else if (n < 4) {
        for (std::size_t i = 0; i < n; ++i) to[i] = from[i];
    } else {
        std::memcpy(to, from, n);
    }
    return to + n;
}

// Moves the layout to the rows of one record type (all rows when there is none).
void selectRecordType(Table& layout, std::string_view recordType) {
    if (!recordType.empty()) {
        layout.setFilter("Record=" + quoted(recordType));
        layout.setFiltered(true);
    } else {
        // No record type: every layout row, of every record type, applies.
        layout.setFiltered(false);
    }
}

// Logs the lines of a text given in one or more pieces. Lines end at LF, one CR
// before it dropped; a last line without an end still counts. Every line is
// logged against the layout rows of its record type, each type's rows read
// from the layout once. Touches only the form's catalogue row, its layout
// table and its current line, and the writer.
//
// When the log ends, normally or by an error, form.currentLine holds the last
// line taken and the layout table stands where a walk line by line leaves it:
// on the record type of that line, past its last row or on the row whose
// position did not parse. The log lines before a failing field are written.
class LineLog {
public:
    LineLog(FormState& form, TextFileWriter& out)
        : form_(form), out_(out), text_(new char[kWriteBlock * 2]), capacity_(kWriteBlock * 2) {}
    ~LineLog() {
        if (!lastType_) return;
        try {
            Table& layout = form_.cdsTraccCorrente;
            selectRecordType(layout, *lastType_);
            layout.first();
            for (std::size_t i = 0; i < lastWalked_; ++i) layout.next();
        } catch (...) {
            // Every filter here compiled once already.
        }
    }
    LineLog(const LineLog&) = delete;
    LineLog& operator=(const LineLog&) = delete;

    // Logs every line of `text` that ends with LF; gives the bytes taken.
    std::size_t feed(std::string_view text) {
        std::size_t start = 0;
        std::string_view line;
        try {
            while (const void* lf = std::memchr(text.data() + start, '\n', text.size() - start)) {
                const std::size_t end = static_cast<std::size_t>(static_cast<const char*>(lf) - text.data());
                line = withoutCr(text.substr(start, end - start));
                start = end + 1;
                logLine(line);
            }
        } catch (...) {
            fail(line);
            throw;
        }
        if (start > 0) form_.currentLine.assign(line);
        return start;
    }

    // Logs what follows the last LF as the last line (none when it is empty)
    // and hands the rest of the log text to the writer.
    void finish(std::string_view rest) {
        if (!rest.empty()) {
            const std::string_view line = withoutCr(rest);
            try {
                logLine(line);
            } catch (...) {
                fail(line);
                throw;
            }
            form_.currentLine.assign(line);
        }
        flush();
    }

private:
    struct Row {
        std::string lead;          // the end of the line before, if any, and FieldName="
        std::size_t start = 0;     // from 0
        std::size_t length = 0;    // 0 for a length that is not positive
        std::exception_ptr error;  // set when the position does not parse
    };
    struct Rows {
        std::vector<Row> list;
        std::size_t fixedBytes = 0;  // the log text of a record, but for its parts
        std::size_t partBytes = 0;   // the longest the parts can be
    };

    static std::string_view withoutCr(std::string_view line) {
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        return line;
    }

    void logLine(std::string_view line) {
        if (!started_) start();
        const std::string_view recordType = typePos_ ? slice(line, *typePos_) : std::string_view();
        const Rows& rows = rowsOf(recordType);
        lastWalked_ = 0;
        // No part is longer than the line.
        const std::size_t most = rows.fixedBytes + std::min(rows.partBytes, rows.list.size() * line.size());
        if (most > capacity_ - used_) {
            flush();
            if (most > capacity_) grow(most);
        }
        char* at = text_.get() + used_;
        for (const Row& row : rows.list) {
            if (row.error) {
                // The line of the field before is complete in the log.
                if (&row != rows.list.data()) at = put(at, "\"\r\n", 3);
                used_ = static_cast<std::size_t>(at - text_.get());
                lastWalked_ = static_cast<std::size_t>(&row - rows.list.data());
                std::rethrow_exception(row.error);
            }
            at = put(at, row.lead.data(), row.lead.size());
            if (row.start < line.size()) at = put(at, line.data() + row.start, std::min(row.length, line.size() - row.start));
        }
        if (!rows.list.empty()) at = put(at, "\"\r\n", 3);
        lastWalked_ = rows.list.size();
        used_ = static_cast<std::size_t>(at - text_.get());
        if (used_ >= kWriteBlock) flush();
    }

    // The catalogue row does not change while a file is logged: its record type
    // position is read at the first line.
    void start() {
        const std::string posTipo = form_.cdsTracciati.fieldByName("PosTipoRecord").asText();
        if (!posTipo.empty()) typePos_ = ParsePos(posTipo);
        started_ = true;
    }

    const Rows& rowsOf(std::string_view recordType) {
        // Consecutive records are mostly of one type: compared here without a call.
        if (lastType_ && lastType_->size() == recordType.size() &&
            std::equal(recordType.begin(), recordType.end(), lastType_->begin()))
            return *lastRows_;
        auto found = rows_.find(recordType);
        if (found == rows_.end()) found = rows_.emplace(std::string(recordType), readRows(recordType)).first;
        lastType_ = &found->first;
        lastRows_ = &found->second;
        return found->second;
    }

    Rows readRows(std::string_view recordType) {
        Table& layout = form_.cdsTraccCorrente;
        selectRecordType(layout, recordType);
        Rows rows;
        for (layout.first(); !layout.eof(); layout.next()) {
            Row row;
            if (!rows.list.empty()) row.lead = "\"\r\n";
            row.lead += layout.fieldByName("FieldName").asText();
            row.lead += "=\"";
            try {
                const FieldPosition p = ParsePos(layout.fieldByName("Pos").asText());
                row.start = static_cast<std::size_t>(std::max(p.start, 1) - 1);
                row.length = static_cast<std::size_t>(std::max(p.length, 0));
            } catch (const Error&) {
                // Raised when a line reaches this field.
                row.error = std::current_exception();
            }
            rows.fixedBytes += row.lead.size();
            rows.partBytes += row.length;
            rows.list.push_back(std::move(row));
        }
        if (!rows.list.empty()) rows.fixedBytes += 3;
        return rows;
    }

    void grow(std::size_t size) {
        text_.reset(new char[size]);
        capacity_ = size;
    }

    // The line that failed becomes the current line; the log lines before the
    // failing field are written.
    void fail(std::string_view line) {
        form_.currentLine.assign(line);
        flush();
    }

    void flush() {
        const std::size_t pending = used_;
        used_ = 0;  // not written again after a write error
        if (pending > 0) out_.write(std::string_view(text_.get(), pending));
    }

    FormState& form_;
    TextFileWriter& out_;
    std::unique_ptr<char[]> text_;
    std::size_t capacity_;
    std::size_t used_ = 0;
    bool started_ = false;
    std::optional<FieldPosition> typePos_;
    std::map<std::string, Rows, std::less<>> rows_;
    const std::string* lastType_ = nullptr;
    const Rows* lastRows_ = nullptr;
    std::size_t lastWalked_ = 0;
};

std::string reason(int err) { return systemErrorText(err); }

[[noreturn]] void readFailed(const char* what, const std::string& path, int err) {
    throw IoError(std::string(what) + " '" + path + "': " + reason(err));
}

// An open descriptor, closed on every way out.
struct Descriptor {
    int fd;
    ~Descriptor() { ::close(fd); }
};

void logLinesFrom(FormState& form, int fd, const std::string& path, TextFileWriter& out, std::size_t blockSize);

// Reads a plain file in blocks and logs its lines: a line may run over any
// number of blocks. The file is refused, with the messages of readWholeFile,
// before anything is logged when it cannot be opened or is not a plain file.
void logFileLines(FormState& form, const std::string& path, TextFileWriter& out, std::size_t blockSize) {
    // Not blocking on a pipe without a writer; anything but a plain file is refused below.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) readFailed("Impossibile aprire il file", path, errno);
    const Descriptor file{fd};
    struct stat st{};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int err = errno;
        if (st.st_mode != 0 && !S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode))
            throw IoError("Impossibile leggere il file '" + path + "': non \xE8 un file regolare");
        readFailed("Impossibile leggere il file", path, S_ISDIR(st.st_mode) ? EISDIR : err);
    }
    logLinesFrom(form, fd, path, out, blockSize);
}

}  // namespace

void LogOpenFile(FormState& form, int fd, const std::string& path, TextFileWriter& out) {
    if (::lseek(fd, 0, SEEK_SET) != 0) readFailed("Impossibile leggere il file", path, errno);
    logLinesFrom(form, fd, path, out, kReadBlock);
}

namespace {

void logLinesFrom(FormState& form, int fd, const std::string& path, TextFileWriter& out, std::size_t blockSize) {
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);

    LineLog log(form, out);
    std::vector<char> buffer(std::max<std::size_t>(blockSize, 1));
    std::size_t held = 0;  // the start of a line not yet ended
    for (;;) {
        // A line longer than the buffer: make room for more of it.
        if (held == buffer.size()) buffer.resize(buffer.size() * 2);
        const ssize_t n = ::read(fd, buffer.data() + held, buffer.size() - held);
        if (n < 0) {
            if (errno == EINTR) continue;
            readFailed("Impossibile leggere il file", path, errno);
        }
        if (n == 0) break;
        held += static_cast<std::size_t>(n);
        const std::size_t taken = log.feed(std::string_view(buffer.data(), held));
        std::memmove(buffer.data(), buffer.data() + taken, held - taken);
        held -= taken;
    }
    log.finish(std::string_view(buffer.data(), held));
}

}  // namespace

std::string LogFolder(const FormState& form) { return form.paths.mainFolder + "var/log/Pzt/doz/"; }

std::string LineSlice(FormState& form, std::string_view pos) {
    return std::string(slice(form.currentLine, ParsePos(pos)));
}

void LogRecord(FormState& form, TextFileWriter& out) {
    const std::string posTipo = form.cdsTracciati.fieldByName("PosTipoRecord").asText();
    const std::string recordType = posTipo.empty() ? std::string() : LineSlice(form, posTipo);

    Table& layout = form.cdsTraccCorrente;
    selectRecordType(layout, recordType);
    layout.first();
    while (!layout.eof()) {
        const std::string name = layout.fieldByName("FieldName").asText();
        const std::string value = LineSlice(form, layout.fieldByName("Pos").asText());
        out.writeLine(name + "=\"" + value + "\"");
        layout.next();
    }
}

void LogFileContent(FormState& form, std::string_view content, TextFileWriter& out) {
    LineLog log(form, out);
    const std::size_t taken = log.feed(content);
    log.finish(content.substr(taken));
}

std::string FileLogPath(FormState& form) {
    const std::string folder = LogFolder(form);
    forceDirectories(folder);
    return folder + extractFileName(form.window.text("cbBancaFile"));
}

bool BankFileIsItsLog(FormState& form, const std::string& logPath) {
    const std::string bankPath = form.window.text("cbBancaFile");
    return !bankPath.empty() && fileExists(bankPath) && sameFile(bankPath, logPath);
}

void WriteFileLog(FormState& form, std::size_t readBlock) {
    const std::string logPath = FileLogPath(form);
    // A bank file kept in the log folder would be the log file itself, and
    // creating the log would empty it before it is read. Such a file is left
    // intact and not logged.
    if (BankFileIsItsLog(form, logPath)) return;

    // Written whole or not at all: a failure at any point leaves the old log.
    TextFileWriter out(logPath);
    // A bank file that cannot be opened stops the log here.
    logFileLines(form, form.window.text("cbBancaFile"), out, readBlock);
    out.close();
}

void WriteFileLog(FormState& form) { WriteFileLog(form, kReadBlock); }

}  // namespace doz
