// The kept copy of a produced file: made from the pieces as they are written,
// written back byte for byte, and refused when it is not the file's.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <random>
#include <stdexcept>

#include "platform/Files.h"
#include "platform/Sha256.h"
#include "register/FileRegister.h"
#include "register/KeptCopy.h"
#include "support/TestFiles.h"

namespace doz {
namespace {

namespace fs = std::filesystem;
using test_files::readFile;
using test_files::writeFile;

// The gzip form of `data`, as the gzip program writes it.
std::string gzipOf(const std::string& data, const std::string& folder) {
    writeFile(folder + "plain", data);
    if (std::system(("gzip -c '" + folder + "plain' > '" + folder + "plain.gz'").c_str()) != 0)
        throw std::runtime_error("gzip failed");
    return readFile(folder + "plain.gz");
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

    // The content written in uneven pieces, the keeper told of each, its
    // copy written (among the copies as it is made, or held) and the file recorded.
    std::int64_t produce(bool amongCopies = false) {
        if (amongCopies) MakeRegisterFolders(main_, true);
        ReplacementFile bank(main_ + "bank.Txt");
        ContentKeeper keeper(bank.descriptor(), amongCopies ? KeptCopyFolder(main_) : std::string());
        bank.setWatcher([&keeper](std::string_view piece) { keeper.written(piece.size()); });
        for (std::size_t at = 0, piece = 1; at < content_.size(); at += piece, piece = piece * 3 % 2'500'000 + 1)
            bank.write(std::string_view(content_).substr(at, piece));
        keeper.complete();
        bank.commit();
        const ContentKeeper::Kept kept = keeper.finish();
        EXPECT_EQ(kept.named, amongCopies ? Sha256Hex(content_) + ".gz" : std::string());
        EXPECT_EQ(kept.sha256, Sha256Hex(content_));
        EXPECT_EQ(kept.size, static_cast<std::int64_t>(content_.size()));
        EXPECT_LT(kept.gzipSize(), content_.size() / 2);
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
    // The gzip program gives the same bytes.
    ASSERT_EQ(std::system(("gzip -dc '" + copy + "' > '" + main_ + "unzipped'").c_str()), 0);
    EXPECT_TRUE(readFile(main_ + "unzipped") == content_);
}

// Written among the copies as it is made: in place once the content is whole,
// and removed again when the file it copies is not saved, unless a copy of
// the same bytes was there before.
TEST_F(KeptCopy, ACopyMadeAmongTheCopiesLastsOnlyIfTheFileIsSaved) {
    const std::string copy = KeptCopyFolder(main_) + Sha256Hex(content_) + ".gz";
    const std::int64_t id = produce(true);
    const std::string out = main_ + "again.Txt";
    RestoreKeptCopy(main_, id, out);
    EXPECT_TRUE(readFile(out) == content_) << "the restored file differs";
    ASSERT_EQ(std::system(("gzip -t '" + copy + "'").c_str()), 0);

    auto dropUnsaved = [this](const std::string& content) {
        ReplacementFile bank(main_ + "other.Txt");
        ContentKeeper keeper(bank.descriptor(), KeptCopyFolder(main_));
        bank.setWatcher([&keeper](std::string_view piece) { keeper.written(piece.size()); });
        bank.write(content);
        keeper.complete();
    };
    dropUnsaved(content_);  // the copy the register holds stays
    EXPECT_TRUE(fs::exists(copy));
    const std::string other = content_ + "x";
    dropUnsaved(other);  // a copy of bytes no file has is not left behind
    EXPECT_FALSE(fs::exists(KeptCopyFolder(main_) + Sha256Hex(other) + ".gz"));
    EXPECT_EQ(std::distance(fs::directory_iterator(KeptCopyFolder(main_)), fs::directory_iterator()), 1);
}

TEST_F(KeptCopy, ACopyThatIsNotTheFilesWritesNothing) {
    const std::int64_t id = produce();
    const std::string copy = KeptCopyFolder(main_) + Sha256Hex(content_) + ".gz";
    const std::string out = main_ + "again.Txt";
    std::string altered = content_;
    altered[1'500'000] ^= 1;
    const std::string whole = gzipOf(content_, main_);
    for (const std::string& bad : {gzipOf(altered, main_), gzipOf(content_ + "x", main_), whole.substr(0, 50'000),
                                   whole + whole, std::string("not gzip at all")}) {
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
