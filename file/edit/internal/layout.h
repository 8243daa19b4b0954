// Where each setting stands in the text of a settings file, in bytes, and
// where a setting that is not there would go: what an edit changes, so that
// everything else stays as the operator wrote it. Internal to the settings-file library.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

#include "settings/table.h"

namespace settings::file_internal {

// Bytes [begin, end) of the text.
struct ByteSpan {
    std::size_t begin = 0;
    std::size_t end = 0;
};

// How a table is written: under a header ("[audio]", and the top level),
// by dotted keys ("audio.bufferSizeMs = 10"), or inline ("audio = { ... }").
enum class TableStyle { header, dotted, inlineTable };

// A setting that the text has, whatever its value.
struct SettingPlace {
    ByteSpan key;    // as written: "bufferSizeMs", "audio.bufferSizeMs", "\"bufferSizeMs\""
    ByteSpan value;  // as written, quotes and all
    TableStyle style = TableStyle::header;
    std::size_t item = 0;  // in a section: its place among the section's items
};

// A key and its value, in a section's table.
struct Item {
    ByteSpan key;
    ByteSpan value;
};

// Where a section's table stands, if the text has it.
struct SectionPlace {
    TableStyle style = TableStyle::header;
    std::vector<Item> items;    // every key of the table, known or not, in the order of the text
    std::size_t insertAt = 0;   // the start of the line after its last setting (or after its header)
    std::string_view indent;    // of that setting's line: a new one lines up with it
    bool lineEndFirst = false;  // the text's last line has no line end: one goes before what is inserted
};

struct SettingsLayout {
    std::array<std::optional<SettingPlace>, kSettingCount> settings;  // by row of the table
    // By the section's place in kSections, and last the top level, which every
    // text has: a top-level setting goes after the last one, or else at the
    // start of the first line that defines a table (the text's end without one).
    std::array<std::optional<SectionPlace>, kSections.size() + 1> tables;
    std::string_view lineEnd = "\n";  // the text's own: that of its first line, "\n" without one
};

// The index in SettingsLayout::tables of `section`, "" for the top level.
std::size_t tableIndex(std::string_view section);

// The layout of a text that is TOML; none when it is not.
std::optional<SettingsLayout> findLayout(std::string_view text);

// The first byte of the line that holds `offset`, and the first byte after that line's end.
std::size_t lineStart(std::string_view text, std::size_t offset);
std::size_t nextLineStart(std::string_view text, std::size_t offset);

}  // namespace settings::file_internal
