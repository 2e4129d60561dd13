// The subcommands that drive the export window's logic without a screen:
// export, distinta, brogliaccio and log. Each builds a MemoryWindow and the
// window's logic, runs the handlers the user would trigger, and turns the
// outcome into an exit status. Messages go to stderr in UTF-8.
#pragma once

#include "Arguments.h"

namespace doz::cli {

// How runWindowCommand ends: returning its status, or ending the process with
// it at once (the program's main), without freeing the tables one by one.
enum class Leaving { Return, AtOnce };

// export, check, distinta, brogliaccio.
int runWindowCommand(const Arguments& args, Leaving leaving = Leaving::Return);
// Flushes stdout and stderr and ends the process with this status, running no
// destructors and no atexit handlers.
[[noreturn]] void leaveProcess(int status);
int runLog(const Arguments& args);

}  // namespace doz::cli
