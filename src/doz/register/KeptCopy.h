// The exact bytes of every produced file, kept beside the register: a gzip
// file (RFC 1952; one member per megabyte of the file, compressed by ISA-L
// at its fastest level and read back by libdeflate) named by the SHA-256 of
// the bytes it holds, in the copies folder (KeptCopyFolder). `zcat` reads one
// back; the program writes it back whole and only when its digest is the register's.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace doz {

// A file's content as it is being written: its SHA-256 and its gzip form,
// made on a thread of its own that reads the bytes back from the file (they
// are in the system's cache) as the writer reports them written, so that the
// writer never waits for it and no copy of the content is held.
class ContentKeeper {
public:
    struct Kept {
        std::string sha256;  // 64 lowercase hexadecimal digits
        // The gzip file, member after member, each in a piece of its own so
        // that the copy never needs room for itself twice while it grows...
        std::vector<std::string> gzip;
        // ... or the name of the copy already in place in the copies folder.
        std::string named;
        std::size_t packed = 0;  // bytes of the gzip file
        std::int64_t size = 0;

        std::size_t gzipSize() const { return packed; }
    };

    // `fd`: the file being written, read with a descriptor of the keeper's
    // own. With `copyFolder` (an existing folder, ending in "/") the gzip file
    // is written there as it is made instead of held, and put in place under
    // its name once the content is complete; a copy the keeper put there is
    // removed again by its end unless finish() handed it over.
    explicit ContentKeeper(int fd, std::string copyFolder = {});
    ~ContentKeeper();
    ContentKeeper(const ContentKeeper&) = delete;
    ContentKeeper& operator=(const ContentKeeper&) = delete;

    // `bytes` more of the file are written. Never throws.
    void written(std::size_t bytes) noexcept;
    // Nothing more will be written: the keeper ends its work (the last
    // member, the digest, the flush of a copy written as it was made)
    // without waiting for finish(). Never throws.
    void complete() noexcept;
    // Every byte written so far, digested and compressed; RegisterError when
    // they could not be read back or compressed. Called once.
    Kept finish();

private:
    void run() noexcept;
    // Reads, digests and compresses whole members up to `upTo`, and with
    // `all` the last piece too, then the digest and the copy's flush.
    void take(std::size_t upTo, bool all);

    struct Work;
    Work* work_;
    int fd_ = -1;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::size_t written_ = 0;  // reported by the writer
    bool ending_ = false;
    std::exception_ptr failure_;
    std::thread thread_;
};

// Writes a kept copy into the copies folder of `mainFolder` (made readable by
// its owner only when new) whole or not at all, or names the one already
// written there, and gives its file name.
// RegisterError naming the file when it cannot.
std::string WriteKeptCopy(const std::string& mainFolder, const ContentKeeper::Kept& kept);

// Writes the bytes of the register's file `id` into `out`, whole, once they
// are read back from the kept copy and found to be the file's (its SHA-256 and
// size). RegisterError, with nothing written, for an unknown file, a file
// without a copy, a missing, damaged or altered copy.
void RestoreKeptCopy(const std::string& mainFolder, std::int64_t id, const std::string& out);

}  // namespace doz
