// The listing of a layered set, as an edit that may make a new drop-in sees
// it. Internal to the settings-file library.
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

#include "settings/layers.h"

namespace settings::file_internal {

// NAME.toml, NAME not empty and not starting with ".".
bool isDropInName(std::string_view name);

// listSettingsLayers, with `assumed` (FOLDER/NAME.toml, FOLDER one of the set,
// or a file of the set) listed as if it were there.
std::vector<SettingsLayer> listLayersAssuming(const std::vector<std::filesystem::path>& paths,
                                              const std::optional<std::filesystem::path>& assumed);

// Whether two paths end in the same name, as the system compares names.
bool sameDropInName(const std::filesystem::path& a, const std::filesystem::path& b);

// readSettingsLayers, with the layer at `replacement`'s name (a path in
// UTF-8) taken from it rather than read: the set as an edit would leave it.
std::vector<SettingsFileText> readLayersReplacing(const std::vector<SettingsLayer>& layers,
                                                  const std::optional<SettingsFileText>& replacement);

// Whether two paths name one file or folder, whether or not it exists yet:
// compared once made absolute and free of links, "." and "..".
bool sameLayerPath(const std::filesystem::path& a, const std::filesystem::path& b);

}  // namespace settings::file_internal
