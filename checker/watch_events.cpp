#include "watch_events.h"

#include "diagnostics.h"
#include "settings/internal/text.h"
#include "settings/sources.h"

namespace checker {
namespace {

std::string valueInForce(const settings::AppliedChange& change, std::string_view keyPath) {
    return settings::settingValueText(*change.config, keyPath).value_or("");
}

}  // namespace

std::string watchingText(std::string_view path) {
    return settings::concatenate({"watching ", settings::terminalSafe(path), "\n"});
}

std::string watchingJson(std::string_view path, const std::vector<settings::SourcedProblem>& warnings) {
    return settings::concatenate(
        {R"({"event":"watching","path":)", jsonString(path), R"(,"diagnostics":)", jsonDiagnostics(warnings), "}\n"});
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
    std::string line = R"({"event":"applied","changed":[)";
    for (const std::string_view keyPath : change.changed) {
        line.append(keyPath == change.changed.front() ? "" : ",").append(R"({"key":)").append(jsonString(keyPath));
        line.append(R"(,"value":)").append(jsonValue(valueInForce(change, keyPath))).append("}");
    }
    line.append(R"(],"pending":[)");
    for (const std::string_view keyPath : change.pending) {
        line.append(keyPath == change.pending.front() ? "" : ",").append(jsonString(keyPath));
    }
    return line.append("]}\n");
}

std::string rejectedText(const std::vector<settings::SourcedProblem>& problems) {
    const std::size_t count = problems.size();
    return settings::concatenate({"rejected: ", settings::renderInteger(static_cast<std::int64_t>(count)),
                                  count == 1 ? " problem" : " problems", "; the settings in force stay\n"});
}

std::string skippedText(std::size_t count) {
    return settings::concatenate({"skipped: ", settings::renderInteger(static_cast<std::int64_t>(count)),
                                  count == 1 ? " event" : " events", ", as the output was not read in time\n"});
}

std::string skippedJson(std::size_t count) {
    return settings::concatenate(
        {R"({"event":"skipped","count":)", settings::renderInteger(static_cast<std::int64_t>(count)), "}\n"});
}

std::string rejectedJson(const std::vector<settings::SourcedProblem>& problems) {
    return settings::concatenate({R"({"event":"rejected","diagnostics":)", jsonDiagnostics(problems), "}\n"});
}

}  // namespace checker
