// The kept copy of a produced file: made from the pieces as they are written,
// written back byte for byte, and refused when it is not the file's.
#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <random>
#include <stdexcept>

#include "platform/Sha256.h"
#include "register/FileRegister.h"
#include "register/KeptCopy.h"
#include "support/TestFiles.h"

namespace doz {
namespace {

namespace fs = std::filesystem;
using test_files::readFile;
using test_files::writeFile;

// The gzip form of `data`, as another program would write it.
std::string gzipOf(const std::string& data) {
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
    std::string out(deflateBound(&z, data.size()) + 64, '\0');
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

class KeptCopy : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "pzt-kept-XXXXXX").string();
        if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
        main_ = pattern + "/";
        // Three megabytes of records, some of it noise, fed in the pieces a writer gives.
        std::mt19937 random(11);
        while (content_.size() < 3'000'000) {
            content_ += " 10" + std::to_string(random()) + std::string(90, ' ') + "\r\n";
            if (content_.size() % 7 == 0) content_ += static_cast<char>(random());
        }
    }
    void TearDown() override { fs::remove_all(main_); }

    // The content through the keeper in uneven pieces, its copy written and the file recorded.
    std::int64_t produce() {
        ContentKeeper keeper;
        for (std::size_t at = 0, piece = 1; at < content_.size(); at += piece, piece = piece * 3 % 2'500'000 + 1)
            keeper.add(std::string_view(content_).substr(at, piece));
        const ContentKeeper::Kept kept = keeper.finish();
        EXPECT_EQ(kept.sha256, Sha256Hex(content_));
        EXPECT_EQ(kept.size, static_cast<std::int64_t>(content_.size()));
        EXPECT_LT(kept.gzip.size(), content_.size() / 2);
        ProducedFile f;
        f.bank = "Banca Nord";
        f.sha256 = kept.sha256;
        f.size = kept.size;
        f.copy = WriteKeptCopy(main_, kept);
        return FileRegister(main_, FileRegister::Open::Create).record(f, {});
    }

    std::string main_;
    std::string content_;
};

TEST_F(KeptCopy, WrittenBackByteForByteAndReadableByGzipTools) {
    const std::int64_t id = produce();
    const std::string out = main_ + "again.Txt";
    RestoreKeptCopy(main_, id, out);
    EXPECT_TRUE(readFile(out) == content_) << "the restored file differs";
    const std::string copy = KeptCopyFolder(main_) + Sha256Hex(content_) + ".gz";
    ASSERT_TRUE(fs::exists(copy));
    // The copy made the folders: both for their owner only.
    for (const std::string& folder : {RegisterFolder(main_), KeptCopyFolder(main_)})
        EXPECT_EQ(fs::status(folder).permissions(), fs::perms::owner_all) << folder;
    // Any gzip reader gives the same bytes.
    gzFile g = gzopen(copy.c_str(), "rb");
    ASSERT_NE(g, nullptr);
    std::string unzipped(content_.size() + 10, '\0');
    const int n = gzread(g, unzipped.data(), static_cast<unsigned>(unzipped.size()));
    gzclose(g);
    EXPECT_EQ(n, static_cast<int>(content_.size()));
}

TEST_F(KeptCopy, ACopyThatIsNotTheFilesWritesNothing) {
    const std::int64_t id = produce();
    const std::string copy = KeptCopyFolder(main_) + Sha256Hex(content_) + ".gz";
    const std::string out = main_ + "again.Txt";
    std::string altered = content_;
    altered[1'500'000] ^= 1;
    for (const std::string& bad : {gzipOf(altered), gzipOf(content_ + "x"), gzipOf(content_).substr(0, 50'000),
                                   std::string("not gzip at all")}) {
        writeFile(copy, bad);
        try {
            RestoreKeptCopy(main_, id, out);
            ADD_FAILURE() << "an altered copy was written back";
        } catch (const RegisterError& e) {
            EXPECT_NE(std::string(e.what()).find("danneggiata o non \xE8 quella del file numero"), std::string::npos)
                << e.what();
        }
        EXPECT_FALSE(fs::exists(out));
    }
    fs::remove(copy);
    EXPECT_THROW(RestoreKeptCopy(main_, id, out), RegisterError);
    EXPECT_THROW(RestoreKeptCopy(main_, id + 1, out), RegisterError);
    EXPECT_FALSE(fs::exists(out));
}

}  // namespace
}  // namespace doz
