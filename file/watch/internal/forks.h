// What the library must do when a process forks (POSIX): a watch's thread
// is not copied into the child, and its locks may be held at that moment.
// Internal to the settings-file library; each platform has its source
// (forks_posix.cpp, forks_windows.cpp).
#pragma once

namespace settings::file_internal {

// Has `prepare` called in the parent before each fork, `parent` in it after,
// and `child` in the new process, each on the thread that forked. Windows
// has no fork: nothing is ever called.
void onEveryFork(void (*prepare)(), void (*parent)(), void (*child)());

}  // namespace settings::file_internal
