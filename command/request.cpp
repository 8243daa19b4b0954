#include "request.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "settings/layers.h"

namespace command {

settings::SettingsSources sourcesWith(std::optional<GivenFile> file, const Request& request) {
    settings::SettingsSources sources;
    sources.environment = request.environment;
    sources.overrides = request.overrides;
    sources.layers = settings::readSettingsLayers(settings::listSettingsLayers(layerPaths(request.layers)));
    if (file) {
        sources.file = settings::SettingsFileText{std::move(file->name), std::move(file->text)};
    }
    return sources;
}

std::vector<std::filesystem::path> layerPaths(const std::vector<std::string>& layers) {
    std::vector<std::filesystem::path> paths;
    std::transform(layers.begin(), layers.end(), std::back_inserter(paths), pathOf);
    return paths;
}

std::vector<NamedText> textsOf(const settings::SettingsSources& sources) {
    std::vector<NamedText> texts;
    for (const settings::SettingsFileText& layer : sources.layers) {
        texts.push_back({layer.name, layer.content.text});
    }
    if (sources.file) {
        texts.push_back({sources.file->name, sources.file->content.text});
    }
    return texts;
}

}  // namespace command
