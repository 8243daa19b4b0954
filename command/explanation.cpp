#include "explanation.h"

#include <string_view>

#include "diagnostics.h"
#include "settings/message_text.h"
#include "settings/table.h"
#include "settings/text_lines.h"

namespace command {
namespace {

// What the table says of a setting, by key path.
struct Facts {
    std::string defaultValue;
    std::string rules;
    std::string_view meaning;
    std::string variable;
    std::string_view applies;
};

Facts factsOf(std::string_view keyPath) {
    Facts facts;
    settings::visitSetting(keyPath, [&](const auto& row) {
        facts = {settings::settingValueText(settings::Config{}, keyPath).value_or(""),
                 settings::rulesText(row.rules, row.type), row.meaning, settings::environmentName(keyPath),
                 settings::appliesName(row.applies)};
    });  // GCOVR_EXCL_BR_LINE: template instances
    return facts;
}

// ORIGIN, left open for what follows it.
void beginOrigin(settings::JsonWriter& json, const settings::Source& source, int line, int column) {
    json.beginObject().key("kind").string(settings::sourceKindName(source.kind)).key("name").string(source.name);
    json.key("line").number(line).key("column").number(column);
}

const settings::SettingValue kDefault{};

}  // namespace

std::string textExplanation(const std::vector<std::string>& keys, const settings::LoadedSettings& loaded) {
    constexpr std::string_view kIndent = "            ";
    std::string out;
    for (const std::string& key : keys) {
        const Facts facts = factsOf(key);
        const std::vector<settings::SettingValue>& values = loaded.values.at(settings::rowOf(key));
        const settings::SettingValue& effective = values.empty() ? kDefault : values.back();
        out.append(out.empty() ? "" : "\n").append(key).append(" = ");
        out.append(settings::terminalSafe(values.empty() ? facts.defaultValue : effective.value)).append("\n");
        out.append("  origin:   ").append(originText(effective.source, effective.line, effective.column)).append("\n");
        out.append("  sources:  ").append(values.empty() ? "none\n" : "");
        for (const settings::SettingValue& value : values) {
            out.append(&value == values.data() ? "" : kIndent).append(settings::terminalSafe(value.value));
            out.append(" from ").append(originText(value.source, value.line, value.column)).append("\n");
        }
        out.append("  default:  ").append(settings::terminalSafe(facts.defaultValue)).append("\n");
        out.append("  rules:    ").append(facts.rules).append("\n");
        out.append("  meaning:  ").append(facts.meaning).append("\n");
        out.append("  variable: ").append(facts.variable).append("\n");
        out.append("  applies:  ").append(facts.applies).append("\n");
    }
    return out;
}

std::string jsonExplanation(const std::vector<std::string>& keys, const settings::LoadedSettings& loaded) {
    settings::JsonWriter json;
    json.beginObject().key("settings").beginArray();
    for (const std::string& key : keys) {
        const Facts facts = factsOf(key);
        const std::vector<settings::SettingValue>& values = loaded.values.at(settings::rowOf(key));
        const settings::SettingValue& effective = values.empty() ? kDefault : values.back();
        json.beginObject().key("key").string(key).key("value");
        writeValue(json, values.empty() ? facts.defaultValue : effective.value);
        json.key("origin");
        beginOrigin(json, effective.source, effective.line, effective.column);
        json.endObject().key("sources").beginArray();
        for (const settings::SettingValue& value : values) {
            beginOrigin(json, value.source, value.line, value.column);
            writeValue(json.key("value"), value.value);
            json.endObject();
        }
        writeValue(json.endArray().key("default"), facts.defaultValue);
        json.key("rules").string(facts.rules).key("meaning").string(facts.meaning);
        json.key("variable").string(facts.variable).key("applies").string(facts.applies).endObject();
    }
    json.endArray().key("valid").boolean(!settings::anyError(loaded.problems)).key("diagnostics");
    writeDiagnostics(json, loaded.problems);
    return json.endObject().take("\n");
}

}  // namespace command
