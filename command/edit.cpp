#include "settings/edit.h"

#include <filesystem>

#include "diagnostics.h"
#include "settings/json_writer.h"
#include "settings/text_lines.h"
#include "subcommands.h"
#include "unified_diff.h"

namespace command {
namespace {

// {"path":…,"written":…,"changes":[{"key":…,"old":…,"new":…}],"diagnostics":[…]}
std::string jsonEditReport(std::string_view file, const settings::FileEdit& result,
                           const std::vector<settings::SettingChange>& changes) {
    settings::JsonWriter json;
    json.beginObject().key("path").string(file).key("written").boolean(result.written).key("changes").beginArray();
    for (const settings::SettingChange& change : changes) {
        writeValue(json.beginObject().key("key").string(change.keyPath).key("old"), change.oldValue);
        writeValue(json.key("new"), change.newValue);
        json.endObject();
    }
    json.endArray().key("diagnostics");
    writeDiagnostics(json, result.problems);
    return json.endObject().take("\n");
}

}  // namespace

// What changed is told only of an edit without errors: one that was written,
// or would be in a dry run, which shows it as a diff. The edits' problems
// name them as given, as arguments of set or unset.
int edit(const std::string& file, const std::vector<settings::SettingEdit>& edits, const EditRequest& request,
         Streams& streams) {
    settings::FileEditOptions options;
    options.create = request.create;
    options.dryRun = request.dryRun;
    options.lockTimeout = request.lockTimeout;
    settings::FileEdit result = settings::editSettingsFile(pathOf(file), edits, options);
    for (settings::SourcedProblem& problem : result.problems) {
        if (problem.problem.kind == settings::ProblemKind::file && problem.problem.message == settings::kNoSuchFile) {
            problem.problem.message += "; set --create makes it";
        }
    }
    const std::vector<settings::SettingChange>& changes = result.changes;
    if (request.json) {
        streams.out.write(jsonEditReport(file, result, changes));
    } else if (request.dryRun) {
        const bool changed = !settings::anyError(result.problems);
        streams.out.write(unifiedDiff(file, result.oldText, changed ? result.text : result.oldText));
    } else {
        for (const settings::SettingChange& change : changes) {
            streams.out.write(
                settings::terminalSafe(change.keyPath + ": " + change.oldValue + " -> " + change.newValue) + "\n");
        }
    }
    if (!request.json) {
        writeText(streams.err, result.problems, result.text, CommandLineNames::asGiven);
    }
    return statusOf(result.problems);
}

}  // namespace command
