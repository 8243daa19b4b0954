// Paths are UTF-16. The standard fopen takes names in the ANSI code page,
// which cannot hold every name; the C runtime's _wfopen takes them whole.
#include <stdio.h>

#include "settings/internal/open_file.h"

namespace settings {

OpenFile openForReading(const std::filesystem::path& path) { return OpenFile(_wfopen(path.c_str(), L"rb")); }

}  // namespace settings
