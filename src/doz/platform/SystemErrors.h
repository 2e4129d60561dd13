// Italian texts for the errors the operating system reports, so that no
// message of the program ends in the machine's own language.
#pragma once

#include <exception>
#include <string>
#include <system_error>

namespace doz {

// The reason of a failed system call, in Italian (Windows-1252), e.g.
// "file o cartella inesistente" for ENOENT. Codes without a text of their own
// give "errore di sistema <n>".
std::string systemErrorText(int err);
// The same for an error code of the standard library (system or generic category).
std::string systemErrorText(const std::error_code& code);
// The message of an exception as the user sees it: the standard library's own
// (a file-system or system error, in English) said in Italian; any other as it is.
std::string exceptionText(const std::exception& e);

}  // namespace doz
