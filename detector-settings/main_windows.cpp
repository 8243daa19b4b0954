// The program's entry on Windows. main would receive its arguments in the ANSI
// code page, which cannot hold every file name; wmain receives them as UTF-16,
// which is turned into the UTF-8 the command works in.
#include <utf8cpp/utf8.h>

#include <cwchar>
#include <iterator>
#include <string>
#include <vector>

#include "command.h"

int wmain(int argc, wchar_t** argv) {
    std::vector<std::string> args;
    for (int index = 0; index < argc; ++index) {
        std::string& arg = args.emplace_back();
        const wchar_t* wide = argv[index];
        utf8::unchecked::utf16to8(wide, wide + std::wcslen(wide), std::back_inserter(arg));
    }
    return detector_settings::run(args);
}
