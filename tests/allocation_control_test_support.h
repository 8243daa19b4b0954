// A replaced global operator new for tests and benchmarks: it counts heap
// allocations and, on demand, fails them with std::bad_alloc as an exhausted
// heap would. Link allocation_control_test_support.cpp into the program to use it.
#pragma once

#include <cstdint>
#include <optional>

// Calls of operator new since the program started.
std::uint64_t heapAllocationCount();

// Lets `successes` more allocations succeed and fails every later one;
// std::nullopt, the state at start-up, lets every allocation succeed.
void failAllocationsAfter(std::optional<std::uint64_t> successes);
