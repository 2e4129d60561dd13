#include "platform/Files.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>

#include "platform/Ansi.h"
#include "platform/Error.h"
#include "platform/SystemErrors.h"

namespace doz {

namespace {

std::string reason(int err) { return systemErrorText(err); }

[[noreturn]] void ioFailed(const std::string& what, const std::string& path, int err) {
    throw IoError(what + " '" + path + "': " + reason(err));
}

}  // namespace

bool fileExists(const std::string& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool directoryExists(const std::string& path) {
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void forceDirectories(const std::string& path) {
    if (path.empty()) return;
    std::string current;
    std::size_t i = 0;
    while (i <= path.size()) {
        const std::size_t next = path.find('/', i);
        const std::size_t end = next == std::string::npos ? path.size() : next;
        current = path.substr(0, end);
        if (!current.empty() && !directoryExists(current)) {
            if (::mkdir(current.c_str(), 0777) != 0 && errno != EEXIST) ioFailed("Impossibile creare la cartella", current, errno);
            if (!directoryExists(current)) ioFailed("Impossibile creare la cartella", current, ENOTDIR);
        }
        if (next == std::string::npos) break;
        i = next + 1;
    }
}

std::string extractFilePath(std::string_view path) {
    const std::size_t p = path.rfind('/');
    return p == std::string_view::npos ? std::string() : std::string(path.substr(0, p + 1));
}

std::string extractFileName(std::string_view path) {
    const std::size_t p = path.rfind('/');
    return std::string(p == std::string_view::npos ? path : path.substr(p + 1));
}

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

bool emptyRegularFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) return false;
    struct stat st{};
    const bool emptied = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::ftruncate(fd, 0) == 0;
    ::close(fd);
    return emptied;
}

std::string readWholeFile(const std::string& path) {
    // Not blocking on a pipe without a writer; anything but a plain file is refused below.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) ioFailed("Impossibile aprire il file", path, errno);
    struct stat st{};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        const int err = errno;
        ::close(fd);
        if (st.st_mode != 0 && !S_ISDIR(st.st_mode) && !S_ISREG(st.st_mode))
            throw IoError("Impossibile leggere il file '" + path + "': non \xE8 un file regolare");
        ioFailed("Impossibile leggere il file", path, S_ISDIR(st.st_mode) ? EISDIR : err);
    }
    std::string out;
    char buf[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR) continue;
            const int err = errno;
            ::close(fd);
            ioFailed("Impossibile leggere il file", path, err);
        }
        if (n == 0) break;
        out.append(buf, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return out;
}

namespace {

// Creates a new temporary file beside `path` for writing; its name goes to `temp`.
int createTemporaryBeside(const std::string& path, std::string& temp) {
    std::random_device rd;
    int fd = -1;
    for (int attempt = 0; attempt < 16 && fd < 0; ++attempt) {
        temp = path + ".tmp" + std::to_string(rd() % 1000000);
        fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && errno != EEXIST) ioFailed("Impossibile creare il file", path, errno);
    }
    if (fd < 0) ioFailed("Impossibile creare il file", path, EEXIST);
    return fd;
}

}  // namespace

void writeFileAtomically(const std::string& path, std::string_view content) {
    struct stat st{};
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
        ioFailed("Impossibile scrivere il file", path, EISDIR);
    std::string temp;
    const int fd = createTemporaryBeside(path, temp);
    auto fail = [&](int err) {
        ::close(fd);
        ::unlink(temp.c_str());
        ioFailed("Impossibile scrivere il file", path, err);
    };
    std::size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = ::write(fd, content.data() + done, content.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            fail(errno);
        }
        done += static_cast<std::size_t>(n);
    }
    // Keep the permissions of a file being replaced.
    if (::stat(path.c_str(), &st) == 0) ::fchmod(fd, st.st_mode & 07777);
    if (::fsync(fd) != 0) fail(errno);
    if (::close(fd) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        ioFailed("Impossibile scrivere il file", path, err);
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        ioFailed("Impossibile scrivere il file", path, err);
    }
}

TextFileWriter::TextFileWriter(const std::string& path, WriteMode mode) : path_(path) {
    if (mode == WriteMode::ReplaceOnClose) {
        struct stat st{};
        if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            ioFailed("Impossibile creare il file", path, EISDIR);
        const int fd = createTemporaryBeside(path, temp_);
        file_ = ::fdopen(fd, "wb");
        if (!file_) {
            const int err = errno;
            ::close(fd);
            ::unlink(temp_.c_str());
            ioFailed("Impossibile creare il file", path, err);
        }
    } else {
        file_ = std::fopen(path.c_str(), "wb");
    }
    if (!file_) ioFailed("Impossibile creare il file", path, errno);
    // Logs run to millions of short lines: write them in large blocks.
    std::setvbuf(file_, nullptr, _IOFBF, 1 << 16);
}

TextFileWriter::~TextFileWriter() {
    if (!file_) return;
    std::fclose(file_);
    if (!temp_.empty()) ::unlink(temp_.c_str());
}

void TextFileWriter::write(std::string_view text) {
    if (!file_) throw IoError("File gi\xE0 chiuso '" + path_ + "'");
    if (!text.empty() && std::fwrite(text.data(), 1, text.size(), file_) != text.size())
        ioFailed("Impossibile scrivere il file", path_, errno);
}

void TextFileWriter::writeLine(std::string_view line) {
    write(line);
    write("\r\n");
}

void TextFileWriter::close() {
    if (!file_) return;
    const bool flushed = std::fflush(file_) == 0;
    const int err = errno;
    const bool closed = std::fclose(file_) == 0;
    file_ = nullptr;
    if (temp_.empty()) {
        if (!flushed || !closed) ioFailed("Impossibile scrivere il file", path_, err);
        return;
    }
    const std::string temp = std::exchange(temp_, std::string());
    if (flushed && closed) {
        // The permissions of a file being replaced are kept.
        struct stat st{};
        if (::stat(path_.c_str(), &st) == 0) ::chmod(temp.c_str(), st.st_mode & 07777);
        if (::rename(temp.c_str(), path_.c_str()) == 0) return;
    }
    const int failure = flushed && closed ? errno : err;
    ::unlink(temp.c_str());
    ioFailed("Impossibile scrivere il file", path_, failure);
}

void AtomicTextFileWriter::close() { writeFileAtomically(path_, content_); }

std::string homeFolder() {
    if (const char* h = std::getenv("HOME"); h && *h) return h;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return "/tmp";
}

}  // namespace doz
