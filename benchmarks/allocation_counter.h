// Counts heap allocations: the benchmark binary replaces the global operator new.
#pragma once

#include <cstdint>

// Calls of operator new since the program started.
std::uint64_t heapAllocationCount();
