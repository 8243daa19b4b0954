#include "file/watch/realtime_calls_test_support.h"

#include <dlfcn.h>
#include <pthread.h>

#include <atomic>
#include <cstdlib>
#include <ctime>
#include <new>

// glibc's allocator under its own names, so that malloc and free can be
// replaced without dlsym, which allocates. The replacements below take the
// system's declarations, whose parameters have reserved names.
// NOLINTBEGIN(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp,readability-inconsistent-declaration-parameter-name)
extern "C" void* __libc_malloc(std::size_t size);
extern "C" void* __libc_calloc(std::size_t count, std::size_t size);
extern "C" void* __libc_realloc(void* memory, std::size_t size);
extern "C" void __libc_free(void* memory);

namespace {

thread_local bool realtimeThread = false;
std::atomic<std::uint64_t> forbidden{0};

void forbiddenOnRealtimeThreads() {
    if (realtimeThread) {
        forbidden.fetch_add(1, std::memory_order_relaxed);
    }
}

// The system's function of that name, found once. Not a function's static:
// libc++abi guards those with pthread_mutex_lock, which would call this
// again before it has an answer.
template <typename Function>
Function next(std::atomic<Function>& found, const char* name) {
    Function function = found.load(std::memory_order_acquire);
    if (function == nullptr) {
        function = reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
        found.store(function, std::memory_order_release);
    }
    return function;
}

std::atomic<int (*)(pthread_mutex_t*)> systemMutexLock{nullptr};
std::atomic<int (*)(pthread_cond_t*, pthread_mutex_t*)> systemConditionWait{nullptr};
std::atomic<int (*)(pthread_rwlock_t*)> systemReadLock{nullptr};
std::atomic<int (*)(pthread_rwlock_t*)> systemWriteLock{nullptr};
std::atomic<int (*)(const timespec*, timespec*)> systemSleep{nullptr};

}  // namespace

namespace settings::test {

void markRealtimeThread(bool realtime) { realtimeThread = realtime; }
std::uint64_t forbiddenCalls() { return forbidden.load(); }
void resetForbiddenCalls() { forbidden = 0; }

}  // namespace settings::test

extern "C" void* malloc(std::size_t size) {
    forbiddenOnRealtimeThreads();
    return __libc_malloc(size);
}

extern "C" void* calloc(std::size_t count, std::size_t size) {
    forbiddenOnRealtimeThreads();
    return __libc_calloc(count, size);
}

extern "C" void* realloc(void* memory, std::size_t size) {
    forbiddenOnRealtimeThreads();
    return __libc_realloc(memory, size);
}

extern "C" void free(void* memory) {
    if (memory != nullptr) {
        forbiddenOnRealtimeThreads();
    }
    __libc_free(memory);
}

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
    return next(systemMutexLock, "pthread_mutex_lock")(mutex);
}

extern "C" int pthread_cond_wait(pthread_cond_t* condition, pthread_mutex_t* mutex) {
    forbiddenOnRealtimeThreads();
    return next(systemConditionWait, "pthread_cond_wait")(condition, mutex);
}

extern "C" int pthread_rwlock_rdlock(pthread_rwlock_t* lock) {
    forbiddenOnRealtimeThreads();
    return next(systemReadLock, "pthread_rwlock_rdlock")(lock);
}

extern "C" int pthread_rwlock_wrlock(pthread_rwlock_t* lock) {
    forbiddenOnRealtimeThreads();
    return next(systemWriteLock, "pthread_rwlock_wrlock")(lock);
}

extern "C" int nanosleep(const timespec* duration, timespec* left) {
    forbiddenOnRealtimeThreads();
    return next(systemSleep, "nanosleep")(duration, left);
}
// NOLINTEND(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp,readability-inconsistent-declaration-parameter-name)
