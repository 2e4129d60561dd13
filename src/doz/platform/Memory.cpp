#include "platform/Memory.h"

#include <climits>
#include <cstdint>

#if defined(__GLIBC__)
#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace doz {

bool preferLargeHeapPages(std::size_t reserve) {
#if defined(__GLIBC__) && defined(MADV_HUGEPAGE)
    constexpr std::size_t kLargePage = std::size_t{2} << 20;
    constexpr int kDefaultTopPad = 128 * 1024;
    // Blocks up to 32 MB come from the heap (the limit glibc's own moving
    // threshold reaches); the heap is never trimmed, or a range handed back and
    // taken again would come without the request.
    if (mallopt(M_MMAP_THRESHOLD, 32 << 20) != 1) return false;
    if (mallopt(M_TRIM_THRESHOLD, INT_MAX) != 1) return false;
    // The next growth of the heap takes the whole reserve: ask for one block
    // more than the free space at the top.
    if (reserve > static_cast<std::size_t>(INT_MAX) || mallopt(M_TOP_PAD, static_cast<int>(reserve)) != 1) return false;
    auto* before = static_cast<char*>(sbrk(0));
    void* volatile probe = malloc(mallinfo2().keepcost + 4096);  // volatile: not optimised away with the free
    auto* after = static_cast<char*>(sbrk(0));
    free(probe);
    mallopt(M_TOP_PAD, kDefaultTopPad);
    if (before == reinterpret_cast<char*>(-1) || after == reinterpret_cast<char*>(-1) || after <= before)
        return false;
    const auto first = (reinterpret_cast<std::uintptr_t>(before) + kLargePage - 1) & ~(kLargePage - 1);
    const auto end = reinterpret_cast<std::uintptr_t>(after) & ~(kLargePage - 1);
    if (end <= first) return false;
    return madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE) == 0;
#else
    (void)reserve;
    return false;
#endif
}

}  // namespace doz
