// What threads marked real-time call that they must not, counted as a
// real-time sanitizer would: malloc, calloc, realloc and free (so operator
// new and delete, which call them), pthread_mutex_lock, pthread_cond_wait,
// the read-write locks and nanosleep. Link realtime_calls_test_support.cpp into the program,
// which replaces them (POSIX, without sanitizers, which replace them first).
#pragma once

#include <cstdint>

namespace settings::test {

// Marks the calling thread real-time, or ordinary again.
void markRealtimeThread(bool realtime);

// Forbidden calls made on threads marked real-time since the last reset.
std::uint64_t forbiddenCalls();
void resetForbiddenCalls();

}  // namespace settings::test
