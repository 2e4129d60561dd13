#include "register/KeptCopy.h"

#include <isa-l/igzip_lib.h>
#include <libdeflate.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>
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
// there, and readable by any gzip reader as one stream. The members are made
// by ISA-L's fastest level (about a quarter of libdeflate's fastest in time,
// a slightly larger copy); libdeflate reads them back.
constexpr std::size_t kMember = std::size_t{1} << 20;
constexpr int kLevel = 1;
// At worst a member is stored as it is: its bytes, five per stored block of at
// most 64 KB, the gzip header and trailer.
constexpr std::size_t kPackedRoom = kMember + (kMember / 65535 + 1) * 5 + ISAL_DEF_MAX_HDR_SIZE + 64;

}  // namespace

struct ContentKeeper::Work {
    Sha256 hash;
    std::string copyFolder;  // where the copy is written as it is made; empty: held
    std::unique_ptr<ReplacementFile> copy;
    std::vector<std::string> gzip;
    std::size_t packedSize = 0;
    std::string sha256;  // once every byte was taken
    std::string named;   // the copy's name, once in place
    bool made = false;   // no file had that name before
    bool handedOver = false;
    std::vector<char> piece = std::vector<char>(kMember);
    std::vector<unsigned char> packed = std::vector<unsigned char>(kPackedRoom);
    std::vector<unsigned char> levelRoom = std::vector<unsigned char>(ISAL_DEF_LVL1_DEFAULT);
    std::size_t done = 0;  // bytes taken

    // `size` bytes of `piece` as one gzip member, in `packed`; its size.
    std::size_t compress(std::size_t size) {
        isal_zstream z;
        isal_deflate_stateless_init(&z);
        z.level = kLevel;
        z.level_buf = levelRoom.data();
        z.level_buf_size = static_cast<std::uint32_t>(levelRoom.size());
        z.gzip_flag = IGZIP_GZIP;
        z.end_of_stream = 1;
        z.flush = NO_FLUSH;
        z.next_in = reinterpret_cast<std::uint8_t*>(piece.data());
        z.avail_in = static_cast<std::uint32_t>(size);
        z.next_out = packed.data();
        z.avail_out = static_cast<std::uint32_t>(packed.size());
        if (isal_deflate_stateless(&z) != COMP_OK) throw RegisterError("copia del file non compressa");
        return z.total_out;
    }
};

ContentKeeper::ContentKeeper(int fd, std::string copyFolder) : work_(new Work) {
    work_->copyFolder = std::move(copyFolder);
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
    if (work_->made && !work_->handedOver) ::unlink((work_->copyFolder + work_->named).c_str());
    delete work_;
}

void ContentKeeper::written(std::size_t bytes) noexcept {
    {
        std::lock_guard lock(mutex_);
        written_ += bytes;
    }
    changed_.notify_all();
}

void ContentKeeper::complete() noexcept {
    {
        std::lock_guard lock(mutex_);
        ending_ = true;
    }
    changed_.notify_all();
}

void ContentKeeper::take(std::size_t upTo, bool all) {
    Work& w = *work_;
    if (!w.sha256.empty()) return;  // all taken already
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
        const std::size_t size = w.compress(got);
        const std::string_view member(reinterpret_cast<const char*>(w.packed.data()), size);
        if (w.copyFolder.empty()) {
            w.gzip.emplace_back(member);
        } else {
            if (!w.copy) w.copy = std::make_unique<ReplacementFile>(w.copyFolder + "in-corso.gz");
            w.copy->write(member);
        }
        w.packedSize += size;
        w.done += got;
    }
    if (!all) return;
    const std::string sha256 = Sha256::hex(w.hash.finish());
    // The copy is put in place under its digest now, beside the saving of the
    // file itself; a copy this keeper made is removed again if the file is
    // not saved after all (see the destructor). A copy of that name was of
    // the same bytes.
    if (w.copy) {
        const std::string name = w.copyFolder + sha256 + ".gz";
        w.made = !fileExists(name);
        try {
            w.copy->commitAs(name);
        } catch (const FolderNotFlushedError&) {
            // In place, only the folder's flush failed: the copy is there.
        }
        w.copy.reset();
        w.named = sha256 + ".gz";
    }
    w.sha256 = sha256;
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
    kept.sha256 = work_->sha256;
    kept.gzip = std::move(work_->gzip);
    kept.named = work_->named;
    work_->handedOver = true;
    kept.packed = work_->packedSize;
    kept.size = static_cast<std::int64_t>(work_->done);
    return kept;
}

std::string WriteKeptCopy(const std::string& mainFolder, const ContentKeeper::Kept& kept) {
    const std::string name = kept.sha256 + ".gz";
    try {
        if (kept.named == name) return name;  // in place already
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
