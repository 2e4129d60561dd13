// The produced-file log of an XML bank file.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "platform/Files.h"

struct _xmlSAXHandler;

namespace doz::sepa {

// Logs an XML document (UTF-8) to `out`: each element that holds text, as
// path="value" on a line of its own (CRLF, Windows-1252), the path made of the
// element names below the root joined by '/'. Read in one pass; `out` is left
// open. Throws doz::Error when the document is not well-formed XML (the lines
// before the fault are in `out`).
void LogXmlContent(std::string_view document, TextFileWriter& out);

// The same lines from the events of a parse someone else runs (the schema's
// validation, sepa/Schema.h): events() and user() are handed to it, and the
// lines go to `out` in blocks as they come. No line is made for a document
// the parse found wrong: its errors are the parse's to tell. finish() writes
// the last lines and throws whatever failed in the events (the writing of a
// line, memory), which are otherwise ignored from then on.
using LineOut = std::function<void(std::string_view lines)>;
class XmlLogLines {
public:
    explicit XmlLogLines(LineOut out);
    ~XmlLogLines();
    XmlLogLines(const XmlLogLines&) = delete;
    XmlLogLines& operator=(const XmlLogLines&) = delete;

    const _xmlSAXHandler* events() const;
    void* user();
    void finish();

    class Logger;

private:
    struct Events;
    std::unique_ptr<Logger> logger_;
    std::unique_ptr<Events> events_;
};

// The same for the file open on `fd`, read from its start to its end in
// blocks (the file is never held whole; the descriptor's offset is left as it
// is); IoError naming `path` when it cannot be read.
void LogXmlFile(int fd, const std::string& path, TextFileWriter& out);

}  // namespace doz::sepa
