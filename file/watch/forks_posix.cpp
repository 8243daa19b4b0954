#include <pthread.h>

#include "file/watch/internal/forks.h"

namespace settings::file_internal {

void onEveryFork(void (*prepare)(), void (*parent)(), void (*child)()) {
    static_cast<void>(::pthread_atfork(prepare, parent, child));
}

}  // namespace settings::file_internal
