#include <algorithm>

#include "diagnostics.h"
#include "run.h"
#include "settings/version.h"
#include "subcommands.h"

namespace command {

// File by file, each file's problems written before the next is read. The
// environment and the overrides are judged with each file, as the detector
// would judge them with it.
int check(const std::vector<std::string>& files, const Request& request, Streams& streams) {
    int status = kAllValid;
    if (request.format == Format::json) {
        streams.out.write(kJsonReportStart);
    } else if (request.format == Format::sarif) {
        streams.out.write(sarifLogStart(settings::kVersion));
    }
    bool anyResults = false;
    for (const std::string& argument : files) {
        if (streams.out.failed() || streams.err.failed()) {
            break;
        }
        const settings::SettingsSources sources = sourcesWith(readGivenFile(argument, streams.in), request);
        const settings::LoadedSettings loaded = settings::loadSettings(sources);
        const std::string& name = sources.file->name;
        status = std::max(status, statusOf(loaded.problems));
        if (request.format == Format::json) {
            streams.out.write(&argument == files.data() ? "" : ",");
            streams.out.write(jsonFileReport(name, loaded.problems));
        } else if (request.format == Format::sarif) {
            if (!loaded.problems.empty()) {
                streams.out.write(anyResults ? "," : "");
                streams.out.write(sarifResults(loaded.problems));
                anyResults = true;
            }
        } else if (request.format == Format::github) {
            streams.out.write(githubAnnotations(loaded.problems));
        } else {
            writeText(streams.err, loaded.problems, fileTextOf(sources));
        }
    }
    streams.out.write(request.format == Format::json    ? kJsonReportEnd
                      : request.format == Format::sarif ? kSarifLogEnd
                                                        : "");
    return status;
}

}  // namespace command
