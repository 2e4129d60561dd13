// Error types shared by every room.
//
// Every failure the user may see is an exception carrying the message to show.
// The common error report (TfmPzExport_Banche::ReportError) is the only place
// that catches them; SilentAbort is the one it does not show.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace doz {

// The general error carrying a message text (the run-time library's Exception).
class Error : public std::runtime_error {
public:
    explicit Error(const std::string& message) : std::runtime_error(message) {}
};

// Errors of the data layer: closed tables, unknown fields, bad packets, filters.
class DataError : public Error {
public:
    using Error::Error;
};

// A value that does not convert to the type asked for.
class ConvertError : public DataError {
public:
    using DataError::DataError;
};

// Files and folders that cannot be read, created or written.
class IoError : public Error {
public:
    using Error::Error;
};

// Internal consistency check of the data files; message "Assertion failure"
// unless a more precise text is given (the field-start check uses the Pos text).
class AssertionFailure : public Error {
public:
    AssertionFailure() : Error("Assertion failure") {}
    explicit AssertionFailure(const std::string& message) : Error(message) {}
};

// The silent abort: a question answered No. Not derived from Error, so that a
// handler that catches Error by mistake cannot swallow it.
class SilentAbort : public std::exception {
public:
    SilentAbort() = default;
    explicit SilentAbort(std::string what) : what_(std::move(what)) {}
    const char* what() const noexcept override { return what_.empty() ? "Operation aborted" : what_.c_str(); }

private:
    std::string what_;
};

// A value as a message shows it: cut after 200 characters ("...") so that a
// huge value read from a file does not fill the message.
inline std::string shownValue(std::string_view value) {
    constexpr std::size_t kShown = 200;
    if (value.size() <= kShown) return std::string(value);
    return std::string(value.substr(0, kShown)) + "...";
}

// The same in single quotes.
inline std::string quotedValue(std::string_view value) { return "'" + shownValue(value) + "'"; }

}  // namespace doz
