#include "platform/IniFile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "platform/Error.h"

namespace doz {
namespace {

namespace fs = std::filesystem;

// Each test works in a folder of its own, removed afterwards.
class IniFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "doz-ini-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
        path_ = (dir_ / "Banca.ini").string();
    }
    void TearDown() override {
        ::chmod(dir_.c_str(), 0700);
        ::chmod(path_.c_str(), 0600);
        std::error_code ec;
        fs::remove_all(dir_, ec);
    }
    void put(const std::string& bytes) const { std::ofstream(path_, std::ios::binary) << bytes; }
    std::string contents() const {
        std::ifstream in(path_, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    ino_t inode() const {
        struct stat st {};
        return ::stat(path_.c_str(), &st) == 0 ? st.st_ino : 0;
    }

    fs::path dir_;
    std::string path_;
};

using IniFileRead = IniFileTest;
using IniFileWrite = IniFileTest;
using IniFileHostile = IniFileTest;

TEST_F(IniFileRead, ProfileRulesForNamesAndValues) {
    put("Mittente=fuori\r\n"
        "[Dati] ; commento\r\n"
        "  MITTENTE =  ABC12 \t\r\n"
        "mittente=secondo\r\n"
        "eq=a=b=c\r\nquoted=\"  q  \"\r\nhalf=\"open\r\ninline=1 ; resto\r\nempty=\r\nbare\r\n"
        "; Commento=si\r\n# Cancelletto=si\r\naccento=gi\xE0\r\n"
        "[ dati ]\r\nSolo=qui\r\n"
        "[Societ\xE0]\r\nA=1\r\n"
        "[Altro]\r\nChiave=x");
    IniFile ini(path_);
    EXPECT_EQ(ini.readString("dati", "mittente", ""), "ABC12");  // first section, first key
    EXPECT_EQ(ini.readString(" Dati ", " Mittente ", ""), "ABC12");
    EXPECT_EQ(ini.readString("Dati", "eq", ""), "a=b=c");
    EXPECT_EQ(ini.readString("Dati", "quoted", ""), "  q  ");
    EXPECT_EQ(ini.readString("Dati", "half", ""), "\"open");
    EXPECT_EQ(ini.readString("Dati", "inline", ""), "1 ; resto");
    EXPECT_EQ(ini.readString("Dati", "empty", "def"), "");
    EXPECT_EQ(ini.readString("Dati", "bare", "def"), "");
    EXPECT_EQ(ini.readString("Dati", "Commento", "def"), "def");
    EXPECT_EQ(ini.readString("Dati", "Cancelletto", "def"), "def");
    EXPECT_EQ(ini.readString("DATI", "ACCENTO", ""), "gi\xE0");
    EXPECT_EQ(ini.readString("Dati", "Solo", "def"), "def");
    EXPECT_EQ(ini.readString("SOCIET\xC0", "a", ""), "1");  // Windows-1252 letters fold too
    EXPECT_EQ(ini.readString("Altro", "Mittente", "def"), "def");
    EXPECT_EQ(ini.readString("altro", "chiave", ""), "x");  // last line without a line end
    EXPECT_TRUE(ini.valueExists("Dati", "bare"));
    EXPECT_EQ(ini.readSection("Altro"), std::vector<std::string>{"Chiave"});
    EXPECT_EQ(ini.readSection("Dati").size(), 9u);
}

TEST_F(IniFileRead, MissingFileAndIntegers) {
    IniFile ini(path_);
    EXPECT_EQ(ini.readString("Dati", "Mittente", "nessuno"), "nessuno");
    EXPECT_FALSE(ini.sectionExists("Dati"));
    ini.eraseKey("Dati", "Mittente");
    EXPECT_FALSE(fs::exists(path_));

    put("[N]\na=42\nb=-17\nc=$1F\nd=0x10\ne=12abc\nf=2147483647\ng=2147483648\nh=$FFFFFFFF\ni=\nk= +5 \nl=0x\n");
    const struct {
        const char* key;
        int value;
    } cases[] = {{"a", 42}, {"b", -17}, {"c", 31},  {"d", 16},  {"e", -99}, {"f", 2147483647},
                 {"g", -99}, {"h", -1},  {"i", -99}, {"k", 5},   {"l", -99}, {"missing", -99}};
    for (const auto& c : cases) EXPECT_EQ(ini.readInteger("n", c.key, -99), c.value) << c.key;
}

TEST_F(IniFileWrite, NewFileKeysAndSectionsGoWhereTheyBelong) {
    IniFile ini(path_);
    ini.writeString("Dati", "Mittente", "ABC12");
    ini.writeInteger("dati", "Numero", -5);
    EXPECT_EQ(contents(), "[Dati]\r\nMittente=ABC12\r\nNumero=-5\r\n");

    put("[Dati]\r\nA=1\r\n; di A\r\nB=2\r\n\r\n; intestazione\r\n[Vuota]\r\n[Altro]\r\nC=3");
    ini.writeString("DATI", "Nuova", "x");
    ini.writeString("vuota", "K", "v");
    ini.writeString("Fine", "Z", "9");
    EXPECT_EQ(contents(), "[Dati]\r\nA=1\r\n; di A\r\nB=2\r\nNuova=x\r\n\r\n; intestazione\r\n[Vuota]\r\nK=v\r\n"
                          "[Altro]\r\nC=3\r\n\r\n[Fine]\r\nZ=9\r\n");
}

TEST_F(IniFileWrite, ReplacingKeepsEveryOtherByteAndTheLineEnds) {
    const std::string before = "\xEF\xBB\xBF; prova\n[Altro]\n  Mittente = resta  \n\n[Dati]\nMITTENTE = vecchio ; x\nB=2\n";
    put(before);
    IniFile ini(path_);
    ini.writeString("dati", "mittente", "nuovo \x80 gi\xE0");
    std::string expected = before;
    expected.replace(expected.find("MITTENTE = vecchio ; x"), 22, "MITTENTE=nuovo \x80 gi\xE0");
    EXPECT_EQ(contents(), expected);
    ini.eraseKey("DATI", "b");
    expected.erase(expected.find("B=2\n"), 4);
    EXPECT_EQ(contents(), expected);
    ini.writeString("Dati", "Righe", "uno\r\ndue\nTre=[x]");  // line breaks cannot go into a line
    EXPECT_EQ(ini.readString("Dati", "Righe", ""), "uno  due Tre=[x]");
    EXPECT_FALSE(ini.valueExists("Dati", "Tre"));
    for (const char* key : {"", "a=b", "[K]", ";K"}) EXPECT_THROW(ini.writeString("Dati", key, "v"), Error) << key;
    EXPECT_THROW(ini.writeString("Da\nti", "K", "v"), Error);
}

TEST_F(IniFileWrite, AtomicReplacementVisibleAtOnce) {
    put("[Dati]\r\nA=1\r\n");
    ::chmod(path_.c_str(), 0640);
    IniFile a(path_), b(path_);
    const ino_t first = inode();
    a.writeString("DATI", "a", "1");  // same value: the file is left alone
    EXPECT_EQ(inode(), first);
    a.writeString("Dati", "A", "2");
    EXPECT_NE(inode(), first);
    EXPECT_EQ(b.readString("Dati", "A", ""), "2");
    put("[Dati]\r\nA=esterno\r\n");  // no stale cache either way
    EXPECT_EQ(a.readString("Dati", "A", ""), "esterno");
    struct stat st {};
    ASSERT_EQ(::stat(path_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);  // no temporary left

    const std::string real = (dir_ / "reale.ini").string();
    fs::rename(path_, real);
    fs::create_symlink(real, path_);
    a.writeString("Dati", "A", "3");
    EXPECT_TRUE(fs::is_symlink(path_));
    EXPECT_EQ(IniFile(real).readString("Dati", "A", ""), "3");
}

TEST_F(IniFileWrite, FailuresAreIoErrorsNamingThePath) {
    const std::string lost = (dir_ / "manca" / "Banca.ini").string();
    try {
        IniFile(lost).writeString("Dati", "A", "1");
        ADD_FAILURE() << "no error";
    } catch (const IoError& e) {
        EXPECT_NE(std::string(e.what()).find("Impossibile scrivere il file \"" + lost + "\""), std::string::npos);
    }
    fs::create_directory(path_);  // a folder where the file should be
    EXPECT_EQ(IniFile(path_).readString("Dati", "A", "def"), "def");
    EXPECT_THROW(IniFile(path_).writeString("Dati", "A", "1"), IoError);
    fs::remove(path_);

    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the super-user";
    put("[Dati]\nA=1\n");
    ::chmod(dir_.c_str(), 0555);
    try {
        IniFile(path_).writeString("Dati", "A", "2");
        ADD_FAILURE() << "no error";
    } catch (const IoError& e) {
        EXPECT_NE(std::string(e.what()).find(path_ + "\": accesso negato"), std::string::npos) << e.what();
    }
    ::chmod(dir_.c_str(), 0700);
    ::chmod(path_.c_str(), 0);  // unreadable: defaults on reading, and no overwriting
    EXPECT_EQ(IniFile(path_).readString("Dati", "A", "def"), "def");
    EXPECT_THROW(IniFile(path_).writeString("Dati", "B", "2"), IoError);
    ::chmod(path_.c_str(), 0600);
    EXPECT_EQ(contents(), "[Dati]\nA=1\n");
}

TEST_F(IniFileHostile, LongLinesAndMissingBracket) {
    const std::string longValue(2'000'000, 'v'), longName(100'000, 's');
    put("[" + longName + "]\nK=" + longValue + "\n[Dati]\nA=1\n[Rotta\nB=2\n");
    IniFile ini(path_);
    EXPECT_EQ(ini.readString(longName, "K", ""), longValue);
    EXPECT_FALSE(ini.sectionExists("Rotta"));
    EXPECT_EQ(ini.readString("Dati", "B", ""), "2");  // "[Rotta" is a key line of the section before
    ini.writeString("Rotta", "C", longValue);
    EXPECT_EQ(ini.readString("rotta", "C", ""), longValue);
    EXPECT_EQ(ini.readString(longName, "K", ""), longValue);
}

TEST_F(IniFileHostile, BinaryGarbageNeitherCrashesNorBlocksWriting) {
    std::mt19937 random(20240305);
    for (int round = 0; round < 20; ++round) {
        std::string garbage(4096, '\0');
        for (char& c : garbage) c = static_cast<char>(random() & 0xFF);
        if (round % 2 == 0) garbage += "\n[Dati]\nA=vecchio";
        put(garbage);
        IniFile ini(path_);
        (void)ini.readSection("Dati");
        ini.writeString("Dati", "A", "nuovo");
        EXPECT_EQ(ini.readString("Dati", "A", ""), "nuovo") << "round " << round;
        // Line ends may change; no other byte of the garbage is lost.
        const std::string after = contents();
        for (char probe : {'\0', '\xFF', '='}) {
            EXPECT_EQ(std::count(after.begin(), after.end(), probe),
                      std::count(garbage.begin(), garbage.end(), probe) + (probe == '=' && round % 2 == 1))
                << "round " << round;
        }
    }
}

}  // namespace
}  // namespace doz
