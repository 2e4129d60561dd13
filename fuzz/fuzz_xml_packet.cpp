// libFuzzer entry point; the body is doz::fuzz::xmlPacket (FuzzTargets.h).
#include "FuzzTargets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    doz::fuzz::xmlPacket(data, size);
    return 0;
}
