// How the program's heap takes memory from the system.
#pragma once

#include <cstddef>

namespace doz {

// Lets the system back the main heap with large pages where it allows them
// (transparent huge pages on request). The dispositions tables fill a few
// hundred MB of heap; taken 4 KB at a time, every first touch of a page is a
// fault, and on a virtual machine each costs microseconds. Reserves `reserve`
// bytes of addresses for the heap (addresses only: memory is taken when first
// written), asks for large pages on them and keeps the heap from shrinking,
// so that the request stays on the whole range. Past the range the heap grows
// as usual. Call it first thing in main, before any other thread starts.
// False when nothing was changed (no large pages, or the heap could not grow).
bool preferLargeHeapPages(std::size_t reserve = std::size_t{512} << 20);

}  // namespace doz
