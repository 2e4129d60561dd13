// The exact bytes of every produced file, kept beside the register: a gzip
// file (RFC 1952, zlib's fastest level) named by the SHA-256 of the bytes it
// holds, in the copies folder (KeptCopyFolder). `zcat` reads one back; the
// program writes it back whole and only when its digest is the register's.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>

namespace doz {

// A file's content as it is written: its SHA-256 and its gzip form, made on
// a thread of its own while the writer goes on (one after the other where no
// thread is to be had).
class ContentKeeper {
public:
    struct Kept {
        std::string sha256;  // 64 lowercase hexadecimal digits
        std::string gzip;
        std::int64_t size = 0;
    };

    ContentKeeper();
    ~ContentKeeper();
    ContentKeeper(const ContentKeeper&) = delete;
    ContentKeeper& operator=(const ContentKeeper&) = delete;

    // The next bytes of the content (copied); waits while the thread is far
    // behind. Never throws: a failure (no memory for the copy) is kept for
    // finish(), and what follows it is not looked at.
    void add(std::string_view bytes) noexcept;
    // Everything given so far, digested and compressed; RegisterError when the
    // compression failed. Nothing may be added afterwards.
    Kept finish();

private:
    struct Work;
    void run();
    void take(std::string_view bytes);  // hashes and compresses, on whichever thread does the work

    std::unique_ptr<Work> work_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::string> queue_;
    std::size_t queued_ = 0;  // bytes waiting in queue_
    bool ending_ = false;
    std::exception_ptr failure_;
    std::thread thread_;
};

// Writes a kept copy into the copies folder of `mainFolder` (made readable by
// its owner only when new) whole or not at all, and gives its file name.
// RegisterError naming the file when it cannot.
std::string WriteKeptCopy(const std::string& mainFolder, const ContentKeeper::Kept& kept);

// Writes the bytes of the register's file `id` into `out`, whole, once they
// are read back from the kept copy and found to be the file's (its SHA-256 and
// size). RegisterError, with nothing written, for an unknown file, a file
// without a copy, a missing, damaged or altered copy.
void RestoreKeptCopy(const std::string& mainFolder, std::int64_t id, const std::string& out);

}  // namespace doz
