// The environment is bytes, which settings take as UTF-8.
#include "settings/sources.h"

extern char** environ;  // POSIX: the process environment, ended by a null pointer

namespace settings {

std::vector<std::string> processEnvironment() {
    std::vector<std::string> variables;
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {
        variables.emplace_back(*entry);
    }
    return variables;
}

}  // namespace settings
