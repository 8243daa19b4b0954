// The program's entry where arguments arrive as UTF-8 (POSIX systems).
#include <csignal>
#include <string>
#include <vector>

#include "run.h"
#include "settings/sources.h"

int main(int argc, char** argv) {
    // A reader that has gone makes a write fail, as any failed write does (status 2), rather than end the program.
    static_cast<void>(std::signal(SIGPIPE, SIG_IGN));
    return command::run(std::vector<std::string>(argv, argv + argc), settings::processEnvironment());
}
