// The layout of a settings text: toml++ parses it, as the reader does, and
// gives the position of every key and value, which the text's lines turn into
// bytes.
#include "file/edit/internal/layout.h"

#include <algorithm>
#include <vector>

#include "file/base/internal/characters.h"
#include "file/read/internal/toml_guard.h"
#include "file/read/internal/toml_library.h"
#include "settings/text_lines.h"

namespace settings::file_internal {
namespace {

class Layouter {
public:
    explicit Layouter(std::string_view text) : text_(text), lines_(text) {}

    SettingsLayout find(const toml::table& root) {
        const std::size_t lineEnd = text_.find('\n');
        layout_.lineEnd =
            lineEnd != std::string_view::npos && lineEnd > 0 && text_[lineEnd - 1] == '\r' ? "\r\n" : "\n";
        std::size_t firstTable = text_.size();
        std::vector<Item> topLevel;
        for (const auto& [key, node] : root) {
            const toml::table* table = node.as_table();
            const TableStyle style = table == nullptr ? TableStyle::header : styleOf(*table);
            if (table == nullptr || style == TableStyle::inlineTable) {
                topLevel.push_back({spanOf(key.source()), spanOf(node.source())});
            }
            if (table == nullptr) {
                place({}, key, node, TableStyle::header);
                continue;
            }
            const std::size_t defined = offsetOf((style == TableStyle::header ? table->source() : key.source()).begin);
            firstTable = std::min(firstTable, lineStart(text_, defined));
            const std::size_t section = tableIndex(key.str());
            if (section < kSections.size()) {
                placeTable(section, *table, style);
            }
        }
        std::sort(topLevel.begin(), topLevel.end(),
                  [](const Item& a, const Item& b) { return a.key.begin < b.key.begin; });
        layout_.tables.back() = placeAfter(std::move(topLevel), TableStyle::header, firstTable);
        return layout_;
    }

private:
    [[nodiscard]] std::size_t offsetOf(const toml::source_position& at) const {
        const int line = static_cast<int>(at.line);
        return static_cast<std::size_t>(lines_.line(line).data() - text_.data()) +
               lines_.byteOffset(line, static_cast<int>(at.column));
    }

    [[nodiscard]] ByteSpan spanOf(const toml::source_region& region) const {
        return {offsetOf(region.begin), offsetOf(region.end)};
    }

    // A header opens with its bracket; a table made by dotted keys starts at its key.
    [[nodiscard]] TableStyle styleOf(const toml::table& table) const {
        if (table.is_inline()) {
            return TableStyle::inlineTable;
        }
        return text_.at(offsetOf(table.source().begin)) == '[' ? TableStyle::header : TableStyle::dotted;
    }

    // Records where the setting `key` of `section` stands, if it is one.
    SettingPlace* place(std::string_view section, const toml::key& key, const toml::node& value, TableStyle style) {
        std::optional<SettingPlace>* placed = nullptr;
        visitSetting(section, key.str(), [&](const auto& row) { placed = &layout_.settings.at(rowOf(row.keyPath)); });
        if (placed == nullptr) {
            return nullptr;
        }
        *placed = SettingPlace{spanOf(key.source()), spanOf(value.source()), style, 0};
        return &placed->value();
    }

    void placeTable(std::size_t index, const toml::table& table, TableStyle style) {
        // Tables that a header of their own makes stand elsewhere in the text.
        std::vector<Item> items;
        for (const auto& [key, node] : table) {
            const toml::table* inner = node.as_table();
            if (inner == nullptr || styleOf(*inner) != TableStyle::header) {
                items.push_back({spanOf(key.source()), spanOf(node.source())});
            }
        }
        std::sort(items.begin(), items.end(), [](const Item& a, const Item& b) { return a.key.begin < b.key.begin; });
        for (const auto& [key, node] : table) {
            if (SettingPlace* setting = place(kSections.at(index), key, node, style)) {
                setting->item = static_cast<std::size_t>(
                    std::find_if(items.begin(), items.end(),
                                 [&](const Item& item) { return item.key.begin == setting->key.begin; }) -
                    items.begin());
            }
        }
        // After the header's line when the table has no item.
        layout_.tables.at(index) =
            placeAfter(std::move(items), style, nextLineStart(text_, offsetOf(table.source().end)));
    }

    // A table of `items`, where a new one goes: after the last one's line, lined up with it; else at `otherwise`.
    [[nodiscard]] SectionPlace placeAfter(std::vector<Item> items, TableStyle style, std::size_t otherwise) const {
        SectionPlace table{style, std::move(items), otherwise, {}, false};
        if (!table.items.empty()) {
            table.insertAt = nextLineStart(text_, table.items.back().value.end);
            const std::size_t start = lineStart(text_, table.items.back().key.begin);
            table.indent = text_.substr(start, text_.find_first_not_of(" \t", start) - start);
        }
        // A last line with something on it and no line end.
        table.lineEndFirst = table.insertAt == text_.size() && lineStart(text_, text_.size()) < text_.size();
        return table;
    }

    std::string_view text_;
    TextLines lines_;
    SettingsLayout layout_;
};

}  // namespace

std::size_t tableIndex(std::string_view section) {
    return static_cast<std::size_t>(std::find(kSections.begin(), kSections.end(), section) - kSections.begin());
}

std::size_t lineStart(std::string_view text, std::size_t offset) {
    const std::size_t lineEnd = offset == 0 ? std::string_view::npos : text.rfind('\n', offset - 1);
    if (lineEnd != std::string_view::npos) {
        return lineEnd + 1;
    }
    // The first line starts after a byte-order mark.
    return text.starts_with(kByteOrderMark) ? kByteOrderMark.size() : 0;
}

std::size_t nextLineStart(std::string_view text, std::size_t offset) {
    const std::size_t lineEnd = text.find('\n', offset);
    return lineEnd == std::string_view::npos ? text.size() : lineEnd + 1;
}

std::optional<SettingsLayout> findLayout(std::string_view text) {
    const GuardedText guarded = guardToml(text);
    if (guarded.refusal) {
        return std::nullopt;
    }
    const toml::parse_result parsed = toml::parse(guarded.parseable);
    if (!parsed) {
        return std::nullopt;
    }
    return Layouter(text).find(parsed.table());
}

}  // namespace settings::file_internal
