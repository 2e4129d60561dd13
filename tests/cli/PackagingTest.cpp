// The installed documentation stays in step with the programs: the manual page
// of pzt-bankfile covers every subcommand and option its --help lists, and the
// desktop entry starts the window with the icon the package installs.
#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "cli/CliSupport.h"

namespace cli_test {
namespace {

const fs::path kPackaging = fs::path(DOZ_SOURCE_DIR) / "packaging";

// The manual page as plain words: roff's "\-" is a hyphen.
std::string manPageText(const std::string& name) {
    std::string text = readFile(kPackaging / name);
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == '-') {
            out += '-';
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

std::set<std::string> longOptions(const std::string& text) {
    std::set<std::string> out;
    static const std::regex option("--[a-z][a-z-]*");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), option); it != std::sregex_iterator(); ++it)
        out.insert(it->str());
    return out;
}

// Subcommands as the general help lists them: "  name ..." lines under "Sottocomandi:".
std::vector<std::string> subcommandsOf(const std::string& help) {
    std::vector<std::string> out;
    std::istringstream lines(help);
    std::string line;
    bool inList = false;
    while (std::getline(lines, line)) {
        if (line.rfind("Sottocomandi:", 0) == 0) {
            inList = true;
            continue;
        }
        if (!inList) continue;
        if (line.empty()) break;
        if (line.size() > 2 && line.compare(0, 2, "  ") == 0 && line[2] != ' ')
            out.push_back(line.substr(2, line.find(' ', 2) - 2));
    }
    return out;
}

std::map<std::string, std::string> desktopEntry(const fs::path& path) {
    std::map<std::string, std::string> keys;
    std::istringstream lines(readFile(path));
    std::string line;
    while (std::getline(lines, line))
        if (const auto eq = line.find('='); eq != std::string::npos && line[0] != '#')
            keys[line.substr(0, eq)] = line.substr(eq + 1);
    return keys;
}

TEST(PackagingTest, ManualPageCoversEverySubcommandAndOptionOfTheHelp) {
    TempDir home;
    const RunResult general = runCli({"--help"}, home.str());
    ASSERT_EQ(general.status, 0) << general.err;
    const std::vector<std::string> commands = subcommandsOf(general.out);
    ASSERT_GE(commands.size(), 6u) << general.out;

    const std::string page = manPageText("pzt-bankfile.1");
    const std::size_t commands0 = page.find(".SH SOTTOCOMANDI");
    const std::size_t options0 = page.find(".SH OPZIONI");
    ASSERT_LT(commands0, options0);
    const std::string section = page.substr(commands0, options0 - commands0);
    std::set<std::string> options = longOptions(general.out);
    for (const std::string& command : commands) {
        // Each subcommand is an entry of its own: ".TP" then the name in bold.
        EXPECT_TRUE(std::regex_search(section, std::regex("\\.TP\\n\\.BI? " + command + "\\b"))) << command;
        const RunResult help = runCli({command, "--help"}, home.str());
        EXPECT_EQ(help.status, 0) << command;
        for (const std::string& o : longOptions(help.out)) options.insert(o);
    }
    const std::string optionSection = page.substr(options0, page.find(".SH \"STATO") - options0);
    for (const std::string& o : options)  // an entry of its own: ".TP" then a bold line naming it
        EXPECT_TRUE(std::regex_search(optionSection, std::regex("\\.TP\\n\\.B[IR]? [^\\n]*" + o + "\\b")))
            << o << " is not described in the OPZIONI section";
    // and nothing documented that the program does not take
    for (const std::string& o : longOptions(optionSection))
        EXPECT_TRUE(options.count(o) || o == "--help" || o == "--nome") << o << " is documented but unknown";
}

TEST(PackagingTest, DesktopEntryStartsTheWindowWithThePackagedIcon) {
    auto keys = desktopEntry(kPackaging / "pzt-export-banche.desktop");
    EXPECT_EQ(keys["Type"], "Application");
    EXPECT_EQ(keys["Exec"].substr(0, keys["Exec"].find(' ')), "PztExport_Banche");
    EXPECT_FALSE(keys["Name"].empty());
    EXPECT_FALSE(keys["Comment"].empty());
    ASSERT_FALSE(keys["Icon"].empty());
    EXPECT_TRUE(fs::exists(kPackaging / (keys["Icon"] + ".svg"))) << keys["Icon"];
}

}  // namespace
}  // namespace cli_test
