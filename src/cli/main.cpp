// pzt-bankfile: the export window's commands from the command line.
//
// Texts written to the terminal are UTF-8; the window's messages are converted
// from Windows-1252 on their way out.
#include <cstdio>
#include <exception>
#include <string>

#include "Arguments.h"
#include "Batch.h"
#include "Dump.h"
#include "History.h"
#include "platform/Ansi.h"
#include "platform/Memory.h"
#include "platform/SystemErrors.h"

namespace {

// The message's first line comes last, as every failure's message does; the
// lines that detail it (the banks or the fields there are) and the pointer to
// the help come before it.
int usageError(const std::string& message) {
    const std::size_t newline = message.find('\n');
    if (newline != std::string::npos) std::fprintf(stderr, "%s\n", message.substr(newline + 1).c_str());
    std::fprintf(stderr, "(pzt-bankfile --help per l'uso)\npzt-bankfile: %s\n", message.substr(0, newline).c_str());
    return doz::cli::kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace doz::cli;
    doz::preferLargeHeapPages();
    try {
        const Arguments args = parseArguments(argc, argv);
        if (args.help) {
            std::fputs(helpText(args.commandName).c_str(), stdout);
            return kExitDone;
        }
        switch (args.command) {
            case Command::Dump: return runDump(args);
            case Command::Log: return runLog(args);
            case Command::History: return runHistory(args);
            case Command::Export:
            case Command::Check:
            case Command::Distinta:
            case Command::Brogliaccio: return runWindowCommand(args, Leaving::AtOnce);
            case Command::Help: break;
        }
        std::fputs(helpText("").c_str(), stdout);
        return kExitDone;
    } catch (const UsageError& e) {
        return usageError(e.what());
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s\n", doz::ansiToUtf8(doz::exceptionText(e)).c_str());
        return kExitFailure;
    }
}
