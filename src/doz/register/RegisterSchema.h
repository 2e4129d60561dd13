// How the register's tables came to be: step i brings a register of schema i
// to schema i + 1. A new register runs every step; an older one the steps it
// lacks, all in one transaction.
#pragma once

#include <cstddef>

namespace doz {

class SqliteDatabase;

using RegisterStep = void (*)(SqliteDatabase& db);

// The steps in order; RegisterSteps()[i] leads to schema i + 1.
const RegisterStep* RegisterSteps();
std::size_t RegisterStepCount();

}  // namespace doz
