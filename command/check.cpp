#include <algorithm>

#include "diagnostics.h"
#include "run.h"
#include "settings/version.h"
#include "subcommands.h"

namespace command {

namespace {

// What check writes of one judging, in any format but JSON.
void writeProblems(const settings::SettingsSources& sources, const settings::LoadedSettings& loaded,
                   const Request& request, Streams& streams, bool& anyResults) {
    if (request.format == Format::sarif) {
        if (!loaded.problems.empty()) {
            streams.out.write(anyResults ? "," : "");
            streams.out.write(sarifResults(loaded.problems));
            anyResults = true;
        }
    } else if (request.format == Format::github) {
        streams.out.write(githubAnnotations(loaded.problems));
    } else {
        writeText(streams.err, loaded.problems, textsOf(sources));
    }
}

}  // namespace

// The layered set first, judged whole, then file by file, each file's
// problems written before the next is read. The environment and the
// overrides are judged with the set and with each file, as the detector
// would judge them with it; a file is judged alone, not on top of the set.
int check(const std::vector<std::string>& files, const Request& request, Streams& streams) {
    int status = kAllValid;
    const bool json = request.format == Format::json;
    bool anyResults = false;
    if (request.format == Format::sarif) {
        streams.out.write(sarifLogStart(settings::kVersion));
    }
    if (request.layers.empty()) {
        streams.out.write(json ? kJsonReportStart : "");
    } else {
        const settings::SettingsSources sources = sourcesWith(std::nullopt, request);
        const settings::LoadedSettings loaded = settings::loadSettings(sources);
        status = statusOf(loaded.problems);
        if (json) {
            streams.out.write(R"({"layers":)" + jsonLayersReport(request.layers, loaded.problems) + R"(,"files":[)");
        } else {
            writeProblems(sources, loaded, request, streams, anyResults);
        }
    }
    Request alone = request;
    alone.layers.clear();
    for (const std::string& argument : files) {
        if (streams.out.failed() || streams.err.failed()) {
            break;
        }
        const settings::SettingsSources sources = sourcesWith(readGivenFile(argument, streams.in), alone);
        const settings::LoadedSettings loaded = settings::loadSettings(sources);
        status = std::max(status, statusOf(loaded.problems));
        if (json) {
            streams.out.write(&argument == files.data() ? "" : ",");
            streams.out.write(jsonFileReport(sources.file->name, loaded.problems));
        } else {
            writeProblems(sources, loaded, request, streams, anyResults);
        }
    }
    streams.out.write(json ? kJsonReportEnd : request.format == Format::sarif ? kSarifLogEnd : "");
    return status;
}

}  // namespace command
