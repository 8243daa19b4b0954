#include "commands.h"
#include "explanation.h"

namespace checker {

int explain(const std::optional<std::string>& file, const std::vector<std::string>& keys, const Request& request,
            Outputs& streams) {
    std::optional<LoadedFile> loadedFile;
    if (file) {
        loadedFile = load(*file, streams.in);
    }
    const settings::SettingsSources sources = sourcesWith(std::move(loadedFile), request);
    const settings::LoadedSettings loaded = settings::loadSettings(sources);
    if (request.format == Format::json) {
        streams.out.write(jsonExplanation(keys, loaded));
    } else {
        streams.out.write(textExplanation(keys, loaded));
        writeText(streams.err, loaded.problems, fileTextOf(sources));
    }
    return statusOf(loaded.problems);
}

}  // namespace checker
