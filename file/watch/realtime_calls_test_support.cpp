#include "file/watch/realtime_calls_test_support.h"

#include <dlfcn.h>
#include <pthread.h>

#include <atomic>
#include <cstdlib>
#include <ctime>

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

// Counts a call made on a thread marked real-time, and passes on `argument`.
template <typename Argument>
Argument counted(Argument argument) {
    if (realtimeThread) {
        forbidden.fetch_add(1, std::memory_order_relaxed);
    }
    return argument;
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

std::atomic<int (*)(pthread_mutex_t*)> mutexLock{nullptr};
std::atomic<int (*)(pthread_cond_t*, pthread_mutex_t*)> conditionWait{nullptr};
std::atomic<int (*)(pthread_rwlock_t*)> readLock{nullptr};
std::atomic<int (*)(pthread_rwlock_t*)> writeLock{nullptr};
std::atomic<int (*)(const timespec*, timespec*)> sleepFor{nullptr};

}  // namespace

namespace settings::test {

void markRealtimeThread(bool realtime) { realtimeThread = realtime; }
std::uint64_t forbiddenCalls() { return forbidden.load(); }
void resetForbiddenCalls() { forbidden = 0; }

}  // namespace settings::test

// operator new and delete call these, in libstdc++ and in libc++ alike.
extern "C" void* malloc(std::size_t size) { return __libc_malloc(counted(size)); }
extern "C" void* calloc(std::size_t count, std::size_t size) { return __libc_calloc(counted(count), size); }
extern "C" void* realloc(void* memory, std::size_t size) { return __libc_realloc(counted(memory), size); }
extern "C" void free(void* memory) { __libc_free(memory == nullptr ? memory : counted(memory)); }

extern "C" int pthread_mutex_lock(pthread_mutex_t* mutex) {
    return next(mutexLock, "pthread_mutex_lock")(counted(mutex));
}
extern "C" int pthread_cond_wait(pthread_cond_t* condition, pthread_mutex_t* mutex) {
    return next(conditionWait, "pthread_cond_wait")(counted(condition), mutex);
}
extern "C" int pthread_rwlock_rdlock(pthread_rwlock_t* lock) {
    return next(readLock, "pthread_rwlock_rdlock")(counted(lock));
}
extern "C" int pthread_rwlock_wrlock(pthread_rwlock_t* lock) {
    return next(writeLock, "pthread_rwlock_wrlock")(counted(lock));
}
extern "C" int nanosleep(const timespec* duration, timespec* left) {
    return next(sleepFor, "nanosleep")(counted(duration), left);
}
// NOLINTEND(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp,readability-inconsistent-declaration-parameter-name)
