#include "watch_events.h"

#include "diagnostics.h"
#include "settings/message_text.h"
#include "settings/sources.h"
#include "settings/text_lines.h"

namespace command {
namespace {

std::string valueInForce(const settings::AppliedChange& change, std::string_view keyPath) {
    return settings::settingValueText(*change.config, keyPath).value_or("");
}

}  // namespace

std::string watchingText(std::string_view path, const std::vector<std::string>& layers) {
    std::vector<std::string_view> paths(layers.begin(), layers.end());
    if (!path.empty()) {
        paths.push_back(path);
    }
    std::string line = "watching ";
    for (std::size_t i = 0; i < paths.size(); ++i) {
        line.append(i == 0 ? "" : i + 1 == paths.size() ? " and " : ", ").append(settings::terminalSafe(paths[i]));
    }
    return line.append("\n");
}

std::string watchingJson(std::string_view path, const std::vector<std::string>& layers,
                         const std::vector<settings::SourcedProblem>& warnings) {
    settings::JsonWriter json;
    json.beginObject().key("event").string("watching").key("path");
    if (path.empty()) {
        json.raw("null");
    } else {
        json.string(path);
    }
    if (!layers.empty()) {
        json.key("layers").beginArray();
        for (const std::string& layer : layers) {
            json.string(layer);
        }
        json.endArray();
    }
    json.key("diagnostics");
    writeDiagnostics(json, warnings);
    return json.endObject().take("\n");
}

std::string appliedText(const settings::AppliedChange& change) {
    std::string line = "applied: ";
    for (const std::string_view keyPath : change.changed) {
        line.append(keyPath == change.changed.front() ? "" : ", ").append(keyPath).append(" = ");
        line.append(settings::terminalSafe(valueInForce(change, keyPath)));
    }
    if (change.changed.empty()) {
        line.append("nothing changed");
    }
    for (const std::string_view keyPath : change.pending) {
        line.append(keyPath == change.pending.front() ? "; pending restart: " : ", ").append(keyPath);
    }
    return line.append("\n");
}

std::string appliedJson(const settings::AppliedChange& change) {
    settings::JsonWriter json;
    json.beginObject().key("event").string("applied").key("changed").beginArray();
    for (const std::string_view keyPath : change.changed) {
        writeValue(json.beginObject().key("key").string(keyPath).key("value"), valueInForce(change, keyPath));
        json.endObject();
    }
    json.endArray().key("pending").beginArray();
    for (const std::string_view keyPath : change.pending) {
        json.string(keyPath);
    }
    return json.endArray().endObject().take("\n");
}

std::string rejectedText(const std::vector<settings::SourcedProblem>& problems) {
    const std::size_t count = problems.size();
    return settings::concatenate({"rejected: ", settings::renderInteger(static_cast<std::int64_t>(count)),
                                  count == 1 ? " problem" : " problems", "; the settings in force stay\n"});
}

EventLines appliedEvent(const settings::AppliedChange& change, bool json) {
    return {json ? appliedJson(change) : appliedText(change), {}};
}

EventLines rejectedEvent(const settings::RejectedEdit& edit, std::string_view fileName, bool json) {
    if (json) {
        return {rejectedJson(edit.problems), {}};
    }
    std::vector<NamedText> files;
    for (const settings::SettingsFileText& layer : edit.layers) {
        files.push_back({layer.name, layer.content.text});
    }
    files.push_back({fileName, edit.text});
    return {rejectedText(edit.problems), textDiagnostics(edit.problems, files)};
}

std::string skippedText(std::size_t count) {
    return settings::concatenate({"skipped: ", settings::renderInteger(static_cast<std::int64_t>(count)),
                                  count == 1 ? " event" : " events", ", as the output was not read in time\n"});
}

std::string skippedJson(std::size_t count) {
    settings::JsonWriter json;
    json.beginObject().key("event").string("skipped").key("count").number(static_cast<std::int64_t>(count));
    return json.endObject().take("\n");
}

std::string rejectedJson(const std::vector<settings::SourcedProblem>& problems) {
    settings::JsonWriter json;
    json.beginObject().key("event").string("rejected").key("diagnostics");
    writeDiagnostics(json, problems);
    return json.endObject().take("\n");
}

}  // namespace command
