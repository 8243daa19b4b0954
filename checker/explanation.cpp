#include "explanation.h"

#include <string_view>

#include "diagnostics.h"
#include "settings/internal/text.h"
#include "settings/table.h"
#include "settings/text_lines.h"

namespace checker {
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
    settings::forEachSetting([&](const auto& row) {
        if (row.keyPath == keyPath) {
            facts = {settings::settingValueText(settings::Config{}, keyPath).value_or(""),
                     settings::rulesText(row.rules, row.type), row.meaning, settings::environmentName(keyPath),
                     settings::appliesName(row.applies)};
        }
    });  // GCOVR_EXCL_BR_LINE: template instances
    return facts;
}

std::string jsonOrigin(const settings::Source& source, int line, int column) {
    return settings::concatenate({R"({"kind":)", jsonString(settings::sourceKindName(source.kind)), R"(,"name":)",
                                  jsonString(source.name), R"(,"line":)", settings::renderInteger(line),
                                  R"(,"column":)", settings::renderInteger(column)});
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
    std::string out = R"({"settings":[)";
    for (const std::string& key : keys) {
        const Facts facts = factsOf(key);
        const std::vector<settings::SettingValue>& values = loaded.values.at(settings::rowOf(key));
        const settings::SettingValue& effective = values.empty() ? kDefault : values.back();
        out.append(&key == keys.data() ? "" : ",").append(R"({"key":)").append(jsonString(key));
        out.append(R"(,"value":)").append(jsonValue(values.empty() ? facts.defaultValue : effective.value));
        out.append(R"(,"origin":)").append(jsonOrigin(effective.source, effective.line, effective.column));
        out.append(R"(},"sources":[)");
        for (const settings::SettingValue& value : values) {
            out.append(&value == values.data() ? "" : ",").append(jsonOrigin(value.source, value.line, value.column));
            out.append(R"(,"value":)").append(jsonValue(value.value)).append("}");
        }
        out.append(R"(],"default":)").append(jsonValue(facts.defaultValue));
        out.append(R"(,"rules":)").append(jsonString(facts.rules));
        out.append(R"(,"meaning":)").append(jsonString(facts.meaning));
        out.append(R"(,"variable":)").append(jsonString(facts.variable));
        out.append(R"(,"applies":)").append(jsonString(facts.applies)).append("}");
    }
    out.append(R"(],"valid":)").append(settings::anyError(loaded.problems) ? "false" : "true");
    return out.append(R"(,"diagnostics":)").append(jsonDiagnostics(loaded.problems)).append("}\n");
}

}  // namespace checker
