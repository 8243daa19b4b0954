// The files of a layered set: the files given, then the drop-ins of the
// folders, merged by name.
#include "settings/layers.h"

#include <algorithm>
#include <map>
#include <string>
#include <system_error>
#include <utility>

#include "file/base/internal/access.h"
#include "file/base/internal/path_names.h"
#include "file/sources/internal/layers.h"
#include "settings/message_text.h"

namespace settings {

using namespace file_internal;
namespace {

constexpr std::string_view kDropInSuffix = ".toml";
constexpr std::string_view kFileNotFolder = "is a file, not a drop-in folder";

// The key under which drop-ins of several folders are one: the name, folded
// to ASCII lower case where the system folds names.
std::string nameKey(std::string name) {
    if (!kCaseSensitiveFileNames) {
        std::transform(name.begin(), name.end(), name.begin(),
                       [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
    }
    return name;
}

FileProblem fileProblem(std::string message) { return {{}, ProblemKind::file, std::move(message), 0, 0}; }

// "x.toml/": a file named, by its last separator, as a folder.
bool fileGivenAsFolder(const std::filesystem::path& path) {
    if (path.has_filename()) {
        return false;
    }
    const std::filesystem::path named = path.parent_path();
    return lookAtFile(named).kind == FileKind::regular;
}

// Whether `assumed` is a drop-in of `folder`.
bool assumedIn(const std::optional<std::filesystem::path>& assumed, const std::filesystem::path& folder) {
    if (!assumed) {
        return false;
    }
    const std::filesystem::path parent = assumed->parent_path();
    return sameLayerPath(parent, folder);
}

}  // namespace

bool file_internal::isDropInName(std::string_view name) {
    return name.size() > kDropInSuffix.size() && name.front() != '.' && name.ends_with(kDropInSuffix);
}

bool file_internal::sameDropInName(const std::filesystem::path& a, const std::filesystem::path& b) {
    return nameKey(utf8Name(a.filename())) == nameKey(utf8Name(b.filename()));
}

bool file_internal::sameLayerPath(const std::filesystem::path& a, const std::filesystem::path& b) {
    std::error_code error;
    const std::filesystem::path first = std::filesystem::weakly_canonical(std::filesystem::absolute(a, error), error);
    const std::filesystem::path second = std::filesystem::weakly_canonical(std::filesystem::absolute(b, error), error);
    if (kCaseSensitiveFileNames) {
        return first == second;
    }
    return nameKey(utf8Name(first)) == nameKey(utf8Name(second));  // GCOVR_EXCL_LINE: Windows
}

std::vector<SettingsLayer> file_internal::listLayersAssuming(const std::vector<std::filesystem::path>& paths,
                                                             const std::optional<std::filesystem::path>& assumed) {
    std::vector<SettingsLayer> layers;
    // By name key: the drop-in of the last folder, and its name.
    std::map<std::string, std::pair<std::string, std::filesystem::path>> dropIns;
    for (const std::filesystem::path& path : paths) {
        if (fileGivenAsFolder(path)) {
            layers.push_back({path, fileProblem(std::string(kFileNotFolder))});
            continue;
        }
        const bool isAssumed = assumed && sameLayerPath(path, *assumed);
        const FileKind kind = isAssumed ? FileKind::regular : lookAtFile(path).kind;
        if (kind == FileKind::missing) {
            continue;
        }
        if (kind != FileKind::directory) {
            layers.push_back({path, std::nullopt});  // a FIFO or a device too: its reading says what it is
            continue;
        }
        std::error_code error;
        std::vector<std::filesystem::path> entries;
        for (std::filesystem::directory_iterator it(path, error), end; !error && it != end; it.increment(error)) {
            entries.push_back(it->path().filename());
        }
        if (error) {
            layers.push_back({path, fileProblem(concatenate({kCannotRead, ": ", error.message()}))});
            continue;
        }
        if (assumedIn(assumed, path)) {
            entries.push_back(assumed->filename());
        }
        for (const std::filesystem::path& entry : entries) {
            std::string name = utf8Name(entry);
            if (isDropInName(name)) {
                std::string key = nameKey(name);
                dropIns.insert_or_assign(std::move(key), std::pair(std::move(name), path / entry));
            }
        }
    }
    std::vector<std::pair<std::string, std::filesystem::path>> ordered;
    ordered.reserve(dropIns.size());
    for (auto& [key, dropIn] : dropIns) {
        ordered.push_back(std::move(dropIn));
    }
    std::sort(ordered.begin(), ordered.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (auto& [name, path] : ordered) {
        layers.push_back({std::move(path), std::nullopt});
    }
    return layers;
}

std::vector<SettingsLayer> listSettingsLayers(const std::vector<std::filesystem::path>& paths) {
    return listLayersAssuming(paths, std::nullopt);
}

std::vector<SettingsFileText> readSettingsLayers(const std::vector<SettingsLayer>& layers) {
    return readLayersReplacing(layers, std::nullopt);
}

std::vector<SettingsFileText> file_internal::readLayersReplacing(const std::vector<SettingsLayer>& layers,
                                                                 const std::optional<SettingsFileText>& replacement) {
    std::vector<SettingsFileText> texts;
    texts.reserve(layers.size());
    std::filesystem::path replaced;
    if (replacement) {
        replaced = pathOfUtf8(replacement->name);
    }
    for (const SettingsLayer& layer : layers) {
        SettingsText content;
        if (replacement && sameLayerPath(layer.path, replaced)) {
            texts.push_back(*replacement);
            continue;
        }
        if (layer.problem) {
            content.problem = layer.problem;
        } else {
            content = readSettingsText(layer.path, Opening::regularOnly);
            if (content.problem && content.problem->message == kNoSuchFile) {
                continue;
            }
        }
        texts.push_back({utf8Name(layer.path), std::move(content)});
    }
    return texts;
}

}  // namespace settings
