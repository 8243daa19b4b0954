// What every command that reads settings is asked for: the output format,
// and the environment and the --set overrides judged on top of each file.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "given_file.h"
#include "settings/sources.h"

namespace command {

enum class Format { text, json, sarif, github };

// What a run checks or explains against: the environment (unless --no-env)
// and the --set overrides, on top of each file.
struct Request {
    Format format = Format::text;
    std::vector<std::string> environment;
    std::vector<std::string> overrides;
};

// The sources of `request`, with `file` under them (none: no settings file).
settings::SettingsSources sourcesWith(std::optional<GivenFile> file, const Request& request);

// The text of the sources' file; empty without one.
std::string_view fileTextOf(const settings::SettingsSources& sources);

}  // namespace command
