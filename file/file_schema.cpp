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

#include "settings/file.h"
#include "settings/internal/file_format.h"
#include "settings/table.h"

namespace settings {
namespace {

// A JSON object written member by member, indented by two spaces a level;
// close() ends it.
class JsonObject {
public:
    JsonObject(std::string& out, int depth) : out_(out), depth_(depth) { out_ += "{"; }

    void close() { out_.append("\n").append(indent(depth_), ' ').append("}"); }

    // Writes `"name": ` and leaves the value to the caller.
    std::string& member(std::string_view name) {
        out_.append(first_ ? "\n" : ",\n").append(indent(depth_ + 1), ' ').append(quotedString(name)).append(": ");
        first_ = false;
        return out_;
    }
    void member(std::string_view name, std::string_view jsonValue) { member(name).append(jsonValue); }

    [[nodiscard]] int depth() const { return depth_; }

private:
    static std::size_t indent(int depth) { return static_cast<std::size_t>(depth) * 2; }

    std::string& out_;
    int depth_;
    bool first_ = true;
};

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

void writeSetting(JsonObject& properties, const SettingSchema& setting) {
    constexpr std::array<std::string_view, 4> kJsonTypes = {"integer", "number", "string", "string"};
    JsonObject object(properties.member(setting.name), properties.depth() + 1);
    object.member("description", quotedString(setting.description));
    object.member("type", quotedString(kJsonTypes[static_cast<std::size_t>(setting.type)]));
    // Without a range, the powers of two that an int32 holds.
    double min = std::numeric_limits<std::int32_t>::min();
    double max = std::numeric_limits<std::int32_t>::max();
    for (const Rule& rule : setting.rules) {
        if (rule.kind == RuleKind::equals) {
            object.member("const", boundText(rule.min, setting.type));
        } else if (rule.kind == RuleKind::nonEmpty) {
            object.member("minLength", "1");
        } else if (rule.kind == RuleKind::range) {
            min = rule.min;
            max = rule.max;
            object.member("minimum", boundText(min, setting.type));
            object.member("maximum", boundText(max, setting.type));
        } else {
            object.member("enum", powersOfTwo(min, max));
        }
    }
    object.member("default", setting.defaultValue);
    object.close();
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

// The settings of `section` ("" for the top level) as members of `properties`.
void writeSettingsOf(JsonObject& properties, std::string_view section) {
    for (const auto& [settingSection, schema] : settingSchemas()) {
        if (settingSection == section) {
            writeSetting(properties, schema);
        }
    }
}

}  // namespace

std::string writeSettingsSchema() {
    std::string schema;
    JsonObject root(schema, 0);
    root.member("$schema", R"("https://json-schema.org/draft/2020-12/schema")");
    root.member("title", quotedString(format::kTitle));
    root.member("description", quotedString(concatenate({"A settings file in TOML. ", format::kLeftOut})));
    root.member("type", R"("object")");
    root.member("additionalProperties", "false");
    JsonObject properties(root.member("properties"), 1);
    writeSettingsOf(properties, {});
    for (const std::string_view section : kSections) {
        JsonObject table(properties.member(section), 2);
        table.member("type", R"("object")");
        table.member("additionalProperties", "false");
        JsonObject sectionProperties(table.member("properties"), 3);
        writeSettingsOf(sectionProperties, section);
        sectionProperties.close();
        table.close();
    }
    properties.close();
    root.close();
    return schema + "\n";
}

}  // namespace settings
