// Linked into the self-check program, exhausts the heap just as the validator
// starts building its first error: case 1 builds a record and validates it
// without allocating, case 2 builds a record, so the next allocation after
// two records is the validator's. What a record costs depends on the platform's
// string buffers, so it is measured here, before main.
#include <cstdint>

#include "allocation_control_test_support.h"
#include "settings/config.h"

namespace {

bool exhaustHeapInSecondValidation() {
    const std::uint64_t before = heapAllocationCount();
    { const settings::Config probe; }
    const std::uint64_t perRecord = heapAllocationCount() - before;
    failAllocationsAfter(2 * perRecord);
    return true;
}

[[maybe_unused]] const bool kArmed = exhaustHeapInSecondValidation();

}  // namespace
