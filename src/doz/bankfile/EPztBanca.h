#pragma once

#include "platform/Error.h"

namespace doz {

// The error of the validation rules: a message for the user, nothing more.
class EPztBanca : public Error {
public:
    using Error::Error;
};

}  // namespace doz
