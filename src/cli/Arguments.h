// The command line of pzt-bankfile: subcommands, options and help texts.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace doz::cli {

// A command line the program cannot act on; the message is for the user (UTF-8).
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The exit statuses of every subcommand.
enum ExitStatus : int {
    kExitDone = 0,
    kExitValidation = 1,  // validation error or internal-consistency failure
    kExitUsage = 2,
    kExitDeclined = 3,    // a question answered No
    kExitFailure = 4,     // any other error: data, input/output
};

enum class Command { Help, Dump, Export, Check, Log, Distinta, Brogliaccio, History };

struct Arguments {
    Command command = Command::Help;
    std::string commandName;  // as typed; empty for the general help
    bool help = false;        // --help after a subcommand

    std::string file;              // dump: the packet; export and reports: the dispositions folder;
                                   // history --file: the file to write
    std::string bank;              // --bank (UTF-8, as typed)
    std::string output;            // --output (optional for check)
    std::optional<std::string> layouts;     // --layouts
    std::optional<std::string> mainFolder;  // --main-folder
    std::optional<std::string> regional;    // --regional
    std::optional<std::string> xsdDir;      // --xsd-dir
    std::vector<std::pair<std::string, std::string>> sets;  // --set FIELD=VALUE, in order
    bool all = false;  // --all
    bool yes = false;  // --yes
    std::optional<std::int64_t> show;      // history --show ID
    std::optional<std::int64_t> keptFile;  // history --file ID
};

// Reads argv[1..]; UsageError for anything it cannot accept. Missing required
// options are reported unless help was asked for.
Arguments parseArguments(int argc, const char* const* argv);

// The general help (empty name) or the help of one subcommand.
std::string helpText(const std::string& commandName);

}  // namespace doz::cli
