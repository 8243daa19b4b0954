// Writing settings files: every named setting, in the order of the table of
// settings, with its meaning and rule as a comment. Top-level settings come
// first, as TOML requires, then one table per section.
#include "file/base/internal/value_text.h"
#include "file/write/internal/titles.h"
#include "settings/table.h"
#include "settings/write.h"

namespace settings {

using namespace file_internal;

std::optional<std::string> writeSettings(const Config& config) {
    std::string file = concatenate({"# ", format::kTitle, " (TOML).\n# ", format::kLeftOut, "\n\n"});
    bool unrepresentable = false;
    // Every setting of `section`, each followed by a blank line.
    const auto writeSection = [&](std::string_view section) {
        forEachSetting([&](const auto& row) {
            if (row.section() == section) {
                const std::optional<std::string> value = format::valueText(row.member(config));
                unrepresentable |= !value.has_value();
                file.append("# ")
                    .append(description(row))
                    .append("\n")
                    .append(row.name())
                    .append(" = ")
                    .append(value.value_or(""));
                file += "\n\n";
            }
        });
    };
    // Top-level settings first: after a table header, every key belongs to that table.
    writeSection({});
    for (const std::string_view section : kSections) {
        file.append("[").append(section).append("]\n");
        writeSection(section);
    }
    file.pop_back();  // no blank line after the last setting
    if (unrepresentable) {
        return std::nullopt;
    }
    return file;
}

}  // namespace settings
