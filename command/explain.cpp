#include "explanation.h"
#include "subcommands.h"

namespace command {

int explain(const std::optional<std::string>& file, const std::vector<std::string>& keys, const Request& request,
            Streams& streams) {
    std::optional<GivenFile> givenFile;
    if (file) {
        givenFile = readGivenFile(*file, streams.in);
    }
    const settings::SettingsSources sources = sourcesWith(std::move(givenFile), request);
    const settings::LoadedSettings loaded = settings::loadSettings(sources);
    if (request.format == Format::json) {
        streams.out.write(jsonExplanation(keys, loaded));
    } else {
        streams.out.write(textExplanation(keys, loaded));
        writeText(streams.err, loaded.problems, textsOf(sources));
    }
    return statusOf(loaded.problems);
}

}  // namespace command
