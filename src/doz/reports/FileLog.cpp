// The field-by-field log of a produced bank file.
#include <algorithm>
#include <filesystem>
#include <map>
#include <optional>
#include <system_error>

#include "layout/Catalogue.h"
#include "platform/Error.h"
#include "platform/Files.h"
#include "reports/Reports.h"

namespace doz {

namespace {

// Walks the bank file's lines without their ends: split at LF, one CR before
// it dropped; a last line without an end still counts, an empty file has none.
class TextLines {
public:
    explicit TextLines(const std::string& content) : content_(content) {}
    bool next(std::string& line) {
        if (start_ >= content_.size()) return false;
        std::size_t end = content_.find('\n', start_);
        const std::size_t following = end == std::string::npos ? content_.size() : end + 1;
        if (end == std::string::npos) end = content_.size();
        std::size_t stop = end;
        if (stop > start_ && content_[stop - 1] == '\r') --stop;
        line.assign(content_, start_, stop - start_);
        start_ = following;
        return true;
    }

private:
    const std::string& content_;
    std::size_t start_ = 0;
};

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

// A part of a line; empty when the line ends before it or the length is not positive.
std::string_view slice(const std::string& line, const FieldPosition& p) {
    const int start = std::max(p.start, 1);
    if (p.length <= 0 || static_cast<int>(line.size()) < start) return {};
    return std::string_view(line).substr(static_cast<std::size_t>(start - 1), static_cast<std::size_t>(p.length));
}

// Moves the layout to the rows of one record type (all rows when there is none).
void selectRecordType(Table& layout, const std::string& recordType) {
    if (!recordType.empty()) {
        layout.setFilter("Record=" + quoted(recordType));
        layout.setFiltered(true);
    } else {
        // No record type: every layout row, of every record type, applies.
        layout.setFiltered(false);
    }
}

// The log of a whole file reads the layout rows of each record type once. The
// layout table ends as the line-by-line walk leaves it: on the record type of
// the last line, past its last row, or on the row where a line failed.
class LoggedRecords {
public:
    explicit LoggedRecords(FormState& form) : form_(form) {}
    ~LoggedRecords() {
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
    LoggedRecords(const LoggedRecords&) = delete;
    LoggedRecords& operator=(const LoggedRecords&) = delete;

    void log(TextFileWriter& out, const std::string& posTipo) {
        const std::string recordType = posTipo.empty() ? std::string() : LineSlice(form_, posTipo);
        const std::vector<Row>& rows = rowsOf(recordType);
        lastType_ = recordType;
        lastWalked_ = 0;
        // The lines of one record go to the file in one write; those before a
        // field whose position does not parse are written before the error.
        text_.clear();
        try {
            for (const Row& row : rows) {
                const FieldPosition p = row.position ? *row.position : ParsePos(row.pos);
                text_.append(row.name).append("=\"").append(slice(form_.currentLine, p)).append("\"\r\n");
                ++lastWalked_;
            }
        } catch (...) {
            out.write(text_);
            throw;
        }
        out.write(text_);
    }

private:
    struct Row {
        std::string name;
        std::string pos;
        std::optional<FieldPosition> position;  // empty when the text does not parse
    };

    const std::vector<Row>& rowsOf(const std::string& recordType) {
        const auto found = rows_.find(recordType);
        if (found != rows_.end()) return found->second;
        Table& layout = form_.cdsTraccCorrente;
        selectRecordType(layout, recordType);
        std::vector<Row> rows;
        for (layout.first(); !layout.eof(); layout.next()) {
            Row row{layout.fieldByName("FieldName").asText(), layout.fieldByName("Pos").asText(), std::nullopt};
            try {
                row.position = ParsePos(row.pos);
            } catch (const Error&) {
                // Raised again when a line reaches this field.
            }
            rows.push_back(std::move(row));
        }
        return rows_.emplace(recordType, std::move(rows)).first->second;
    }

    FormState& form_;
    std::map<std::string, std::vector<Row>> rows_;
    std::optional<std::string> lastType_;
    std::size_t lastWalked_ = 0;
    std::string text_;
};

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
    const std::string content = readWholeFile(bankPath);
    if (!content.empty()) {
        // The catalogue row does not change while the file is logged.
        const std::string posTipo = form.cdsTracciati.fieldByName("PosTipoRecord").asText();
        LoggedRecords records(form);
        TextLines lines(content);
        while (lines.next(form.currentLine)) records.log(out, posTipo);
    }
    out.close();
}

}  // namespace doz
