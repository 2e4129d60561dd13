// File-system services the rooms share.
#pragma once

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/Error.h"

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

// What tells one state of a file from another without reading it: device,
// inode, size, modification and change times (to the nanosecond). A file
// replaced, rewritten or removed gets another stamp; `exists` is false when
// the name leads to nothing.
struct FileStamp {
    bool exists = false;
    unsigned long long device = 0, inode = 0, size = 0;
    long long modified = 0, changed = 0;  // nanoseconds since the epoch
    bool operator==(const FileStamp&) const = default;
    // A text form for settings: "inode:size:modified", or empty for no file.
    // The device and change time are left out: a copy or a move keeps neither.
    std::string identity() const;
};
FileStamp fileStamp(const std::string& path);

// Reads a whole file; IoError naming it when it cannot.
std::string readWholeFile(const std::string& path);

// The file a name leads to through symbolic links (relative ones read from
// the link's folder): the name itself when it is not a link, and the last
// name of the chain when that file does not exist yet. 0, or ELOOP or the
// error of reading a link.
int finalTarget(const std::string& path, std::string& target);

// Writers of one file take turns. A turn is held from before the first write
// of the file (and of the files that go with it) to after the last rename:
// an fcntl lock of the open file (network file systems pass it on to the
// server) on a hidden lock file beside the final target, ".NAME.pzt-lock",
// removed when the turn ends. A second writer waits for the turn up to
// `wait`, then IoError "Impossibile scrivere il file 'NAME': in scrittura da
// un altro processo". Where the file system has no locks, no one waits.
inline constexpr std::chrono::milliseconds kWriterTurnWait{15000};
class WriterTurn {
public:
    explicit WriterTurn(const std::string& path, std::chrono::milliseconds wait = kWriterTurnWait);
    ~WriterTurn();
    WriterTurn(const WriterTurn&) = delete;
    WriterTurn& operator=(const WriterTurn&) = delete;

private:
    std::string lockPath_;
    int fd_ = -1;
};

// The file is in place, whole; only the flush of its folder's entries to disk
// after the rename failed (a crash might still bring back the old file).
class FolderNotFlushedError : public IoError {
public:
    FolderNotFlushedError(const std::string& path, int err);
    int error() const { return error_; }

private:
    int error_;
};

// Every file the program writes is, at every instant, the old file or the
// whole new one. A new file is written beside its target as a file without a
// name (Linux O_TMPFILE; elsewhere a hidden temporary ".pzt~PID~N"), flushed
// to disk, given a short temporary name only at the moment it is renamed over
// the target, and the folder is flushed after the rename. A name that is a
// symbolic link is written through: the file it leads to is replaced, the
// link stays. A temporary name is removed when the process gets SIGINT,
// SIGTERM or SIGHUP (where nothing else handles them). Its writer holds a
// lock on it for its whole life, and a later write in the same folder removes
// the temporaries whose lock it can take (their writers have ended, wherever
// they ran) and whose process, by its number, no longer runs here.
//
// A replacement in progress; dropped without commit(), nothing changes.
class ReplacementFile {
public:
    // IoError naming the path when the file cannot be created beside it.
    explicit ReplacementFile(std::string path);
    ~ReplacementFile();
    ReplacementFile(const ReplacementFile&) = delete;
    ReplacementFile& operator=(const ReplacementFile&) = delete;

    void write(std::string_view data);  // IoError naming the path
    std::size_t size() const { return size_; }  // bytes written so far
    // Is handed every piece of the content once it is written, in order (to
    // digest or copy the content as it goes by); none by default.
    void setWatcher(std::function<void(std::string_view)> watcher) { watcher_ = std::move(watcher); }
    // Puts the file in place of the target (keeping the target's permissions);
    // IoError naming the path when it cannot, the target as it was;
    // FolderNotFlushedError when only the flush after the rename failed.
    void commit();
    // The same under another name, decided only now: `path` must lie in the
    // folder of the path the file was made for (IoError otherwise).
    void commitAs(std::string path);
    const std::string& path() const { return path_; }
    // The file being written (-1 once committed); for reading it back, with a descriptor of one's own (dup).
    int descriptor() const { return fd_; }

private:
    std::string path_;
    std::string target_;  // the file replaced: path_, or the file it links to
    int fd_ = -1;
    std::string named_;  // the temporary's name, when the system gives no file without a name
    int slot_ = -1;      // its place in the list the signal handler removes
    int error_ = 0;      // the failure of an earlier write: the file is never committed
    std::size_t size_ = 0;
    std::function<void(std::string_view)> watcher_;
};

// Writes `content` to `path` whole or not at all, as ReplacementFile; IoError
// names the path and the reason, and an existing target stays exactly as it
// was (FolderNotFlushedError: the new file is in place).
void writeFileAtomically(const std::string& path, std::string_view content);
// The same, giving 0 or the error number of the failure instead of throwing.
int replaceFileContent(const std::string& path, std::string_view content) noexcept;
// For the tests: every replacement is written as a hidden temporary, as where
// the system gives no file without a name.
void writeWithNamedTemporariesOnly(bool on);
// For the tests: the next `count` flushes of a folder after a rename fail with `err`.
void failFolderFlushes(int err, int count);

// Writes a text file line by line (lines end with CRLF) through a
// ReplacementFile: close() puts it in place of `path`; until then an existing
// file stays as it was, and a writer destroyed without close() leaves nothing.
class TextFileWriter {
public:
    explicit TextFileWriter(const std::string& path);
    TextFileWriter(const TextFileWriter&) = delete;
    TextFileWriter& operator=(const TextFileWriter&) = delete;

    void writeLine(std::string_view line);
    void write(std::string_view text);
    void close();  // IoError when the file could not be written whole

private:
    void flush();

    ReplacementFile file_;
    std::string buffer_;
    bool closed_ = false;
};

// Collects a text file line by line (lines end with CRLF) and writes it whole
// on close() through writeFileAtomically. Nothing is written when close() is
// not reached (the destructor discards the lines).
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
