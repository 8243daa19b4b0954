// The JSON Schema of the settings-file format, generated from the table of
// settings: what an editor needs to flag what the reader reports.
#include <array>
#include <cstdint>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "file/base/internal/value_text.h"
#include "file/write/internal/titles.h"
#include "settings/json_writer.h"
#include "settings/table.h"
#include "settings/write.h"

namespace settings {

using namespace file_internal;
namespace {

// The values that keep both a range and the power-of-two rule: "[512, 1024, 2048, 4096, 8192]".
std::string powersOfTwo(double min, double max) {
    std::string list = "[";
    for (std::int64_t power = 1; static_cast<double>(power) <= max; power *= 2) {
        if (static_cast<double>(power) >= min) {
            list.append(list.size() == 1 ? "" : ", ").append(renderInteger(power));
        }
    }
    return list + "]";
}

// What the schema says of one setting.
struct SettingSchema {
    std::string_view name;
    std::string description;
    ValueType type;
    std::span<const Rule> rules;
    std::string defaultValue;  // as JSON
};

void writeSetting(JsonWriter& json, const SettingSchema& setting) {
    constexpr std::array<std::string_view, 4> kJsonTypes = {"integer", "number", "string", "string"};
    json.key(setting.name).beginObject();
    json.key("description").string(setting.description);
    json.key("type").string(kJsonTypes[static_cast<std::size_t>(setting.type)]);
    // Without a range, the powers of two that an int32 holds.
    double min = std::numeric_limits<std::int32_t>::min();
    double max = std::numeric_limits<std::int32_t>::max();
    for (const Rule& rule : setting.rules) {
        if (rule.kind == RuleKind::equals) {
            json.key("const").raw(boundText(rule.min, setting.type));
        } else if (rule.kind == RuleKind::nonEmpty) {
            json.key("minLength").number(1);
        } else if (rule.kind == RuleKind::range) {
            min = rule.min;
            max = rule.max;
            json.key("minimum").raw(boundText(min, setting.type));
            json.key("maximum").raw(boundText(max, setting.type));
        } else {
            json.key("enum").raw(powersOfTwo(min, max));
        }
    }
    json.key("default").raw(setting.defaultValue);
    json.endObject();
}

// What the schema says of every setting, with the setting's section.
std::vector<std::pair<std::string_view, SettingSchema>> settingSchemas() {
    const Config defaults;
    std::vector<std::pair<std::string_view, SettingSchema>> schemas;
    forEachSetting([&](const auto& row) {
        schemas.emplace_back(row.section(), SettingSchema{row.name(), description(row), row.type, row.rules,
                                                          format::valueText(row.member(defaults)).value_or("")});
    });  // GCOVR_EXCL_BR_LINE
    return schemas;
}

// The settings of `section` ("" for the top level) as members of the object open.
void writeSettingsOf(JsonWriter& json, std::string_view section) {
    for (const auto& [settingSection, schema] : settingSchemas()) {
        if (settingSection == section) {
            writeSetting(json, schema);
        }
    }
}

}  // namespace

std::string writeSettingsSchema() {
    JsonWriter json(JsonWriter::Layout::indented);
    json.beginObject();
    json.key("$schema").string("https://json-schema.org/draft/2020-12/schema");
    json.key("title").string(format::kTitle);
    json.key("description").string(concatenate({"A settings file in TOML. ", format::kLeftOut}));
    json.key("type").string("object");
    json.key("additionalProperties").boolean(false);
    json.key("properties").beginObject();
    writeSettingsOf(json, {});
    for (const std::string_view section : kSections) {
        json.key(section).beginObject();
        json.key("type").string("object");
        json.key("additionalProperties").boolean(false);
        json.key("properties").beginObject();
        writeSettingsOf(json, section);
        json.endObject().endObject();
    }
    json.endObject().endObject();
    return json.take("\n");
}

}  // namespace settings
