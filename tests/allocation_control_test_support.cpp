// Its own translation unit, so that the replaced operators are never inlined
// into their callers, where the compiler would pair new and delete wrongly.
#include "allocation_control_test_support.h"

#include <cstdlib>
#include <new>

namespace {
std::uint64_t allocations = 0;
std::optional<std::uint64_t> allocationsLeft;
}  // namespace

std::uint64_t heapAllocationCount() { return allocations; }

void failAllocationsAfter(std::optional<std::uint64_t> successes) { allocationsLeft = successes; }

void* operator new(std::size_t size) {
    if (allocationsLeft) {
        if (*allocationsLeft == 0) {
            throw std::bad_alloc();
        }
        --*allocationsLeft;
    }
    ++allocations;
    if (void* memory = std::malloc(size == 0 ? 1 : size)) {
        return memory;
    }
    throw std::bad_alloc();
}

void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t /*size*/) noexcept { std::free(memory); }
