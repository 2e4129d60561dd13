// The faults the fuzzing and the bad-input cases found, checked where they
// were fixed: text with control characters in the XML form, and reports that
// are written whole or not at all.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <thread>

#include "platform/DataPacket.h"
#include "platform/Error.h"
#include "platform/Files.h"
#include "robustness/RobustnessSupport.h"

namespace robustness {
namespace {

doz::PacketContent oneText(const std::string& text) {
    doz::PacketContent c;
    doz::FieldDef f;
    f.name = "Testo";
    f.size = 40;
    c.fields = {f};
    c.rows = {{doz::Value(text)}};
    return c;
}

TEST(XmlForm, ControlCharactersComeBackAsTheyWereAndNulIsRefused) {
    std::string every;
    for (int c = 1; c < 0x20; ++c) every += static_cast<char>(c);
    every += "fine";
    for (doz::PacketFormat format : {doz::PacketFormat::Xml, doz::PacketFormat::XmlUtf8}) {
        const std::string xml = doz::writePacket(oneText(every), format);
        for (int c = 1; c < 0x20; ++c)
            EXPECT_EQ(xml.find(static_cast<char>(c)), std::string::npos) << "raw control character " << c;
        const doz::PacketContent back = doz::readPacket(xml, "copia");
        ASSERT_EQ(back.rows.size(), 1u);
        EXPECT_EQ(back.rows[0][0], doz::Value(every));
        EXPECT_THROW(doz::writePacket(oneText(std::string("a\0b", 3)), format), doz::DataError);
    }
}

TEST(AtomicTextFileWriter, ReplacesOnCloseAndLeavesTheOldFileOtherwise) {
    const fs::path root = makeRoot();
    const std::string path = (root / "REPORT.Txt").string();
    writeFile(path, "old\r\n");
    {
        doz::AtomicTextFileWriter out(path);
        out.writeLine("new line");
        // A step that fails here leaves the writer without close().
    }
    EXPECT_EQ(readFile(path), "old\r\n");
    {
        doz::AtomicTextFileWriter out(path);
        out.writeLine("uno");
        out.write("due");
        out.close();
    }
    EXPECT_EQ(readFile(path), "uno\r\ndue");
    std::size_t files = 0;
    for (const auto& e : fs::directory_iterator(root)) files += e.is_regular_file();
    EXPECT_EQ(files, 1u) << "no temporary file left";
    fs::create_directory(root / "cartella");
    doz::AtomicTextFileWriter intoFolder((root / "cartella").string());
    try {
        intoFolder.close();
        ADD_FAILURE() << "a folder was written over";
    } catch (const doz::IoError& e) {
        EXPECT_NE(std::string(e.what()).find("cartella"), std::string::npos) << e.what();
    }
    fs::remove_all(root);
}

TEST(TextFileWriter, ReplaceOnCloseKeepsTheOldFileUntilCloseAndLeavesNoTemporaryFile) {
    const fs::path root = makeRoot();
    const std::string path = (root / "LOG.Txt").string();
    writeFile(path, "old\r\n");
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    auto regularFiles = [&] {
        std::size_t files = 0;
        for (const auto& e : fs::directory_iterator(root)) files += e.is_regular_file();
        return files;
    };
    {
        doz::TextFileWriter out(path);
        out.writeLine("new line");
        EXPECT_EQ(readFile(path), "old\r\n") << "replaced before close";
        EXPECT_EQ(regularFiles(), 1u) << "the new file has no name before close";
        // Dropped without close(): the work is thrown away.
    }
    EXPECT_EQ(readFile(path), "old\r\n");
    EXPECT_EQ(regularFiles(), 1u);
    {
        doz::TextFileWriter out(path);
        out.writeLine("uno");
        out.write(std::string(200000, 'x'));  // more than the writer's buffer
        out.close();
        out.close();  // a second close does nothing
    }
    EXPECT_EQ(readFile(path), "uno\r\n" + std::string(200000, 'x'));
    EXPECT_EQ(regularFiles(), 1u);
    EXPECT_EQ(fs::status(path).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_directory(root / "cartella");
    EXPECT_THROW(doz::TextFileWriter((root / "cartella").string()), doz::IoError);
    EXPECT_THROW(doz::TextFileWriter((root / "manca" / "LOG.Txt").string()),
                 doz::IoError);
    fs::remove_all(root);
}

TEST(FileNames, EmptyingTouchesOnlyRegularFilesAndSameFileSeesThroughLinks) {
    const fs::path root = makeRoot();
    const std::string file = (root / "LOG.Txt").string();
    const std::string link = (root / "link.Txt").string();
    writeFile(file, "contenuto\r\n");
    fs::create_symlink(file, link);
    EXPECT_FALSE(doz::emptyRegularFile(link));  // a link is not followed
    EXPECT_EQ(readFile(file), "contenuto\r\n");
    EXPECT_FALSE(doz::emptyRegularFile(root.string()));
    EXPECT_FALSE(doz::emptyRegularFile((root / "manca.Txt").string()));
    EXPECT_TRUE(doz::emptyRegularFile(file));
    EXPECT_EQ(readFile(file), "");

    EXPECT_TRUE(doz::sameFile(link, file));
    EXPECT_TRUE(doz::sameFile((root / "." / "LOG.Txt").string(), file));
    EXPECT_TRUE(doz::sameFile((root / "nuovo.Txt").string(), (root / "x" / ".." / "nuovo.Txt").string()));
    EXPECT_FALSE(doz::sameFile((root / "nuovo.Txt").string(), file));
    fs::remove_all(root);
}

std::vector<std::string> entries(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// Runs `work` in a child process; its wait status. A child still running after
// 30 s is killed (the test then fails on the status).
int inChild(const std::function<void()>& work) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        work();
        ::_exit(0);
    }
    int status = 0;
    for (int waited = 0; ::waitpid(pid, &status, WNOHANG) == 0; ++waited) {
        if (waited == 3000) ::kill(pid, SIGKILL);
        ::usleep(10000);
    }
    return status;
}

// Both ways of writing: a file without a name, and the hidden temporary of
// systems without one (forced here), which only the signal handler removes.
TEST(WholeFiles, AWriterEndedBySignalOrKillLeavesTheOldFileAndNothingElse) {
    const fs::path root = makeRoot();
    const std::string path = (root / "LOG.Txt").string();
    writeFile(path, "old\r\n");
    for (const bool namedTemporary : {false, true}) {
        for (const int sig : {SIGKILL, SIGTERM, SIGINT, SIGHUP}) {
            SCOPED_TRACE(std::to_string(sig) + (namedTemporary ? " named temporary" : " without a name"));
            const int status = inChild([&] {
                doz::writeWithNamedTemporariesOnly(namedTemporary);
                doz::TextFileWriter out(path);
                out.write(std::string(1 << 20, 'x'));
                ::raise(sig);
            });
            EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == sig) << status;
            EXPECT_EQ(readFile(path), "old\r\n");
            if (namedTemporary && sig == SIGKILL) {
                // Nothing runs at a kill -9: the next write in the folder removes what is left.
                EXPECT_EQ(entries(root).size(), 2u);
                doz::writeFileAtomically(path, "old\r\n");
            }
            EXPECT_EQ(entries(root), std::vector<std::string>{"LOG.Txt"});
        }
    }
    fs::remove_all(root);
}

TEST(WholeFiles, AWriteThatFailedIsNeverPutInPlace) {
    const fs::path root = makeRoot();
    const std::string path = (root / "LOG.Txt").string();
    writeFile(path, "old\r\n");
    // Past the size limit the write fails with EFBIG; close() must refuse too.
    const int status = inChild([&] {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit cap{1000, 1000};
        ::setrlimit(RLIMIT_FSIZE, &cap);
        doz::TextFileWriter out(path);
        try {
            out.write(std::string(1 << 17, 'x'));
        } catch (const doz::IoError&) {
        }
        try {
            out.close();
        } catch (const doz::IoError&) {
            ::_exit(0);
        }
        ::_exit(1);
    });
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a failed file was committed";
    EXPECT_EQ(readFile(path), "old\r\n");
    EXPECT_EQ(entries(root), std::vector<std::string>{"LOG.Txt"});
    fs::remove_all(root);
}

// A child process that runs `work`, which holds what it takes until it is
// let go (`untilReleased` returns once the parent calls end()).
struct Holder {
    using Work = std::function<void(const std::function<void()>& untilReleased)>;
    pid_t pid = -1;
    int release = -1;

    explicit Holder(const Work& work) {
        int ready[2], go[2];
        if (::pipe(ready) != 0 || ::pipe(go) != 0) throw std::runtime_error("pipe");
        pid = ::fork();
        if (pid == 0) {
            work([&] {
                char c = 1;
                if (::write(ready[1], &c, 1) != 1 || ::read(go[0], &c, 1) < 0) ::_exit(1);
            });
            ::_exit(0);
        }
        ::close(ready[1]);
        ::close(go[0]);
        release = go[1];
        char c = 0;
        if (::read(ready[0], &c, 1) != 1) ADD_FAILURE() << "the child did not take hold";
        ::close(ready[0]);
    }
    // Lets the work end as it would (what it holds is given back).
    void end() {
        char c = 1;
        if (::write(release, &c, 1) != 1) ADD_FAILURE() << "the child is gone";
        wait();
    }
    // Ends it as kill -9 does.
    void kill() {
        ::kill(pid, SIGKILL);
        wait();
    }
    void wait() {
        ::close(release);
        ::waitpid(pid, nullptr, 0);
        pid = -1;
    }
    ~Holder() {
        if (pid > 0) kill();
    }
};

// A process number that no process has here, as a run in another set of
// process numbers or on another machine sharing the folder shows.
std::string endedProcess() {
    const pid_t ended = ::fork();
    if (ended == 0) ::_exit(0);
    ::waitpid(ended, nullptr, 0);
    return std::to_string(ended);
}

TEST(WholeFiles, TemporariesOfEndedRunsAreRemovedByTheNextWriteInTheirFolder) {
    const fs::path root = makeRoot();
    const std::string gone = endedProcess();
    const std::string alive = std::to_string(::getpid());
    for (const std::string& name : std::vector<std::string>{".pzt~" + gone + "~0", "Banca.ini.~" + gone + ".3", "Banca.ini.tmp123456",
                                    "Banca.ini.tmp654321", ".pzt~" + alive + "~1", "Altro.ini.~" + gone + ".1",
                                    "Banca.ini.~" + gone + ".x", "nota.txt"})
        writeFile(root / name, "x");
    // An old-style temporary without a process number goes only once nobody has touched it for a while.
    const auto hourAgo = fs::file_time_type::clock::now() - std::chrono::hours(1);
    fs::last_write_time(root / "Banca.ini.tmp123456", hourAgo);

    // A live writer elsewhere: its temporary under a process number that does not run here.
    Holder writer([&](const std::function<void()>& untilReleased) {
        doz::writeWithNamedTemporariesOnly(true);
        doz::ReplacementFile file((root / "STIPENDI.Txt").string());
        file.write("x");
        untilReleased();
    });
    const std::string elsewhere = ".pzt~" + endedProcess() + "~7";
    for (const std::string& name : entries(root))
        if (name.starts_with(".pzt~" + std::to_string(writer.pid) + "~")) fs::rename(root / name, root / elsewhere);
    ASSERT_TRUE(fs::exists(root / elsewhere));

    doz::writeFileAtomically((root / "Banca.ini").string(), "[Dati]\r\n");
    EXPECT_EQ(entries(root), (std::vector<std::string>{".pzt~" + alive + "~1", elsewhere, "Altro.ini.~" + gone + ".1",
                                                       "Banca.ini", "Banca.ini.tmp654321", "Banca.ini.~" + gone + ".x",
                                                       "nota.txt"}));
    // Once that writer has ended, its temporary goes too.
    writer.kill();
    doz::writeFileAtomically((root / "Banca.ini").string(), "[Dati]\r\n");
    EXPECT_FALSE(fs::exists(root / elsewhere));
    fs::remove_all(root);
}

TEST(WholeFiles, ANameGivenOnlyAtTheCommitStaysInTheFolderTheFileWasMadeIn) {
    const fs::path root = makeRoot();
    fs::create_directories(root / "altra");
    doz::ReplacementFile file((root / "provvisorio.gz").string());
    file.write("abc");
    EXPECT_THROW(file.commitAs((root / "altra/finale.gz").string()), doz::IoError);
    file.commitAs((root / "finale.gz").string());
    EXPECT_EQ(entries(root), (std::vector<std::string>{"altra", "finale.gz"}));
    EXPECT_EQ(readFile(root / "finale.gz"), "abc");
    EXPECT_TRUE(entries(root / "altra").empty());
    fs::remove_all(root);
}

TEST(WholeFiles, ANameThatIsALinkIsWrittenThroughAndStaysALink) {
    const fs::path root = makeRoot();
    fs::create_directories(root / "dati");
    fs::create_directories(root / "out");
    writeFile(root / "dati/STIPENDI.Txt", "old\r\n");
    fs::create_symlink("../dati/STIPENDI.Txt", root / "out/link.Txt");  // relative to its own folder
    fs::create_symlink(root / "out/link.Txt", root / "out/STIPENDI.Txt");  // a chain of two
    fs::create_symlink("../dati/NUOVO.Txt", root / "out/NUOVO.Txt");      // to a file not there yet
    const std::string link = (root / "out/STIPENDI.Txt").string();
    doz::writeFileAtomically(link, "uno\r\n");
    EXPECT_EQ(readFile(root / "dati/STIPENDI.Txt"), "uno\r\n");
    doz::TextFileWriter log(link);
    log.writeLine("due");
    log.close();
    EXPECT_EQ(readFile(root / "dati/STIPENDI.Txt"), "due\r\n");
    doz::ReplacementFile file((root / "out/NUOVO.Txt").string());
    file.write("tre");
    file.commit();
    EXPECT_EQ(readFile(root / "dati/NUOVO.Txt"), "tre");
    for (const char* name : {"out/STIPENDI.Txt", "out/link.Txt", "out/NUOVO.Txt"})
        EXPECT_TRUE(fs::is_symlink(root / name)) << name;
    EXPECT_EQ(entries(root / "dati"), (std::vector<std::string>{"NUOVO.Txt", "STIPENDI.Txt"}));
    fs::create_symlink("loop", root / "out/loop");
    EXPECT_THROW(doz::writeFileAtomically((root / "out/loop").string(), "x"), doz::IoError);
    fs::remove_all(root);
}

TEST(WriterTurn, ASecondWriterWaitsForTheTurnAndGivesUpAfterItsTime) {
    const fs::path root = makeRoot();
    const std::string path = (root / "STIPENDI.Txt").string();
    fs::create_symlink(path, root / "link.Txt");
    const Holder::Work holdTurn = [&](const std::function<void()>& untilReleased) {
        doz::WriterTurn turn(path);
        untilReleased();
    };
    {
        Holder first(holdTurn);
        EXPECT_EQ(entries(root), (std::vector<std::string>{".STIPENDI.Txt.pzt-lock", "link.Txt"}));
        try {
            // Through a link: the same file, the same turn.
            doz::WriterTurn second((root / "link.Txt").string(), std::chrono::milliseconds(200));
            ADD_FAILURE() << "two writers at once";
        } catch (const doz::IoError& e) {
            EXPECT_EQ(std::string(e.what()),
                      "Impossibile scrivere il file '" + (root / "link.Txt").string() + "': in scrittura da un altro processo");
        }
        first.end();
        EXPECT_EQ(entries(root), std::vector<std::string>{"link.Txt"});
    }
    {
        // Killed: its lock file stays, held by nobody, until the next turn or write there.
        Holder first(holdTurn);
        first.kill();
        EXPECT_EQ(entries(root).size(), 2u);
        { doz::WriterTurn second(path, std::chrono::milliseconds(0)); }
        Holder again(holdTurn);
        again.kill();
        doz::writeFileAtomically((root / "altro.Txt").string(), "x");
        EXPECT_EQ(entries(root), (std::vector<std::string>{"altro.Txt", "link.Txt"}));
        fs::remove(root / "altro.Txt");
    }
    {
        // The second waits, and takes the turn the first gives up.
        Holder first(holdTurn);
        std::thread ender([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            first.end();
        });
        doz::WriterTurn second(path, std::chrono::seconds(20));
        ender.join();
        EXPECT_EQ(entries(root), (std::vector<std::string>{".STIPENDI.Txt.pzt-lock", "link.Txt"}));
    }
    EXPECT_EQ(entries(root), std::vector<std::string>{"link.Txt"});
    fs::remove_all(root);
}

TEST(WholeFiles, NamesUpToTheSystemLimitAreWritten) {
    const fs::path root = makeRoot();
    const std::string name = std::string(251, 'n') + ".Txt";  // 255 characters
    doz::writeFileAtomically((root / name).string(), "uno\r\n");
    const doz::WriterTurn turn((root / name).string());  // its lock file under a short name
    doz::TextFileWriter out((root / name).string());
    out.writeLine("due");
    out.close();
    EXPECT_EQ(readFile(root / name), "due\r\n");
    EXPECT_EQ(entries(root).size(), 2u);
    fs::remove_all(root);
}

}  // namespace
}  // namespace robustness
