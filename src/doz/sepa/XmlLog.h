// The produced-file log of an XML bank file.
#pragma once

#include <string>
#include <string_view>

#include "platform/Files.h"

namespace doz::sepa {

// Logs an XML document (UTF-8) to `out`: each element that holds text, as
// path="value" on a line of its own (CRLF, Windows-1252), the path made of the
// element names below the root joined by '/'. Read in one pass; `out` is left
// open. Throws doz::Error when the document is not well-formed XML (the lines
// before the fault are in `out`).
void LogXmlContent(std::string_view document, TextFileWriter& out);

// The same for the file open on `fd`, read from its start to its end in
// blocks (the file is never held whole; the descriptor's offset is left as it
// is); IoError naming `path` when it cannot be read.
void LogXmlFile(int fd, const std::string& path, TextFileWriter& out);

}  // namespace doz::sepa
