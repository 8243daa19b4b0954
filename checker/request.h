// What every command that reads settings shares: the output format asked for,
// the environment and the --set overrides judged on top of each file, and
// the exit status that the problems found make.
#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "diagnostics.h"
#include "output.h"
#include "settings/sources.h"

namespace checker {

enum class Format { text, json, sarif, github };

// What a run checks or explains against: the environment (unless --no-env)
// and the --set overrides, on top of each file.
struct Request {
    Format format = Format::text;
    std::vector<std::string> environment;
    std::vector<std::string> overrides;
};

// A file as given on the command line: "-" is standard input, named "<stdin>".
inline constexpr std::string_view kStandardInput = "-";

struct LoadedFile {
    std::string name;  // as given, or "<stdin>"
    settings::SettingsText text;
};

LoadedFile load(const std::string& argument, std::FILE* standardInput);

// The sources of `request`, with `file` under them (none: no settings file).
settings::SettingsSources sourcesWith(std::optional<LoadedFile> file, const Request& request);

// The text of the sources' file; empty without one.
std::string_view fileTextOf(const settings::SettingsSources& sources);

// kAllValid (warnings alone too), kProblemsFound, or kUsageOrFileError when a
// file could not be read.
int statusOf(const std::vector<settings::SourcedProblem>& problems);

// Text diagnostics of every source, with the lines of the file's text.
void writeText(Output& err, const std::vector<settings::SourcedProblem>& problems, std::string_view fileText,
               CommandLineNames names = CommandLineNames::asSetOption);

}  // namespace checker
