// What every command that reads settings is asked for: the output format,
// and the environment and the --set overrides judged on top of each file.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "diagnostics.h"
#include "given_file.h"
#include "settings/sources.h"

namespace command {

enum class Format { text, json, sarif, github };

// What a run checks or explains against: the layered set of --layer, the
// environment (unless --no-env) and the --set overrides.
struct Request {
    Format format = Format::text;
    std::vector<std::string> environment;
    std::vector<std::string> overrides;
    std::vector<std::string> layers;  // paths as given, lowest first
};

// The sources of `request`, with `file` on top of its layers (none: no settings file).
settings::SettingsSources sourcesWith(std::optional<GivenFile> file, const Request& request);

// The layers' paths, as the library takes them.
std::vector<std::filesystem::path> layerPaths(const std::vector<std::string>& layers);

// The name and text of each file of the sources: the layers', then the file's.
std::vector<NamedText> textsOf(const settings::SettingsSources& sources);

}  // namespace command
