// File-system services the rooms share.
#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace doz {

bool fileExists(const std::string& path);      // a regular file (or a link to one)
bool directoryExists(const std::string& path);
// Creates a folder with all missing parents; IoError naming it when it cannot.
void forceDirectories(const std::string& path);
// Everything up to and including the last '/' (empty when there is none).
std::string extractFilePath(std::string_view path);
// Everything after the last '/'.
std::string extractFileName(std::string_view path);

// True when both names lead to the same file (links and relative parts
// resolved; names of files that do not exist yet are compared as paths).
bool sameFile(const std::string& a, const std::string& b);

// Empties `path` when it is a regular file (a link is left alone); true when
// it did. Failures are not reported.
bool emptyRegularFile(const std::string& path);

// Reads a whole file; IoError naming it when it cannot.
std::string readWholeFile(const std::string& path);

// Writes `content` to `path` whole or not at all: a temporary file in the same
// folder is written, flushed to disk and renamed over the target. On any
// failure the temporary file is removed, an existing target stays exactly as it
// was, and IoError names the path and the reason.
void writeFileAtomically(const std::string& path, std::string_view content);

// Creates (or empties) a text file for writing line by line; lines end with CRLF.
// IoError on failure to create or write. The file is closed by the destructor.
//
// With WriteMode::ReplaceOnClose the lines go to a temporary file in the same
// folder, which close() renames over `path`: until then an existing file stays
// as it was, and a writer destroyed without close() removes its temporary file.
enum class WriteMode { Truncate, ReplaceOnClose };

class TextFileWriter {
public:
    explicit TextFileWriter(const std::string& path, WriteMode mode = WriteMode::Truncate);
    ~TextFileWriter();
    TextFileWriter(const TextFileWriter&) = delete;
    TextFileWriter& operator=(const TextFileWriter&) = delete;

    void writeLine(std::string_view line);
    void write(std::string_view text);
    void close();  // flushes; IoError when the data could not be written

private:
    std::string path_;
    std::string temp_;  // ReplaceOnClose: the file written until close()
    std::FILE* file_ = nullptr;
};

// Collects a text file line by line (lines end with CRLF) and writes it whole
// on close() through writeFileAtomically: a failure at any point leaves an
// existing file exactly as it was. Nothing is written when close() is not
// reached (the destructor discards the lines).
class AtomicTextFileWriter {
public:
    explicit AtomicTextFileWriter(std::string path) : path_(std::move(path)) {}
    void writeLine(std::string_view line) {
        content_ += line;
        content_ += "\r\n";
    }
    void write(std::string_view text) { content_ += text; }
    void close();  // IoError naming the file when it cannot be written

private:
    std::string path_;
    std::string content_;
};

// The user's home folder ($HOME, or the password database).
std::string homeFolder();

}  // namespace doz
