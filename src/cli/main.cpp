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

namespace {

int usageError(const std::string& message) {
    std::fprintf(stderr, "pzt-bankfile: %s\n(pzt-bankfile --help per l'uso)\n", message.c_str());
    return doz::cli::kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace doz::cli;
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
        std::fprintf(stderr, "%s\n", doz::ansiToUtf8(e.what()).c_str());
        return kExitFailure;
    }
}
