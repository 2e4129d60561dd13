#include "register/KeptCopy.h"

#include <libdeflate.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>
#include <vector>

#include "platform/Ansi.h"
#include "platform/Files.h"
#include "platform/Sha256.h"
#include "register/FileRegister.h"
#include "register/Sqlite.h"

namespace doz {

namespace {

// Each megabyte of the file is one gzip member: compressed as soon as it is
// there, and readable by any gzip reader as one stream.
constexpr std::size_t kMember = std::size_t{1} << 20;
constexpr int kLevel = 1;

}  // namespace

struct ContentKeeper::Work {
    Sha256 hash;
    libdeflate_compressor* compressor = nullptr;
    std::vector<std::string> gzip;
    std::vector<char> piece = std::vector<char>(kMember);
    std::vector<char> packed;
    std::size_t done = 0;  // bytes taken

    Work() {
        compressor = libdeflate_alloc_compressor(kLevel);
        if (!compressor) throw RegisterError("copia del file non compressa: memoria esaurita");
        packed.resize(libdeflate_gzip_compress_bound(compressor, kMember));
    }
    ~Work() { libdeflate_free_compressor(compressor); }
};

ContentKeeper::ContentKeeper(int fd) : work_(new Work) {
    fd_ = ::dup(fd);
    if (fd_ < 0) {
        failure_ = std::make_exception_ptr(
            RegisterError(std::string("copia del file non fatta: ") + utf8ToAnsi(std::strerror(errno))));
        return;
    }
    try {
        thread_ = std::thread([this] { run(); });
    } catch (const std::system_error&) {
        // No thread to be had: finish() does the work.
    }
}

ContentKeeper::~ContentKeeper() {
    if (thread_.joinable()) {
        {
            std::lock_guard lock(mutex_);
            ending_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }
    if (fd_ >= 0) ::close(fd_);
    delete work_;
}

void ContentKeeper::written(std::size_t bytes) noexcept {
    {
        std::lock_guard lock(mutex_);
        written_ += bytes;
    }
    changed_.notify_all();
}

void ContentKeeper::take(std::size_t upTo, bool all) {
    Work& w = *work_;
    while (w.done + kMember <= upTo || (all && w.done < upTo)) {
        const std::size_t want = std::min(kMember, upTo - w.done);
        std::size_t got = 0;
        while (got < want) {
            const ssize_t n = ::pread(fd_, w.piece.data() + got, want - got, static_cast<off_t>(w.done + got));
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0)
                throw RegisterError("copia del file non fatta: " +
                                    utf8ToAnsi(n < 0 ? std::strerror(errno) : "il file \xE8 pi\xF9 corto del previsto"));
            got += static_cast<std::size_t>(n);
        }
        w.hash.update(std::string_view(w.piece.data(), got));
        const std::size_t size = libdeflate_gzip_compress(w.compressor, w.piece.data(), got, w.packed.data(), w.packed.size());
        if (size == 0) throw RegisterError("copia del file non compressa");
        w.gzip.emplace_back(w.packed.data(), size);
        w.done += got;
    }
}

void ContentKeeper::run() noexcept {
    for (;;) {
        std::size_t upTo = 0;
        bool last = false;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return ending_ || written_ >= work_->done + kMember; });
            upTo = written_;
            last = ending_;
        }
        try {
            take(upTo, last);
        } catch (...) {
            std::lock_guard lock(mutex_);
            failure_ = std::current_exception();
            return;
        }
        if (last) return;
    }
}

ContentKeeper::Kept ContentKeeper::finish() {
    {
        std::lock_guard lock(mutex_);
        ending_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
    if (failure_) std::rethrow_exception(failure_);
    take(written_, true);  // what the thread had not taken, or everything where there was none
    Kept kept;
    kept.sha256 = Sha256::hex(work_->hash.finish());
    kept.gzip = std::move(work_->gzip);
    kept.size = static_cast<std::int64_t>(work_->done);
    return kept;
}

std::size_t ContentKeeper::Kept::gzipSize() const {
    std::size_t size = 0;
    for (const std::string& member : gzip) size += member.size();
    return size;
}

std::string WriteKeptCopy(const std::string& mainFolder, const ContentKeeper::Kept& kept) {
    const std::string name = kept.sha256 + ".gz";
    try {
        MakeRegisterFolders(mainFolder, true);
        ReplacementFile copy(KeptCopyFolder(mainFolder) + name);
        for (const std::string& member : kept.gzip) copy.write(member);
        copy.commit();
    } catch (const Error& e) {
        throw RegisterError(e.what());
    }
    return name;
}

void RestoreKeptCopy(const std::string& mainFolder, std::int64_t id, const std::string& out) {
    FileRegister reg(mainFolder, FileRegister::Open::Existing);
    const std::optional<ProducedFile> file = reg.file(id);
    if (!file) throw RegisterError("il registro non ha un file numero " + std::to_string(id));
    if (file->copy.empty())
        throw RegisterError("del file numero " + std::to_string(id) + " non \xE8 stata conservata la copia");
    const std::string copyPath = KeptCopyFolder(mainFolder) + file->copy;
    std::string packed;
    try {
        packed = readWholeFile(copyPath);
    } catch (const Error& e) {
        throw RegisterError("copia del file numero " + std::to_string(id) + " non leggibile: " + e.what());
    }
    const RegisterError damaged("la copia '" + copyPath + "' \xE8 danneggiata o non \xE8 quella del file numero " +
                                std::to_string(id) + ": nessun file scritto");

    // The whole file, member after member, into room for exactly its size.
    std::string content(static_cast<std::size_t>(file->size), '\0');
    libdeflate_decompressor* unzip = libdeflate_alloc_decompressor();
    if (!unzip) throw RegisterError("copia non leggibile: memoria esaurita");
    std::size_t in = 0, at = 0;
    while (in < packed.size()) {
        std::size_t used = 0, made = 0;
        const libdeflate_result r = libdeflate_gzip_decompress_ex(unzip, packed.data() + in, packed.size() - in,
                                                                  content.data() + at, content.size() - at, &used, &made);
        if (r != LIBDEFLATE_SUCCESS || used == 0) {
            libdeflate_free_decompressor(unzip);
            throw damaged;
        }
        in += used;
        at += made;
    }
    libdeflate_free_decompressor(unzip);
    if (at != content.size() || Sha256Hex(content) != file->sha256) throw damaged;
    writeFileAtomically(out, content);
}

}  // namespace doz
