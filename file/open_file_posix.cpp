// Paths are bytes, as the C library takes them.
#include "settings/internal/open_file.h"

namespace settings {

OpenFile openForReading(const std::filesystem::path& path) { return OpenFile(std::fopen(path.c_str(), "rb")); }

}  // namespace settings
