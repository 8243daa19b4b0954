// Windows hands a program its command line as UTF-16; the command works in
// UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace command {

// `utf16` as UTF-8. A Windows file name may hold a lone surrogate, which no
// UTF-8 can: it becomes U+FFFD, so that the name is reported as one that
// cannot be found rather than ending the program.
std::string utf8FromUtf16(std::u16string_view utf16);

}  // namespace command
