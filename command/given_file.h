// A settings file as the command line names it: a path in UTF-8, or "-" for
// standard input.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>

#include "settings/read.h"

namespace command {

// A file as given on the command line: "-" is standard input, named "<stdin>".
inline constexpr std::string_view kStandardInput = "-";

struct GivenFile {
    std::string name;  // as given, or "<stdin>"
    settings::SettingsText text;
};

GivenFile readGivenFile(const std::string& argument, std::FILE* standardInput);

// The path of an argument, which is UTF-8.
std::filesystem::path pathOf(const std::string& argument);

}  // namespace command
