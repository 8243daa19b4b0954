// An edit of one file of a layered set, judged with the whole set. Internal
// to the settings-file library.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "settings/edit.h"

namespace settings::file_internal {

// Why the file at `path` is not one an edit of the set `layers` may make or
// change, if it is not: neither a file of the set nor NAME.toml in one of its
// folders, or a drop-in that a later folder's of the same name replaces.
std::optional<std::string> outsideLayers(const std::filesystem::path& path,
                                         const std::vector<std::filesystem::path>& layers);

// The edit's new text judged in the set, as it would be read: the set's
// problems, each file's in the order of the layers, become the edit's, and
// `overridden` says which changes a later source overrides.
void judgeInLayers(FileEdit& edit, const std::filesystem::path& path, const FileEditOptions& options);

}  // namespace settings::file_internal
