// Random valid files, in every layout, and random edits of them: the edited
// file reads as the original record with exactly the edits made, every line
// that names no edited setting stays, in order, and unsetting a setting then
// setting its old value again gives the original record back.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "settings/edit.h"
#include "settings/sources.h"

namespace settings {
namespace {

// NOLINTNEXTLINE(cert-msc32-c,cert-msc51-cpp): a fixed seed, so that every run makes the same files.
std::mt19937 random(20261210);

std::size_t pick(std::size_t choices) { return std::uniform_int_distribution<std::size_t>(0, choices - 1)(random); }

// A valid value of each row, as TOML writes it, by its type.
std::string validValue(std::size_t row) {
    const std::string_view keyPath = kKeyPaths.at(row);
    if (keyPath == "version") {
        return "1";
    }
    if (keyPath == "detection.fftSize") {
        return std::to_string(512 << pick(5));
    }
    if (keyPath == "detection.sensitivity") {
        return std::to_string(static_cast<double>(pick(101)) / 100.0).substr(0, 4);
    }
    if (keyPath.ends_with("Ms")) {
        return std::to_string(keyPath == "audio.bufferSizeMs" ? 5 + pick(96) : 100 + pick(1901));
    }
    return "\"v" + std::to_string(pick(1000)) + " \\u00e9\"";
}

struct RandomFile {
    std::string text;
    std::vector<bool> inlineSection;  // by section
    std::string lineEnd;
};

// The settings of a random subset, each section in a random style, among comments and blank lines.
RandomFile randomFile() {
    const std::string lineEnd = pick(2) == 0 ? "\n" : "\r\n";
    RandomFile file{pick(4) == 0 ? "\xEF\xBB\xBF" : "", {}, lineEnd};
    const auto comment = [&] { return pick(3) == 0 ? "# note " + std::to_string(pick(100)) + lineEnd : ""; };
    if (pick(2) == 0) {
        file.text += comment() + "version = 1" + lineEnd;
    }
    std::string headers;
    for (const std::string_view section : kSections) {
        const std::size_t style = pick(3);  // header, dotted, inline
        file.inlineSection.push_back(style == 2);
        std::vector<std::string> items;
        for (std::size_t row = 0; row < kSettingCount; ++row) {
            if (sectionOf(kKeyPaths.at(row)) == section && pick(2) == 0) {
                items.push_back(std::string(memberNameOf(kKeyPaths.at(row))) + " = " + validValue(row));
            }
        }
        if (style == 0) {
            headers += comment() + "[" + std::string(section) + "]  # section" + lineEnd;
            for (const std::string& item : items) {
                headers.append(comment()).append(pick(2) == 0 ? "  " : "").append(item).append(lineEnd);
                headers.append(pick(3) == 0 ? lineEnd : "");
            }
        } else if (style == 1) {
            for (const std::string& item : items) {
                file.text.append(comment())
                    .append(section)
                    .append(".")
                    .append(item)
                    .append(" # dotted")
                    .append(lineEnd);
            }
        } else if (!items.empty()) {
            std::string joined;
            for (const std::string& item : items) {
                joined.append(joined.empty() ? "" : ", ").append(item);
            }
            file.text.append(section).append(" = { ").append(joined).append(" }").append(lineEnd);
        } else {
            file.inlineSection.back() = false;  // no table: a new setting makes one
        }
    }
    file.text += headers;
    if (pick(4) == 0 && file.text.ends_with(lineEnd)) {
        file.text.resize(file.text.size() - lineEnd.size());  // the last line without its end
    }
    return file;
}

// The lines of a text with their ends, its byte-order mark left out.
std::vector<std::string> linesOf(std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF")) {
        text.remove_prefix(3);
    }
    std::vector<std::string> lines;
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size() - 1) + 1;
        lines.emplace_back(text.substr(0, end));
        text.remove_prefix(end);
    }
    return lines;
}

// Whether `edited` is `original` with only these lines added or taken: those
// naming an edited setting or holding its inline table, blank ones and new
// section headers. Every other
// line stays, byte for byte (its end too), in its order; each line added ends
// as the original's lines do.
std::string linesKept(const std::string& original, const std::string& edited, const std::vector<SettingEdit>& edits,
                      std::string_view lineEnd) {
    const auto mayChange = [&](const std::string& line) {
        const std::string_view content = std::string_view(line).substr(0, line.find_first_of("\r\n"));
        return content.empty() || (content.starts_with('[') && content.ends_with(']')) ||
               std::any_of(edits.begin(), edits.end(), [&](const SettingEdit& e) {
                   return line.find(memberNameOf(e.keyPath)) != std::string::npos ||
                          (!sectionOf(e.keyPath).empty() &&
                           content.starts_with(std::string(sectionOf(e.keyPath)) + " = {"));
               });
    };
    // A text without a line end has none of its own: an edit's are "\n".
    lineEnd = original.find('\n') == std::string::npos ? "\n" : lineEnd;
    // The last line may get the end it lacked, when a line goes after it.
    const auto same = [&](const std::string& line, const std::string& old) {
        return line == old || (!old.ends_with('\n') && line == old + std::string(lineEnd));
    };
    const std::vector<std::string> before = linesOf(original);
    const std::vector<std::string> after = linesOf(edited);
    auto kept = before.begin();
    for (const std::string& line : after) {
        if (kept != before.end() && same(line, *kept)) {
            ++kept;
            continue;
        }
        while (kept != before.end() && mayChange(*kept) && !same(line, *kept)) {
            ++kept;  // taken out, or replaced by `line`
        }
        if (kept != before.end() && same(line, *kept)) {
            ++kept;
        } else if (!mayChange(line) || (line.ends_with('\n') && !line.ends_with(lineEnd)) ||
                   (lineEnd == "\n" && line.ends_with("\r\n"))) {
            return "added or moved: " + line;
        }
    }
    while (kept != before.end() && mayChange(*kept)) {
        ++kept;
    }
    return kept == before.end() ? "" : "lost: " + *kept;
}

TEST(TextEditProperty, EditsExactlyWhatIsAskedAndKeepsTheRest) {
    for (int round = 0; round < 2000; ++round) {
        const RandomFile file = randomFile();
        const FileReading original = readSettings(file.text);
        ASSERT_TRUE(original.problems.empty()) << file.text;
        std::vector<SettingEdit> edits;
        Config expected = original.config;
        for (std::size_t count = 1 + pick(3); count > 0; --count) {
            const std::size_t row = pick(kSettingCount);
            const std::string keyPath(kKeyPaths.at(row));
            const auto section = static_cast<std::size_t>(
                std::find(kSections.begin(), kSections.end(), sectionOf(keyPath)) - kSections.begin());
            const bool present = settingValueText(original.config, keyPath) != settingValueText(Config{}, keyPath);
            const bool unset = pick(2) == 0;
            if (!unset && section < kSections.size() && file.inlineSection.at(section) && !present) {
                continue;  // an inline table takes no new setting
            }
            edits.push_back(unset ? SettingEdit::unset(keyPath) : SettingEdit::set(keyPath, validValue(row)));
        }
        const TextEdit edit = editSettingsText(file.text, edits);
        ASSERT_TRUE(edit.problems.empty()) << file.text << edit.problems.front().problem.message;
        // Expected: the edits, one after another, on the original record.
        SettingsSources sources;
        sources.file = SettingsFileText{"s", {file.text, std::nullopt}};
        for (const SettingEdit& e : edits) {
            sources.overrides.push_back(e.keyPath + "=" + e.value.value_or(*settingValueText(Config{}, e.keyPath)));
        }
        EXPECT_TRUE(sameNamedSettings(readSettings(edit.text).config, loadSettings(sources).config))
            << file.text << "\n--\n"
            << edit.text;
        EXPECT_EQ(linesKept(file.text, edit.text, edits, file.lineEnd), "") << file.text << "\n--\n" << edit.text;
    }
}

// Unset, then set to the old value: the record comes back.
TEST(TextEditProperty, UnsetThenSetAgainGivesTheRecordBack) {
    for (int round = 0; round < 500; ++round) {
        const RandomFile file = randomFile();
        const Config original = readSettings(file.text).config;
        const std::size_t row = pick(kSettingCount);
        const std::string keyPath(kKeyPaths.at(row));
        const std::string old = *settingValueText(original, keyPath);
        const TextEdit unset = editSettingsText(file.text, {SettingEdit::unset(keyPath)});
        ASSERT_TRUE(unset.problems.empty()) << file.text;
        // The record, with that one setting's default.
        const FileReading unsetReading = readSettings(unset.text);
        EXPECT_TRUE(unsetReading.problems.empty()) << unset.text;
        for (const std::string_view other : kKeyPaths) {
            EXPECT_EQ(settingValueText(unsetReading.config, other),
                      settingValueText(other == keyPath ? Config{} : original, other))
                << file.text << "\n--\n"
                << unset.text;
        }
        EXPECT_EQ(linesKept(file.text, unset.text, {SettingEdit::unset(keyPath)}, file.lineEnd), "") << unset.text;
        const TextEdit again = editSettingsText(unset.text, {SettingEdit::set(keyPath, old)});
        if (again.problems.empty()) {
            EXPECT_TRUE(sameNamedSettings(readSettings(again.text).config, original)) << file.text;
        } else {  // the only problem there may be: the setting's inline table takes no new one
            EXPECT_EQ(again.problems.at(0).problem.kind, ProblemKind::syntax) << again.problems.at(0).problem.message;
        }
    }
}

}  // namespace
}  // namespace settings
