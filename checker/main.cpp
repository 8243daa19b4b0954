// The program's entry where arguments arrive as UTF-8 (POSIX systems).
#include <string>
#include <vector>

#include "command.h"
#include "settings/sources.h"

int main(int argc, char** argv) {
    return checker::run(std::vector<std::string>(argv, argv + argc), settings::processEnvironment());
}
