// The history subcommand: the register of produced files, one file's
// payments, and a kept file written again.
#pragma once

#include "Arguments.h"

namespace doz::cli {

int runHistory(const Arguments& args);

}  // namespace doz::cli
