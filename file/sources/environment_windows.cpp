// The environment is UTF-16; the narrow one the C runtime keeps is in the ANSI
// code page, which cannot hold every value. A lone surrogate becomes U+FFFD.
#include <windows.h>

#include <cwchar>
#include <string>

#include "settings/sources.h"

namespace settings {

std::vector<std::string> processEnvironment() {
    std::vector<std::string> variables;
    wchar_t* const block = GetEnvironmentStringsW();
    if (block == nullptr) {
        return variables;
    }
    // The block is variables ended by L'\0', then one more L'\0'.
    for (const wchar_t* entry = block; *entry != L'\0'; entry += std::wcslen(entry) + 1) {
        const int wide = static_cast<int>(std::wcslen(entry));
        const int size = WideCharToMultiByte(CP_UTF8, 0, entry, wide, nullptr, 0, nullptr, nullptr);
        std::string utf8(static_cast<std::size_t>(size), '\0');
        static_cast<void>(WideCharToMultiByte(CP_UTF8, 0, entry, wide, utf8.data(), size, nullptr, nullptr));
        variables.push_back(std::move(utf8));
    }
    static_cast<void>(FreeEnvironmentStringsW(block));
    return variables;
}

}  // namespace settings
