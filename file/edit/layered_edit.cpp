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

}  // namespace

std::optional<std::string> file_internal::outsideLayers(const std::filesystem::path& path,
                                                        const std::vector<std::filesystem::path>& layers) {
    const std::vector<SettingsLayer> listed = listLayersAssuming(layers, path);
    if (std::any_of(listed.begin(), listed.end(),
                    [&](const SettingsLayer& layer) { return sameLayerPath(layer.path, path); })) {
        return std::nullopt;
    }
    // A drop-in of the set that is not read: a later folder's of that name is.
    const auto replacing = std::find_if(listed.begin(), listed.end(), [&](const SettingsLayer& layer) {
        return isDropInName(utf8Name(path.filename())) && !layer.problem &&
               sameLayerPath(layer.path.parent_path() / path.filename(), layer.path) &&
               std::any_of(layers.begin(), layers.end(), [&](const std::filesystem::path& folder) {
                   return sameLayerPath(folder, path.parent_path());
               });
    });
    if (replacing != listed.end()) {
        return concatenate({"is replaced by ", utf8Name(replacing->path), ", a drop-in of a later folder of the set"});
    }
    return std::string(kNotALayer);
}

void file_internal::judgeInLayers(FileEdit& edit, const std::filesystem::path& path, const FileEditOptions& options) {
    const std::string name = utf8Name(path);
    SettingsSources sources;
    sources.environment = options.environment;
    sources.overrides = options.overrides;
    for (const SettingsLayer& layer : listLayersAssuming(options.layers, path)) {
        if (sameLayerPath(layer.path, path)) {
            sources.layers.push_back({name, {edit.text, std::nullopt}});
        } else {
            std::vector<SettingsFileText> read = readSettingsLayers({layer});
            std::move(read.begin(), read.end(), std::back_inserter(sources.layers));
        }
    }
    LoadedSettings loaded = loadSettings(sources);
    // The edit's own problems (of its edits) stay; the set's replace the file's.
    std::vector<SourcedProblem> problems;
    for (SourcedProblem& problem : loaded.problems) {
        if (problem.source.kind == SourceKind::file) {
            problems.push_back(std::move(problem));
        }
    }
    for (SourcedProblem& problem : edit.problems) {
        if (problem.source != Source{SourceKind::file, name}) {
            problems.push_back(std::move(problem));
        }
    }
    edit.problems = std::move(problems);
    if (anyError(edit.problems)) {
        edit.changes.clear();
        return;
    }
    for (const SettingChange& change : edit.changes) {
        const std::vector<SettingValue>& values = loaded.values.at(rowOf(change.keyPath));
        if (!values.empty() && values.back().source != Source{SourceKind::file, name}) {
            edit.overridden.push_back({change.keyPath, values.back()});
        }
    }
}

}  // namespace settings
