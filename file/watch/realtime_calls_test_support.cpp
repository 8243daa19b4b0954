#include "file/watch/realtime_calls_test_support.h"

#include <dlfcn.h>
#include <pthread.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

thread_local bool realtimeThread = false;
std::atomic<std::uint64_t> forbidden{0};

void forbiddenOnRealtimeThreads() {
    if (realtimeThread) {
        forbidden.fetch_add(1, std::memory_order_relaxed);
    }
}

using MutexLock = int (*)(pthread_mutex_t*);

// Not a function's static: libc++abi guards those with pthread_mutex_lock,
// which would call this again before it has an answer.
std::atomic<MutexLock> systemLock{nullptr};

MutexLock systemMutexLock() {
    MutexLock lock = systemLock.load(std::memory_order_acquire);
    if (lock == nullptr) {
        lock = reinterpret_cast<MutexLock>(dlsym(RTLD_NEXT, "pthread_mutex_lock"));
        systemLock.store(lock, std::memory_order_release);
    }
    return lock;
}

}  // namespace

namespace settings::test {

void markRealtimeThread(bool realtime) { realtimeThread = realtime; }
std::uint64_t forbiddenCalls() { return forbidden.load(); }
void resetForbiddenCalls() { forbidden = 0; }

}  // namespace settings::test

void* operator new(std::size_t size) {
    forbiddenOnRealtimeThreads();
    if (void* memory = std::malloc(size == 0 ? 1 : size)) {
        return memory;
    }
    throw std::bad_alloc();
}

void operator delete(void* memory) noexcept {
    if (memory != nullptr) {
        forbiddenOnRealtimeThreads();
    }
    std::free(memory);
}

void operator delete(void* memory, std::size_t /*size*/) noexcept { operator delete(memory); }

extern "C" int pthread_mutex_lock(pthread_mutex_t* mutex) {
    forbiddenOnRealtimeThreads();
    return systemMutexLock()(mutex);
}
