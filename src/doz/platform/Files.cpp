#include "platform/Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <mutex>
#include <new>
#include <thread>

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

FileStamp fileStamp(const std::string& path) {
    FileStamp s;
    struct stat st{};
    if (::stat(path.c_str(), &st) != 0) return s;
    s.exists = true;
    s.device = static_cast<unsigned long long>(st.st_dev);
    s.inode = static_cast<unsigned long long>(st.st_ino);
    s.size = static_cast<unsigned long long>(st.st_size);
    s.modified = static_cast<long long>(st.st_mtim.tv_sec) * 1000000000LL + st.st_mtim.tv_nsec;
    s.changed = static_cast<long long>(st.st_ctim.tv_sec) * 1000000000LL + st.st_ctim.tv_nsec;
    return s;
}

std::string FileStamp::identity() const {
    if (!exists) return {};
    return std::to_string(inode) + ":" + std::to_string(size) + ":" + std::to_string(modified);
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

// ---- locks and links ----------------------------------------------------------------

namespace {

// Takes the write lock of a whole open file without waiting: 0 when taken,
// EAGAIN while another open file holds one, else the reason there is none to
// be had. The lock belongs to the open file (not to the process), so closing
// another descriptor of the same file does not drop it; it is an fcntl lock,
// which network file systems pass on to the server.
int tryLock(int fd) {
    struct flock whole{};
    whole.l_type = F_WRLCK;
    whole.l_whence = SEEK_SET;
    if (::fcntl(fd, F_OFD_SETLK, &whole) == 0) return 0;
    int err = errno;
    if (err == EINVAL) {  // a system without open-file locks
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) return 0;
        err = errno;
    }
    return err == EACCES || err == EAGAIN || err == EWOULDBLOCK ? EAGAIN : err;
}

bool sameInode(const struct stat& a, const struct stat& b) { return a.st_dev == b.st_dev && a.st_ino == b.st_ino; }

// True while `name` (in `dirFd`) is the file open as `fd`.
bool nameHolds(int dirFd, const char* name, int fd) {
    struct stat named{}, open{};
    return ::fstatat(dirFd, name, &named, AT_SYMLINK_NOFOLLOW) == 0 && ::fstat(fd, &open) == 0 && sameInode(named, open);
}

// A lock file's name beside its target: ".NAME.pzt-lock", or for a name too
// long for that a short one of its own.
std::string turnLockName(const std::string& target) {
    const std::string name = extractFileName(target);
    std::string lock = "." + name + ".pzt-lock";
    if (lock.size() > NAME_MAX) {
        std::uint64_t hash = 1469598103934665603ull;  // FNV-1a
        for (const unsigned char c : name) hash = (hash ^ c) * 1099511628211ull;
        char text[17];
        std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
        lock = std::string(".pzt-lock~") + text;
    }
    return extractFilePath(target) + lock;
}

}  // namespace

int finalTarget(const std::string& path, std::string& target) {
    target = path;
    for (int links = 0; links < 40; ++links) {
        struct stat st{};
        if (::lstat(target.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return 0;
        std::string to(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : PATH_MAX), '\0');
        const ssize_t n = ::readlink(target.c_str(), to.data(), to.size());
        if (n < 0) return errno;
        to.resize(static_cast<std::size_t>(n));
        // A relative link is read from the folder that holds it.
        target = !to.empty() && to.front() == '/' ? to : extractFilePath(target) + to;
    }
    return ELOOP;
}

WriterTurn::WriterTurn(const std::string& path, std::chrono::milliseconds wait) {
    std::string target;
    if (const int err = finalTarget(path, target)) ioFailed("Impossibile scrivere il file", path, err);
    lockPath_ = turnLockName(target);
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        const int fd = ::open(lockPath_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0666);
        if (fd < 0) {
            // A folder this user may not write in, or a lock file of another
            // user's it may not open: no turn to be had (the file's own write
            // says what it has to say).
            if (errno == EACCES || errno == EPERM || errno == EROFS) return;
            ioFailed("Impossibile scrivere il file", path, errno);
        }
        ::fchmod(fd, 0666);  // every user sharing the folder takes turns on it (only its owner can)
        const int err = tryLock(fd);
        if (err == 0) {
            // The writer before may have ended its turn by removing the file we
            // locked: the turn is then taken again on the file now there.
            if (nameHolds(AT_FDCWD, lockPath_.c_str(), fd)) {
                fd_ = fd;
                return;
            }
            ::close(fd);
            continue;
        }
        ::close(fd);
        // Where the file system gives no locks, writers do not take turns.
        if (err != EAGAIN) return;
        if (std::chrono::steady_clock::now() >= deadline)
            throw IoError("Impossibile scrivere il file '" + path + "': in scrittura da un altro processo");
        std::this_thread::sleep_for(std::chrono::milliseconds(25));
    }
}

WriterTurn::~WriterTurn() {
    if (fd_ < 0) return;
    // Removed while still locked: a writer waiting on this file finds it gone
    // once it has the lock, and takes its turn on a new one.
    ::unlink(lockPath_.c_str());
    ::close(fd_);
}

// ---- files written whole ----------------------------------------------------------

namespace {

// A seam of the tests: write as where the system gives no file without a name.
std::atomic<bool> g_namedTemporariesOnly{false};

// A temporary's name: ".pzt~" PID "~" N, short whatever the target's name.
constexpr std::string_view kTemporaryPrefix = ".pzt~";

// The temporary names that exist at this moment, for the signal handler: a
// slot is 0 free, 1 being filled or emptied, 2 holding a name to remove.
constexpr int kSlots = 16;
struct TemporarySlot {
    std::atomic<int> state{0};
    char name[PATH_MAX];
};
TemporarySlot g_temporaries[kSlots];
std::once_flag g_handlersInstalled;

extern "C" void removeTemporariesAndStop(int sig) {
    for (TemporarySlot& slot : g_temporaries)
        if (slot.state.load() == 2) ::unlink(slot.name);
    // The handler was reset to the default on entry (SA_RESETHAND): the signal,
    // raised again, ends the process as it would have without the handler once
    // this handler returns.
    ::raise(sig);
}

// The handler goes only where no one else handles the signal.
void installHandlers() {
    std::call_once(g_handlersInstalled, [] {
        for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
            struct sigaction old{};
            if (::sigaction(sig, nullptr, &old) != 0 || old.sa_handler != SIG_DFL ||
                (old.sa_flags & SA_SIGINFO))
                continue;
            struct sigaction act{};
            act.sa_handler = removeTemporariesAndStop;
            act.sa_flags = SA_RESETHAND;
            sigemptyset(&act.sa_mask);
            ::sigaction(sig, &act, nullptr);
        }
    });
}

// Lists a temporary name for the signal handler; -1 when every slot is taken
// (the name then only lacks the removal on a signal).
int holdTemporary(const std::string& name) {
    installHandlers();
    if (name.size() >= PATH_MAX) return -1;
    for (int i = 0; i < kSlots; ++i) {
        int expected = 0;
        if (!g_temporaries[i].state.compare_exchange_strong(expected, 1)) continue;
        std::memcpy(g_temporaries[i].name, name.c_str(), name.size() + 1);
        g_temporaries[i].state.store(2);
        return i;
    }
    return -1;
}

void releaseTemporary(int& slot) {
    if (slot >= 0) g_temporaries[slot].state.store(0);
    slot = -1;
}

std::string folderOf(const std::string& path) {
    const std::string folder = extractFilePath(path);
    return folder.empty() ? std::string("./") : folder;
}

std::string temporaryName(const std::string& folder) {
    static std::atomic<unsigned> counter{0};
    return folder + std::string(kTemporaryPrefix) + std::to_string(::getpid()) + "~" + std::to_string(counter++);
}

// All digits, at least one.
bool digitsOnly(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool processGone(std::string_view pidText) {
    if (!digitsOnly(pidText) || pidText.size() > 9) return false;
    const pid_t pid = static_cast<pid_t>(std::stol(std::string(pidText)));
    return pid > 0 && pid != ::getpid() && ::kill(pid, 0) != 0 && errno == ESRCH;
}

// Whether a name in the target's folder is a temporary of this program left by
// a process that ended without removing it: ".pzt~PID~N", and the names of
// earlier versions beside the target, "TARGET.~PID.N" and "TARGET.tmpNNNNNN"
// (the last without a process number: only when untouched for ten minutes);
// or the lock file of a writer's turn (".NAME.pzt-lock"). Only those whose
// lock can be taken are then removed.
bool staleTemporary(int dirFd, std::string_view name, std::string_view target) {
    // The lock file of a writer's turn that ended without removing it (kill -9).
    if ((name.size() > 10 && name.front() == '.' && name.ends_with(".pzt-lock")) || name.starts_with(".pzt-lock~"))
        return true;
    if (name.substr(0, kTemporaryPrefix.size()) == kTemporaryPrefix) {
        const std::string_view rest = name.substr(kTemporaryPrefix.size());
        const std::size_t tilde = rest.find('~');
        return tilde != std::string_view::npos && digitsOnly(rest.substr(tilde + 1)) &&
               processGone(rest.substr(0, tilde));
    }
    if (target.empty() || name.size() <= target.size() || name.substr(0, target.size()) != target) return false;
    const std::string_view suffix = name.substr(target.size());
    if (suffix.substr(0, 2) == ".~") {
        const std::string_view rest = suffix.substr(2);
        const std::size_t dot = rest.find('.');
        return dot != std::string_view::npos && digitsOnly(rest.substr(dot + 1)) && processGone(rest.substr(0, dot));
    }
    if (suffix.substr(0, 4) == ".tmp" && digitsOnly(suffix.substr(4)) && suffix.size() <= 10) {
        struct stat st{};
        return ::fstatat(dirFd, std::string(name).c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
               st.st_mtime + 600 < ::time(nullptr);
    }
    return false;
}

// Removes a temporary whose writer has certainly ended: every writer holds a
// lock on its temporary for the file's whole life, wherever it runs (another
// machine sharing the folder, another set of process numbers), so a
// temporary is removed only when its lock can be taken, and only while it is.
void removeIfUnlocked(int dirFd, const char* name) {
    const int fd = ::openat(dirFd, name, O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) return;  // one that cannot even be opened is not known to be dead
    struct stat st{};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && tryLock(fd) == 0 && nameHolds(dirFd, name, fd))
        ::unlinkat(dirFd, name, 0);
    ::close(fd);
}

void removeStaleTemporaries(const std::string& folder, const std::string& target) {
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return;
    const int dirFd = ::dirfd(dir);
    std::vector<std::string> stale;
    while (const dirent* e = ::readdir(dir))
        if (staleTemporary(dirFd, e->d_name, target)) stale.emplace_back(e->d_name);
    for (const std::string& name : stale) removeIfUnlocked(dirFd, name.c_str());
    ::closedir(dir);
}

// Flushes a folder's entries to disk; a file system that cannot does not count.
std::atomic<int> g_failedFlushes{0}, g_flushError{0};
int syncFolder(const std::string& folder) {
    if (g_failedFlushes.load() > 0 && g_failedFlushes.fetch_sub(1) > 0) return g_flushError.load();
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return 0;
    int err = ::fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    if (err == EINVAL || err == EROFS || err == ENOTSUP) err = 0;
    return err;
}

int writeAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return errno;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return 0;
}

// The parts of ReplacementFile that give error numbers. `path` is the file
// replaced: the final target of the name given, when that name is a link.
struct Pending {
    explicit Pending(std::string target, int file = -1, std::string name = {}, int held = -1)
        : path(std::move(target)), folder(folderOf(path)), fd(file), named(std::move(name)), slot(held) {}

    std::string path;
    std::string folder;
    int fd;
    std::string named;
    int slot;
    int folderError = 0;  // the flush of the folder after the rename

    int open() {
        struct stat st{};
        if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return EISDIR;
        removeStaleTemporaries(folder, extractFileName(path));
        if (!g_namedTemporariesOnly.load()) {
            fd = ::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
            if (fd >= 0) {
                tryLock(fd);  // for the moment it has a name, at the rename
                return 0;
            }
            if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return errno;
        }
        // No file without a name here: a hidden temporary, locked for its whole
        // life and removed on a signal.
        for (int attempt = 0; attempt < 100; ++attempt) {
            named = temporaryName(folder);
            fd = ::open(named.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd < 0) {
                const int err = errno;
                named.clear();
                if (err != EEXIST) return err;
                continue;
            }
            // Where locks are to be had, the name must still be this file once
            // locked (another run's sweep may have taken it in between).
            const int locked = tryLock(fd);
            if (locked == EAGAIN || (locked == 0 && !nameHolds(AT_FDCWD, named.c_str(), fd))) {
                ::close(fd);
                fd = -1;
                named.clear();
                continue;
            }
            slot = holdTemporary(named);
            return 0;
        }
        return EEXIST;
    }

    int commit() {
        struct stat st{};
        if (::stat(path.c_str(), &st) == 0) ::fchmod(fd, st.st_mode & 07777);
        if (::fsync(fd) != 0) return errno;
        if (named.empty()) {
            // The file gets a name only now, for the moment of the rename.
            const std::string self = "/proc/self/fd/" + std::to_string(fd);
            for (int attempt = 0; attempt < 100 && named.empty(); ++attempt) {
                named = temporaryName(folder);
                int linked = ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, named.c_str(), AT_SYMLINK_FOLLOW);
                // Without /proc, a process allowed to may link the descriptor itself.
                if (linked != 0 && errno == ENOENT) linked = ::linkat(fd, "", AT_FDCWD, named.c_str(), AT_EMPTY_PATH);
                if (linked == 0) {
                    slot = holdTemporary(named);
                    break;
                }
                const int err = errno;
                named.clear();
                if (err != EEXIST) return err;
            }
            if (named.empty()) return EEXIST;
        }
        // Renamed while still open, so that its lock lasts as long as its name.
        if (::rename(named.c_str(), path.c_str()) != 0) return errno;
        named.clear();
        releaseTemporary(slot);
        // Its content reached the disk before the rename (fsync): nothing the
        // closing could still report concerns it.
        ::close(fd);
        fd = -1;
        folderError = syncFolder(folder);
        return 0;
    }

    void discard() noexcept {
        if (fd >= 0) ::close(fd);
        fd = -1;
        if (!named.empty()) ::unlink(named.c_str());
        named.clear();
        releaseTemporary(slot);
    }
};

}  // namespace

void writeWithNamedTemporariesOnly(bool on) { g_namedTemporariesOnly.store(on); }

void failFolderFlushes(int err, int count) {
    g_flushError.store(err);
    g_failedFlushes.store(count);
}

FolderNotFlushedError::FolderNotFlushedError(const std::string& path, int err)
    : IoError("File '" + path + "' scritto, ma la cartella non \xE8 stata registrata su disco: " + reason(err)),
      error_(err) {}

ReplacementFile::ReplacementFile(std::string path) : path_(std::move(path)) {
    if (const int err = finalTarget(path_, target_)) ioFailed("Impossibile creare il file", path_, err);
    Pending p(target_);
    if (const int err = p.open()) ioFailed("Impossibile creare il file", path_, err);
    fd_ = p.fd;
    named_ = std::move(p.named);
    slot_ = p.slot;
}

ReplacementFile::~ReplacementFile() {
    Pending p(target_, std::exchange(fd_, -1), std::exchange(named_, {}), std::exchange(slot_, -1));
    p.discard();
}

void ReplacementFile::write(std::string_view data) {
    if (fd_ < 0) throw IoError("File gi\xE0 chiuso '" + path_ + "'");
    if (!error_) error_ = writeAll(fd_, data.data(), data.size());
    if (error_) ioFailed("Impossibile scrivere il file", path_, error_);
    size_ += data.size();
    if (watcher_) watcher_(data);
}

void ReplacementFile::commit() {
    if (fd_ < 0) throw IoError("File gi\xE0 chiuso '" + path_ + "'");
    // A file a write failed on is never put in place, whatever the caller did since.
    if (error_) ioFailed("Impossibile scrivere il file", path_, error_);
    Pending p(target_, std::exchange(fd_, -1), std::exchange(named_, {}), std::exchange(slot_, -1));
    const int err = p.commit();
    p.discard();
    if (err) ioFailed("Impossibile scrivere il file", path_, err);
    if (p.folderError) throw FolderNotFlushedError(path_, p.folderError);
}

void ReplacementFile::commitAs(std::string path) {
    std::string target;
    if (const int err = finalTarget(path, target)) ioFailed("Impossibile scrivere il file", path, err);
    if (folderOf(target) != folderOf(target_))
        throw IoError("Impossibile scrivere il file '" + path + "': non \xE8 nella cartella di '" + path_ + "'");
    path_ = std::move(path);
    target_ = std::move(target);
    commit();
}

namespace {

// 0 or the reason the file is not in place; `folderError`, the failed flush
// of the folder after the file was put in place.
int replaceContent(const std::string& path, std::string_view content, int& folderError) noexcept {
    folderError = 0;
    try {
        std::string target;
        int err = finalTarget(path, target);
        if (err) return err;
        Pending p(target);
        err = p.open();
        if (!err) err = writeAll(p.fd, content.data(), content.size());
        if (!err) err = p.commit();
        p.discard();
        folderError = p.folderError;
        return err;
    } catch (const std::bad_alloc&) {
        return ENOMEM;
    }
}

}  // namespace

int replaceFileContent(const std::string& path, std::string_view content) noexcept {
    int folderError = 0;
    const int err = replaceContent(path, content, folderError);
    return err ? err : folderError;
}

void writeFileAtomically(const std::string& path, std::string_view content) {
    int folderError = 0;
    if (const int err = replaceContent(path, content, folderError)) ioFailed("Impossibile scrivere il file", path, err);
    if (folderError) throw FolderNotFlushedError(path, folderError);
}

// Logs run to millions of short lines: they go to the file in large blocks.
constexpr std::size_t kTextBlock = std::size_t{1} << 16;

TextFileWriter::TextFileWriter(const std::string& path) : file_(path) { buffer_.reserve(kTextBlock); }

void TextFileWriter::flush() {
    if (buffer_.empty()) return;
    file_.write(buffer_);
    buffer_.clear();
}

void TextFileWriter::write(std::string_view text) {
    if (closed_) throw IoError("File gi\xE0 chiuso '" + file_.path() + "'");
    if (buffer_.size() + text.size() <= kTextBlock) {
        buffer_ += text;
        return;
    }
    flush();
    if (text.size() < kTextBlock) buffer_ += text;
    else file_.write(text);
}

void TextFileWriter::writeLine(std::string_view line) {
    write(line);
    write("\r\n");
}

void TextFileWriter::close() {
    if (closed_) return;
    closed_ = true;
    flush();
    file_.commit();
}

void AtomicTextFileWriter::close() { writeFileAtomically(path_, content_); }

std::string homeFolder() {
    if (const char* h = std::getenv("HOME"); h && *h) return h;
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) return pw->pw_dir;
    return "/tmp";
}

}  // namespace doz
