#include "request.h"

#include <utility>

namespace command {

settings::SettingsSources sourcesWith(std::optional<GivenFile> file, const Request& request) {
    settings::SettingsSources sources;
    sources.environment = request.environment;
    sources.overrides = request.overrides;
    if (file) {
        sources.file = settings::SettingsFileText{std::move(file->name), std::move(file->text)};
    }
    return sources;
}

std::string_view fileTextOf(const settings::SettingsSources& sources) {
    return sources.file ? std::string_view(sources.file->content.text) : std::string_view();
}

}  // namespace command
