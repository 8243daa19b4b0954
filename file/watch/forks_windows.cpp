#include "file/watch/internal/forks.h"

namespace settings::file_internal {

void onEveryFork(void (* /*prepare*/)(), void (* /*parent*/)(), void (* /*child*/)()) {}

}  // namespace settings::file_internal
