#include "settings/edit.h"

#include <algorithm>
#include <filesystem>

#include "diagnostics.h"
#include "request.h"
#include "settings/json_writer.h"
#include "settings/message_text.h"
#include "settings/text_lines.h"
#include "subcommands.h"
#include "unified_diff.h"

namespace command {
namespace {

// The source that overrides `change`, if one does.
const settings::SettingValue* overriding(const settings::FileEdit& result, const settings::SettingChange& change) {
    const auto found = std::find_if(result.overridden.begin(), result.overridden.end(),
                                    [&](const settings::OverriddenChange& o) { return o.keyPath == change.keyPath; });
    return found == result.overridden.end() ? nullptr : &found->inForce;
}

// {"path":…,"written":…,"changes":[{"key":…,"old":…,"new":…}],"diagnostics":[…]}; a change
// another source overrides has "overriddenBy":{"kind":…,"name":…,"line":…,"column":…,"value":…}.
std::string jsonEditReport(std::string_view file, const settings::FileEdit& result,
                           const std::vector<settings::SettingChange>& changes) {
    settings::JsonWriter json;
    json.beginObject().key("path").string(file).key("written").boolean(result.written).key("changes").beginArray();
    for (const settings::SettingChange& change : changes) {
        writeValue(json.beginObject().key("key").string(change.keyPath).key("old"), change.oldValue);
        writeValue(json.key("new"), change.newValue);
        if (const settings::SettingValue* inForce = overriding(result, change)) {
            json.key("overriddenBy").beginObject().key("kind").string(settings::sourceKindName(inForce->source.kind));
            json.key("name").string(inForce->source.name).key("line").number(inForce->line);
            writeValue(json.key("column").number(inForce->column).key("value"), inForce->value);
            json.endObject();
        }
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
    options.layers = layerPaths(request.layers);
    options.environment = request.environment;
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
            std::string line = change.keyPath + ": " + change.oldValue + " -> " + change.newValue;
            if (const settings::SettingValue* inForce = overriding(result, change)) {
                line += settings::concatenate({" in ", file, ", but ",
                                               originText(inForce->source, inForce->line, inForce->column), " sets ",
                                               inForce->value, ", which is in force"});
            }
            streams.out.write(settings::terminalSafe(line) + "\n");
        }
    }
    if (!request.json) {
        // The other layers' problems are shown with their lines, read again for it.
        settings::SettingsSources layers;
        if (!request.layers.empty()) {
            layers = sourcesWith(std::nullopt, {Format::text, {}, {}, request.layers});
        }
        std::vector<NamedText> texts = {{file, result.text}};
        const std::vector<NamedText> layerTexts = textsOf(layers);
        texts.insert(texts.end(), layerTexts.begin(), layerTexts.end());
        writeText(streams.err, result.problems, texts, CommandLineNames::asGiven);
    }
    return statusOf(result.problems);
}

}  // namespace command
