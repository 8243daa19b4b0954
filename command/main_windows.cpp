// The program's entry on Windows. main would receive its arguments in the ANSI
// code page, which cannot hold every file name; wmain receives them as UTF-16,
// which is turned into the UTF-8 the command works in.
#include <cwchar>
#include <string>
#include <vector>

#include "run.h"
#include "settings/sources.h"
#include "wide_arguments.h"

int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int index = 0; index < argc; ++index) {
        const wchar_t* wide = argv[index];
        args.push_back(command::utf8FromUtf16(std::u16string(wide, wide + std::wcslen(wide))));
    }
    return command::run(args, settings::processEnvironment());
}
