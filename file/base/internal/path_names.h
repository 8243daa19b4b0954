// Paths and their names in UTF-8, as problems and messages name files, on
// every platform. Internal to the settings-file library.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace settings::file_internal {

// The path as problems name their file: as given, in UTF-8.
std::string utf8Name(const std::filesystem::path& path);

// The path of a name in UTF-8.
std::filesystem::path pathOfUtf8(std::string_view utf8);

}  // namespace settings::file_internal
