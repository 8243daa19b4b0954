// The environment is bytes, which settings take as UTF-8.
#include "settings/sources.h"

extern char** environ;  // POSIX: the process environment, ended by a null pointer

namespace settings {

std::vector<std::string> processEnvironment() {
    std::vector<std::string> variables;
    // environ is null only once clearenv() has emptied the environment.
    for (char** entry = environ; entry != nullptr && *entry != nullptr; ++entry) {  // GCOVR_EXCL_BR_LINE
        variables.emplace_back(*entry);
    }
    return variables;
}

}  // namespace settings
