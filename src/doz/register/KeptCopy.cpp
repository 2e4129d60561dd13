#include "register/KeptCopy.h"

#include <zlib.h>

#include <algorithm>
#include <system_error>

#include "platform/Files.h"
#include "platform/Sha256.h"
#include "register/FileRegister.h"
#include "register/Sqlite.h"

namespace doz {

namespace {

// Pieces handed to the thread, and how far it may fall behind before the writer waits.
constexpr std::size_t kPiece = std::size_t{1} << 20;
constexpr std::size_t kMostQueued = 8 * kPiece;
// gzip wrapping (zlib's window bits + 16); the fastest level.
constexpr int kGzipWindow = 15 + 16;
constexpr int kLevel = 1;

}  // namespace

struct ContentKeeper::Work {
    Sha256 hash;
    z_stream zip{};
    bool zipOpen = false;
    std::string gzip;
    std::int64_t size = 0;

    Work() {
        if (deflateInit2(&zip, kLevel, Z_DEFLATED, kGzipWindow, 8, Z_DEFAULT_STRATEGY) != Z_OK)
            throw RegisterError("copia del file non compressa: memoria esaurita");
        zipOpen = true;
    }
    ~Work() {
        if (zipOpen) deflateEnd(&zip);
    }

    // Compresses `bytes` (or, with Z_FINISH, ends the stream) onto the end of gzip.
    void deflateAll(std::string_view bytes, int flush) {
        unsigned char out[1 << 16];
        zip.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(bytes.data()));
        zip.avail_in = static_cast<uInt>(bytes.size());
        for (;;) {
            zip.next_out = out;
            zip.avail_out = sizeof out;
            const int rc = deflate(&zip, flush);
            if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR)
                throw RegisterError("copia del file non compressa (zlib " + std::to_string(rc) + ")");
            gzip.append(reinterpret_cast<const char*>(out), sizeof out - zip.avail_out);
            if (rc == Z_STREAM_END) return;
            if (flush != Z_FINISH && zip.avail_in == 0 && zip.avail_out != 0) return;
        }
    }
};

ContentKeeper::ContentKeeper() : work_(std::make_unique<Work>()) {
    try {
        thread_ = std::thread([this] { run(); });
    } catch (const std::system_error&) {
        // No thread to be had: the writer does the work itself.
    }
}

ContentKeeper::~ContentKeeper() {
    if (!thread_.joinable()) return;
    {
        std::lock_guard lock(mutex_);
        ending_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

void ContentKeeper::take(std::string_view bytes) {
    work_->hash.update(bytes);
    work_->size += static_cast<std::int64_t>(bytes.size());
    work_->deflateAll(bytes, Z_NO_FLUSH);
}

void ContentKeeper::run() {
    for (;;) {
        std::string piece;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return !queue_.empty() || ending_; });
            if (queue_.empty()) return;
            piece = std::move(queue_.front());
            queue_.pop_front();
        }
        std::exception_ptr failed;
        {
            std::lock_guard lock(mutex_);
            failed = failure_;
        }
        if (!failed) {
            try {
                take(piece);
            } catch (...) {
                failed = std::current_exception();
            }
        }
        {
            std::lock_guard lock(mutex_);
            queued_ -= piece.size();
            if (failed && !failure_) failure_ = failed;
        }
        changed_.notify_all();
    }
}

void ContentKeeper::add(std::string_view bytes) noexcept {
    try {
        if (!thread_.joinable()) {
            if (!failure_) take(bytes);
            return;
        }
        while (!bytes.empty()) {
            const std::string_view piece = bytes.substr(0, kPiece);
            bytes.remove_prefix(piece.size());
            std::string copy(piece);
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [this] { return queued_ < kMostQueued; });
                if (failure_) return;
                queued_ += copy.size();
                queue_.push_back(std::move(copy));
            }
            changed_.notify_all();
        }
    } catch (...) {
        std::lock_guard lock(mutex_);
        if (!failure_) failure_ = std::current_exception();
    }
}

ContentKeeper::Kept ContentKeeper::finish() {
    if (thread_.joinable()) {
        {
            std::lock_guard lock(mutex_);
            ending_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }
    if (failure_) std::rethrow_exception(failure_);
    work_->deflateAll({}, Z_FINISH);
    Kept kept;
    kept.sha256 = Sha256::hex(work_->hash.finish());
    kept.gzip = std::move(work_->gzip);
    kept.size = work_->size;
    return kept;
}

std::string WriteKeptCopy(const std::string& mainFolder, const ContentKeeper::Kept& kept) {
    const std::string folder = KeptCopyFolder(mainFolder);
    const std::string name = kept.sha256 + ".gz";
    try {
        MakeRegisterFolders(mainFolder, true);
        writeFileAtomically(folder + name, kept.gzip);
    } catch (const Error& e) {
        throw RegisterError(e.what());
    }
    return name;
}

void RestoreKeptCopy(const std::string& mainFolder, std::int64_t id, const std::string& out) {
    FileRegister reg(mainFolder, FileRegister::Open::Existing);
    const std::optional<ProducedFile> file = reg.file(id);
    if (!file) throw RegisterError("il registro non ha un file numero " + std::to_string(id));
    if (file->copy.empty()) throw RegisterError("del file numero " + std::to_string(id) + " non \xE8 stata conservata la copia");
    const std::string copyPath = KeptCopyFolder(mainFolder) + file->copy;
    std::string packed;
    try {
        packed = readWholeFile(copyPath);
    } catch (const Error& e) {
        throw RegisterError(std::string("copia del file numero ") + std::to_string(id) + " non leggibile: " + e.what());
    }
    const auto damaged = [&] {
        return RegisterError("la copia '" + copyPath + "' \xE8 danneggiata o non \xE8 quella del file numero " +
                             std::to_string(id) + ": nessun file scritto");
    };

    ReplacementFile target(out);
    z_stream unzip{};
    if (inflateInit2(&unzip, kGzipWindow) != Z_OK) throw RegisterError("copia non leggibile: memoria esaurita");
    struct Ender {
        z_stream& z;
        ~Ender() { inflateEnd(&z); }
    } ender{unzip};
    unzip.next_in = reinterpret_cast<Bytef*>(packed.data());
    unzip.avail_in = static_cast<uInt>(packed.size());
    Sha256 hash;
    std::int64_t size = 0;
    std::string block(kPiece, '\0');
    int rc = Z_OK;
    while (rc != Z_STREAM_END) {
        unzip.next_out = reinterpret_cast<Bytef*>(block.data());
        unzip.avail_out = static_cast<uInt>(block.size());
        rc = inflate(&unzip, Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END) throw damaged();
        const std::string_view produced(block.data(), block.size() - unzip.avail_out);
        if (produced.empty() && rc != Z_STREAM_END) throw damaged();  // the copy ends before its stream does
        hash.update(produced);
        size += static_cast<std::int64_t>(produced.size());
        if (size > file->size) throw damaged();
        target.write(produced);
    }
    if (unzip.avail_in != 0 || size != file->size || Sha256::hex(hash.finish()) != file->sha256) throw damaged();
    target.commit();
}

}  // namespace doz
