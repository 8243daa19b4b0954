// Allocation failures while an error is built leave validate and validateAll
// as std::bad_alloc: neither catches anything. Its own program, because the
// allocator it needs replaces the global operator new.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <new>
#include <optional>
#include <utility>
#include <vector>

#include "allocation_control_test_support.h"
#include "settings/validation.h"

namespace settings {
namespace {

// Whether `call` leaves by std::bad_alloc when only `successes` allocations succeed.
template <typename Call>
bool throwsBadAlloc(Call call, std::uint64_t successes) {
    failAllocationsAfter(successes);
    bool threw = false;
    try {
        static_cast<void>(call());
    } catch (const std::bad_alloc&) {
        threw = true;
    }
    failAllocationsAfter(std::nullopt);
    return threw;
}

// Fails each allocation `call` makes in turn, and expects every one to
// propagate; returns how many there were. (Where strings hold short texts
// inline, as libc++'s hold 22 characters, a short error needs none.)
template <typename Call>
std::uint64_t expectEveryFailurePropagates(Call call) {
    const std::uint64_t before = heapAllocationCount();
    static_cast<void>(call());
    const std::uint64_t allocations = heapAllocationCount() - before;
    for (std::uint64_t successes = 0; successes < allocations; ++successes) {
        EXPECT_TRUE(throwsBadAlloc(call, successes)) << "allocation " << successes + 1 << " of " << allocations;
    }
    return allocations;
}

using Change = void (*)(Config&);

// A record breaking each rule in turn: every way of building a message.
const std::vector<Change> kBreakEachRule = {
    [](Config& c) { c.version = 0; },
    [](Config& c) { c.audio.deviceNamePattern.clear(); },
    [](Config& c) { c.audio.bufferSizeMs = 0; },
    [](Config& c) { c.detection.sensitivity = std::numeric_limits<float>::max(); },
    [](Config& c) { c.detection.minDurationMs = 0; },
    [](Config& c) { c.detection.cooldownMs = 0; },
    [](Config& c) { c.detection.fftSize = 0; },
    [](Config& c) { c.detection.fftSize = 1000; },
    [](Config& c) { c.training.dataFile.clear(); },
};

TEST(AllocationFailure, LeavesValidateAsBadAlloc) {
    std::uint64_t allocations = 0;
    for (std::size_t rule = 0; rule < kBreakEachRule.size(); ++rule) {
        SCOPED_TRACE(rule + 1);
        Config config;
        kBreakEachRule[rule](config);
        allocations += expectEveryFailurePropagates([&] { return validate(config); });
    }
    EXPECT_GT(allocations, 0U);
}

TEST(AllocationFailure, LeavesValidateAllAsBadAlloc) {
    for (std::size_t rule = 0; rule < kBreakEachRule.size(); ++rule) {
        SCOPED_TRACE(rule + 1);
        Config config;
        kBreakEachRule[rule](config);
        expectEveryFailurePropagates([&] { return validateAll(config); });
    }
    // Several errors: a failure while the list grows propagates too.
    const Config everythingWrong{0, {L"", L"", -1}, {-1.0F, -1, -1, -1}, {}, {""}};
    expectEveryFailurePropagates([&] { return validateAll(everythingWrong); });
}

// A valid record needs no memory, so it validates on an exhausted heap.
TEST(AllocationFailure, ValidRecordNeedsNoAllocation) {
    const Config config;
    EXPECT_FALSE(throwsBadAlloc([&] { return validate(config); }, 0));
    EXPECT_FALSE(throwsBadAlloc([&] { return validateAll(config); }, 0));
}

}  // namespace
}  // namespace settings
