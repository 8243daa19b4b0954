// An edit of one file of a layered set: the file must be one the set reads,
// and the set as it would be after the edit must have no error.
#include "file/edit/internal/layered_edit.h"

#include <algorithm>
#include <utility>

#include "file/base/internal/path_names.h"
#include "file/sources/internal/layers.h"
#include "settings/message_text.h"

namespace settings {

using namespace file_internal;
namespace {

constexpr std::string_view kNotALayer =
    "is neither a file of the layered set nor a drop-in (NAME.toml) of one of its folders";

// Whether `path` is NAME.toml in one of the set's paths.
bool inAFolderOf(const std::filesystem::path& path, const std::vector<std::filesystem::path>& layers) {
    const std::string name = utf8Name(path.filename());
    if (!isDropInName(name)) {
        return false;
    }
    const std::filesystem::path folder = path.parent_path();
    return std::any_of(layers.begin(), layers.end(),
                       [&](const std::filesystem::path& layer) { return sameLayerPath(layer, folder); });
}

}  // namespace

std::optional<std::string> file_internal::outsideLayers(const std::filesystem::path& path,
                                                        const std::vector<std::filesystem::path>& layers) {
    const std::vector<SettingsLayer> listed = listLayersAssuming(layers, path);
    if (std::any_of(listed.begin(), listed.end(),
                    [&](const SettingsLayer& layer) { return sameLayerPath(layer.path, path); })) {
        return std::nullopt;
    }
    // A drop-in of the set that is not read: a later folder's of that name is
    // (unless its folder cannot be listed, which the set's problems tell).
    const auto replacing = std::find_if(listed.begin(), listed.end(),
                                        [&](const SettingsLayer& layer) { return sameDropInName(layer.path, path); });
    if (!inAFolderOf(path, layers) || replacing == listed.end()) {
        return std::string(kNotALayer);
    }
    return concatenate({"is replaced by ", utf8Name(replacing->path), ", a drop-in of a later folder of the set"});
}

void file_internal::judgeInLayers(FileEdit& edit, const std::filesystem::path& path, const FileEditOptions& options) {
    const Source edited{SourceKind::file, utf8Name(path)};
    SettingsSources sources;
    sources.environment = options.environment;
    sources.overrides = options.overrides;
    sources.layers = readLayersReplacing(listLayersAssuming(options.layers, path),
                                         SettingsFileText{edited.name, {edit.text, std::nullopt}});
    LoadedSettings loaded = loadSettings(sources);
    // The set's problems replace the file's own, which are among them; those
    // of the environment and the overrides are not the edit's.
    edit.problems.clear();
    std::copy_if(loaded.problems.begin(), loaded.problems.end(), std::back_inserter(edit.problems),
                 [](const SourcedProblem& problem) { return problem.source.kind == SourceKind::file; });
    if (anyError(edit.problems)) {
        edit.changes.clear();
        return;
    }
    for (const SettingChange& change : edit.changes) {
        const std::vector<SettingValue>& values = loaded.values.at(rowOf(change.keyPath));
        if (!values.empty() && values.back().source != edited) {
            edit.overridden.push_back({change.keyPath, values.back()});
        }
    }
}

}  // namespace settings
