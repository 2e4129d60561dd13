// The subcommands that drive the export window's logic without a screen:
// export, distinta, brogliaccio and log. Each builds a MemoryWindow and the
// window's logic, runs the handlers the user would trigger, and turns the
// outcome into an exit status. Messages go to stderr in UTF-8.
#pragma once

#include "Arguments.h"

namespace doz::cli {

// export, check, distinta, brogliaccio.
int runWindowCommand(const Arguments& args);
int runLog(const Arguments& args);

}  // namespace doz::cli
