// The heap's request for large pages: the reserve is advised as a whole and
// the heap keeps serving blocks from it.
#include "platform/Memory.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace doz {
namespace {

// The largest part of the heap marked for large pages, in KB.
long largestAdvisedHeapKb() {
    std::ifstream smaps("/proc/self/smaps");
    std::string line;
    bool heap = false;
    long size = 0, best = 0;
    while (std::getline(smaps, line)) {
        if (line.find('-') < line.find(' ')) heap = line.ends_with("[heap]");
        else if (heap && line.starts_with("Size:")) size = std::atol(line.c_str() + 5);
        else if (heap && line.starts_with("VmFlags:") && line.find(" hg") != std::string::npos && size > best) best = size;
    }
    return best;
}

TEST(Memory, TheHeapReserveAsksForLargePages) {
    if (!preferLargeHeapPages(std::size_t{64} << 20)) GTEST_SKIP() << "no large pages for the heap here";
    EXPECT_GE(largestAdvisedHeapKb(), 60 * 1024);
    std::vector<char*> blocks;
    for (int k = 0; k < 2000; ++k) {
        blocks.push_back(static_cast<char*>(std::malloc(16 * 1024)));
        ASSERT_NE(blocks.back(), nullptr);
        std::memset(blocks.back(), k & 0xFF, 16 * 1024);
    }
    for (int k = 0; k < 2000; ++k) EXPECT_EQ(blocks[k][16 * 1024 - 1], static_cast<char>(k & 0xFF));
    for (char* b : blocks) std::free(b);
}

}  // namespace
}  // namespace doz
