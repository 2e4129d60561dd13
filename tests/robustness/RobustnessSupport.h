// A copy of the demonstration data in a throw-away folder, the batch command
// run on it as a child process (optionally as an unprivileged user, or with a
// cap on the size of the files it may write), and snapshots of the files a
// command must leave alone when it fails.
#pragma once

#include <fcntl.h>
#include <cerrno>
#include <grp.h>
#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/TestFiles.h"

namespace robustness {

namespace fs = std::filesystem;

inline const std::string kExamples = std::string(DOZ_SOURCE_DIR) + "/examples";
inline const std::string kCli = std::string(DOZ_BINARY_DIR) + "/pzt-bankfile";
inline const std::string kBank = "Banca Demo Nord";  // layout CBI_5_02
inline const char* const kUnprivilegedUser = "nobody";
constexpr uid_t kNobody = 65534;

using test_files::readFile;
using test_files::writeFile;

// Every regular file under a folder with its bytes.
using Snapshot = std::map<std::string, std::string>;
inline Snapshot snapshot(const fs::path& root) {
    Snapshot s;
    std::error_code ec;
    if (!fs::exists(root, ec)) return s;
    for (auto it = fs::recursive_directory_iterator(root, fs::directory_options::skip_permission_denied, ec);
         it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (ec) break;
        if (it->is_regular_file(ec)) s[fs::relative(it->path(), root).string()] = readFile(it->path());
    }
    return s;
}

// The temporary folder: in memory when /dev/shm can be used (the commands
// flush every file they write), readable by the unprivileged user.
inline fs::path makeRoot() {
    fs::path base = fs::temp_directory_path();
    if (::access("/dev/shm", W_OK | X_OK) == 0) base = "/dev/shm";
    std::string pattern = (base / "doz-robust-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    ::chmod(pattern.c_str(), 0755);
    return pattern;
}

// True when the unprivileged user may reach `path` for `mode` (access(2) as
// that user, in a child process); this process must be root.
inline bool reachableByNobody(const std::string& path, int mode) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) ::_exit(2);
        ::_exit(::access(path.c_str(), mode) == 0 ? 0 : 1);
    }
    int st = 0;
    ::waitpid(pid, &st, 0);
    return WIFEXITED(st) && WEXITSTATUS(st) == 0;
}

// The batch command where the unprivileged user can run it: where it was
// built, or else a copy in a fresh folder under /tmp open to everyone (a
// checkout in a private folder); empty when neither can be had.
inline const std::string& unprivilegedCli() {
    struct Copy {
        std::string folder, cli;
        Copy() {
            if (reachableByNobody(kCli, X_OK)) {
                cli = kCli;
                return;
            }
            std::string pattern = "/tmp/doz-cli-XXXXXX";
            if (!::mkdtemp(pattern.data())) return;
            folder = pattern;
            ::chmod(folder.c_str(), 0755);
            const std::string copy = folder + "/pzt-bankfile";
            std::error_code ec;
            fs::copy_file(kCli, copy, ec);
            ::chmod(copy.c_str(), 0755);
            if (!ec && reachableByNobody(copy, X_OK)) cli = copy;
        }
        ~Copy() {
            std::error_code ec;
            if (!folder.empty()) fs::remove_all(folder, ec);
        }
    };
    static const Copy copy;
    return copy.cli;
}

struct RunResult {
    int status = -1;  // exit status; -1 when the child did not exit normally
    int signal = 0;
    bool timedOut = false;
    std::string out, err;

    std::string lastErrorLine() const {
        std::string e = err;
        while (!e.empty() && (e.back() == '\n' || e.back() == '\r')) e.pop_back();
        const auto nl = e.rfind('\n');
        return nl == std::string::npos ? e : e.substr(nl + 1);
    }
};

struct RunOptions {
    bool unprivileged = false;           // run as "nobody" (the test process must be root), from unprivilegedCli()
    std::optional<rlim_t> fileSizeCap;   // RLIMIT_FSIZE: writes past it fail with EFBIG
    bool capKills = false;               // ... or end the process with SIGXFSZ, as a kill at that moment
    int timeoutSeconds = 120;            // killed after that long
};

// The demonstration data laid out as the command finds it on a workstation:
// work/ (catalogue, layouts, transfer rules), disp/Disposizioni.cds, main/
// (settings and reports) and out/ (the bank file).
class DemoWorkspace {
public:
    DemoWorkspace() : root_(makeRoot()) {
        for (const char* d : {"work", "disp", "main", "out", "home"}) {
            fs::create_directories(root_ / d);
            ::chmod((root_ / d).c_str(), 0777);
        }
        for (const auto& entry : fs::directory_iterator(kExamples)) {
            const std::string name = entry.path().filename().string();
            if (name == "Disposizioni.cds")
                fs::copy_file(entry.path(), root_ / "disp" / name);
            else if (entry.path().extension() == ".Xml" || entry.path().extension() == ".xml")
                fs::copy_file(entry.path(), root_ / "work" / name);
        }
    }
    ~DemoWorkspace() {
        std::error_code ec;
        // Give back permissions taken away by a test before removing.
        for (auto it = fs::recursive_directory_iterator(root_, ec); it != fs::recursive_directory_iterator();
             it.increment(ec)) {
            if (ec) break;
            ::chmod(it->path().c_str(), it->is_directory(ec) ? 0777 : 0666);
        }
        ::chmod(root_.c_str(), 0777);
        for (const char* d : {"work", "disp", "main", "out", "home"}) ::chmod((root_ / d).c_str(), 0777);
        fs::remove_all(root_, ec);
    }
    DemoWorkspace(const DemoWorkspace&) = delete;
    DemoWorkspace& operator=(const DemoWorkspace&) = delete;

    fs::path path(const std::string& sub = {}) const { return sub.empty() ? root_ : root_ / sub; }
    std::string str(const std::string& sub = {}) const { return path(sub).string(); }
    std::string bankFile() const { return str("out/STIPENDI.Txt"); }
    std::string settingsFile() const { return str("main/usr/Pzt/doz/Banca.ini"); }
    std::string reportFolder() const { return str("main/var/log/Pzt/doz/stp"); }

    // The arguments of a command on this workspace with the documented header.
    std::vector<std::string> args(const std::string& command, const std::string& output = {}) const {
        std::vector<std::string> a = {command,   str("disp"),     "--bank",     kBank,          "--output",
                                      output.empty() ? bankFile() : output, "--layouts", str("work"),
                                      "--main-folder", str("main"), "--regional", "it_IT", "--yes"};
        for (const char* set : {"Mittente=A1B2C", "NOME_SUPPORTO=STIPENDI", "CC_ORDINANTE=000010203040",
                                "Data_Creazione=2026-12-07", "Data_Disposizione=2026-12-09",
                                "Data_Valuta=2026-12-09", "DATA_SCADENZA=2026-12-31"}) {
            a.push_back("--set");
            a.push_back(set);
        }
        return a;
    }

    // Runs the batch command; stdout and stderr are collected through pipes
    // (a file-size cap applies to files only).
    RunResult run(const std::vector<std::string>& args, const RunOptions& options = {}) const {
        int outPipe[2], errPipe[2];
        if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe failed");
        std::vector<std::string> env = {"HOME=" + str("home"), "XDG_DATA_HOME=" + str("home/xdg"), "LC_ALL=C",
                                        "PATH=/usr/bin:/bin"};
        for (const char* keep : {"ASAN_OPTIONS", "UBSAN_OPTIONS", "LSAN_OPTIONS"})
            if (const char* v = std::getenv(keep)) env.push_back(std::string(keep) + "=" + v);
        const std::string& cli = options.unprivileged && ::geteuid() == 0 ? unprivilegedCli() : kCli;
        std::vector<char*> argv{const_cast<char*>(cli.c_str())}, envp;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
        envp.push_back(nullptr);

        const pid_t pid = ::fork();
        if (pid < 0) throw std::runtime_error("fork failed");
        if (pid == 0) {
            ::dup2(outPipe[1], 1);
            ::dup2(errPipe[1], 2);
            if (options.fileSizeCap) {
                if (!options.capKills) ::signal(SIGXFSZ, SIG_IGN);  // a write past the cap fails with EFBIG instead
                const rlimit cap{*options.fileSizeCap, *options.fileSizeCap};
                if (::setrlimit(RLIMIT_FSIZE, &cap) != 0) ::_exit(120);
            }
            if (options.unprivileged && ::geteuid() == 0) {
                if (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) ::_exit(121);
            }
            ::execve(cli.c_str(), argv.data(), envp.data());
            ::_exit(122);
        }
        ::close(outPipe[1]);
        ::close(errPipe[1]);
        RunResult r;
        pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
        std::string* sinks[2] = {&r.out, &r.err};
        int open = 2;
        // A command that hangs is killed: the test then sees the signal.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(options.timeoutSeconds);
        while (open > 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                ::kill(pid, SIGKILL);
                r.timedOut = true;
                break;
            }
            const int ready = ::poll(fds, 2, static_cast<int>(left.count()));
            if (ready < 0) {
                if (errno == EINTR) continue;
                break;
            }
            for (int k = 0; k < 2; ++k) {
                if (fds[k].fd < 0 || !(fds[k].revents & (POLLIN | POLLHUP | POLLERR))) continue;
                char buf[4096];
                const ssize_t n = ::read(fds[k].fd, buf, sizeof buf);
                if (n > 0) {
                    sinks[k]->append(buf, static_cast<std::size_t>(n));
                } else {
                    ::close(fds[k].fd);
                    fds[k].fd = -1;
                    --open;
                }
            }
        }
        for (pollfd& f : fds)
            if (f.fd >= 0) ::close(f.fd);
        int wstatus = 0;
        ::waitpid(pid, &wstatus, 0);
        if (WIFEXITED(wstatus)) r.status = WEXITSTATUS(wstatus);
        if (WIFSIGNALED(wstatus)) r.signal = WTERMSIG(wstatus);
        return r;
    }

    // The folders whose files a failed command must leave as they were. The
    // register of produced files (main/var/lib/) is left out: it notes every
    // bank file put in place, also by a command that fails afterwards (on the
    // settings, say), and its own tests follow it.
    Snapshot keptFiles() const {
        Snapshot s;
        for (const char* d : {"main", "out"})
            for (auto& [name, bytes] : snapshot(path(d)))
                if (name.rfind("var/lib/", 0) != 0) s[std::string(d) + "/" + name] = std::move(bytes);
        return s;
    }

private:
    fs::path root_;
};

// True when permission checks apply to the commands run by the tests: either
// this process is not root, or it is and can run them as "nobody".
inline bool permissionsApply() {
    if (::geteuid() != 0) return true;
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(::setgid(kNobody) == 0 && ::setuid(kNobody) == 0 ? 0 : 1);
    int st = 0;
    ::waitpid(pid, &st, 0);
    return WIFEXITED(st) && WEXITSTATUS(st) == 0;
}

}  // namespace robustness
