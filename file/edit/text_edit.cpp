// Edits of a settings text: each edit becomes a piece of text put in the
// place of a value, of a whole line, or of nothing, where the layout says;
// every other byte stays. The new text is then read as check reads it.
#include "file/edit/internal/text_edit.h"

#include <algorithm>
#include <cstddef>
#include <string>
#include <utility>

#include "file/base/internal/characters.h"
#include "file/base/internal/value_text.h"
#include "file/edit/internal/layout.h"
#include "file/read/internal/settings_reader.h"
#include "settings/edit.h"
#include "settings/message_text.h"

namespace settings {

using namespace file_internal;
namespace {

// Said of an edit that would add to an inline table, which TOML closes once written.
constexpr std::string_view kInlineTable = " is an inline table, which takes no new key; write it as [";

// Text put in the place of the bytes of `span`; an empty span is a place between two bytes.
struct Splice {
    ByteSpan span;
    std::string text;
};

// The value of the setting of `row` in `config`, as TOML writes it.
std::string valueTextOf(std::size_t row, const Config& config) {
    std::string text;
    visitSetting(kKeyPaths.at(row), [&](const auto& setting) {
        text = format::valueText(setting.member(config)).value_or("");  // GCOVR_EXCL_BR_LINE: template instances
    });
    return text;
}

// `text` with each splice made, in order of place; those that overlap one before are cut to follow it.
std::string spliced(std::string_view text, std::vector<Splice> splices) {
    std::stable_sort(splices.begin(), splices.end(),
                     [](const Splice& a, const Splice& b) { return a.span.begin < b.span.begin; });
    std::string out;
    std::size_t next = 0;
    for (const Splice& splice : splices) {
        out.append(text.substr(next, std::max(splice.span.begin, next) - next)).append(splice.text);
        next = std::max(next, splice.span.end);
    }
    return out.append(text.substr(next));
}

class TextEditor {
public:
    TextEditor(std::string_view text, const SettingsLayout& layout, const TrackedReading& before)
        : text_(text), layout_(layout), before_(before) {}

    // Returns a problem of the edit, if it cannot be made. A value in force
    // changes nothing, unless `everySetting` asks for every setting set to be written.
    std::optional<FileProblem> plan(const Planned& planned, std::vector<SettingChange>& changes, bool everySetting) {
        const std::string_view keyPath = kKeyPaths.at(planned.row);
        const std::optional<SettingPlace>& place = layout_.settings.at(planned.row);
        const std::string old = valueTextOf(planned.row, before_.reading.config);
        const std::string defaultValue = valueTextOf(planned.row, Config{});
        const std::string& now = planned.value ? *planned.value : defaultValue;
        if (old != now) {
            changes.push_back({std::string(keyPath), old, now});
        }
        if (!planned.value) {
            if (place) {
                unset(*place);
            }
            return std::nullopt;
        }
        // A value the file gives and the record took, or the default it would take, stays.
        const bool taken = before_.taken.at(planned.row).has_value();
        if (place ? taken && old == now : now == defaultValue && !everySetting) {
            return std::nullopt;
        }
        if (place) {
            splices_.push_back({place->value, now});
            return std::nullopt;
        }
        std::optional<FileProblem> problem = insert(keyPath, now);
        if (problem && old != now) {  // GCOVR_EXCL_BR_LINE: a value in force is inserted only into a new file
            changes.pop_back();
        }
        return problem;
    }

    // The text with every planned edit made, new sections at its end.
    std::string text() {
        std::string body = spliced(text_, splices_);
        std::string newSections;
        for (std::size_t index = 0; index < kSections.size(); ++index) {
            if (!newSectionLines_.at(index).empty()) {
                newSections.append(newSections.empty() ? "" : layout_.lineEnd);
                newSections.append(concatenate({"[", kSections.at(index), "]", layout_.lineEnd}));
                newSections.append(newSectionLines_.at(index));
            }
        }
        if (!newSections.empty()) {
            body.append(lineEndsBefore(body)).append(newSections);
        }
        return body;
    }

private:
    // A setting's line goes whole, or in an inline table the item with one comma.
    void unset(const SettingPlace& place) {
        if (place.style != TableStyle::inlineTable) {
            splices_.push_back({{lineStart(text_, place.key.begin), nextLineStart(text_, place.value.end)}, ""});
            return;
        }
        const std::size_t table = tableOf(place);
        removedItems_.at(table).push_back(place.item);
        const std::vector<Item>& items = layout_.tables.at(table)->items;
        const std::vector<std::size_t>& removed = removedItems_.at(table);
        const auto isRemoved = [&](std::size_t item) {
            return std::find(removed.begin(), removed.end(), item) != removed.end();
        };
        // From the item to the next one kept; after the last one kept, from the end of the one before.
        std::size_t next = place.item + 1;
        while (next < items.size() && isRemoved(next)) {
            ++next;
        }
        std::size_t previous = place.item;
        while (previous > 0 && isRemoved(previous - 1)) {
            --previous;
        }
        if (next < items.size()) {
            splices_.push_back({{items.at(place.item).key.begin, items.at(next).key.begin}, ""});
        } else if (previous > 0) {
            splices_.push_back({{items.at(previous - 1).value.end, items.at(place.item).value.end}, ""});
        } else {
            splices_.push_back({{items.at(place.item).key.begin, items.at(place.item).value.end}, ""});
        }
    }

    std::optional<FileProblem> insert(std::string_view keyPath, std::string_view value) {
        const std::string_view section = detail::sectionOf(keyPath);
        const std::string_view name = detail::memberNameOf(keyPath);
        const std::size_t index = tableIndex(section);
        const std::optional<SectionPlace>& place = layout_.tables.at(index);
        if (!place) {
            newSectionLines_.at(index).append(concatenate({name, " = ", value, layout_.lineEnd}));
            return std::nullopt;
        }
        if (place->style == TableStyle::inlineTable) {
            return FileProblem{std::string(keyPath), ProblemKind::syntax,
                               concatenate({section, kInlineTable, section, "] to add ", name}), 0, 0};
        }
        const std::string_view prefix = place->style == TableStyle::dotted ? section : std::string_view();
        // The last line of a text without its end gets one, once: the lines put after it have theirs.
        const bool lineEndFirst = place->lineEndFirst && std::exchange(lastLineUnended_, false);
        splices_.push_back({{place->insertAt, place->insertAt},
                            concatenate({lineEndFirst ? layout_.lineEnd : "", place->indent, prefix,
                                         prefix.empty() ? "" : ".", name, " = ", value, layout_.lineEnd})});
        return std::nullopt;
    }

    // What goes at the end of `body` before a new section: a line end, if
    // the last line has none, and a blank line, if there is none.
    [[nodiscard]] std::string lineEndsBefore(std::string_view body) const {
        const std::string_view content = body.substr(std::min(body.size(), lineStart(body, 0)));
        if (content.empty() || content == layout_.lineEnd || content.ends_with("\n\n") || content.ends_with("\n\r\n")) {
            return "";
        }
        std::string lineEnds(layout_.lineEnd);
        if (!content.ends_with('\n')) {
            lineEnds.append(layout_.lineEnd);
        }
        return lineEnds;
    }

    // The table whose items hold `place`.
    [[nodiscard]] std::size_t tableOf(const SettingPlace& place) const {
        std::size_t index = 0;
        while (!layout_.tables.at(index) || place.item >= layout_.tables.at(index)->items.size() ||
               layout_.tables.at(index)->items.at(place.item).key.begin != place.key.begin) {
            ++index;
        }
        return index;
    }

    std::string_view text_;
    const SettingsLayout& layout_;
    const TrackedReading& before_;
    std::vector<Splice> splices_;
    std::array<std::string, kSections.size()> newSectionLines_;
    std::array<std::vector<std::size_t>, kSections.size() + 1> removedItems_;
    bool lastLineUnended_ = true;  // until a line is put after it
};

}  // namespace

// The edit never writes a text that says other than it intends.
std::optional<std::string> file_internal::misread(const TrackedReading& before, const TrackedReading& after,
                                                  const std::vector<Planned>& planned) {
    for (std::size_t row = 0; row < kSettingCount; ++row) {
        const auto edit = std::find_if(planned.begin(), planned.end(), [&](const Planned& p) { return p.row == row; });
        const std::string now = valueTextOf(row, after.reading.config);
        const std::string was = valueTextOf(row, before.reading.config);
        const bool given = after.taken.at(row).has_value();
        const bool intended = edit == planned.end() ? now == was && given == before.taken.at(row).has_value()
                                                    : (edit->value ? now == *edit->value : !given);
        if (!intended) {
            return concatenate({"cannot be edited safely: the new text would give ", kKeyPaths.at(row), " the value ",
                                now, "; nothing was written (a fault of the edit: please report it, with the file)"});
        }
    }
    return std::nullopt;
}

std::string SettingEdit::given() const { return value ? concatenate({keyPath, "=", *value}) : keyPath; }

std::optional<SettingEdit> SettingEdit::parse(std::string_view assignment) {
    const std::size_t equals = assignment.find('=');
    if (equals == std::string_view::npos) {
        return std::nullopt;
    }
    return set(std::string(trimmed(assignment.substr(0, equals))), std::string(assignment.substr(equals + 1)));
}

TextEdit file_internal::editText(std::string_view text, const std::vector<SettingEdit>& edits,
                                 std::string_view fileName, bool everySetting) {
    TextEdit result{std::string(text), {}, {}};
    // Each edit alone: a key of a setting and a value of it. A later edit of a key replaces an earlier one.
    std::vector<SourcedProblem> editProblems;
    std::vector<Planned> planned;
    for (const SettingEdit& edit : edits) {
        const Source source{SourceKind::commandLine, edit.given()};
        const std::size_t row = rowOf(edit.keyPath);
        if (row == kSettingCount) {
            editProblems.push_back(
                {source, {edit.keyPath, ProblemKind::unknown, unknownKeyMessage(edit.keyPath), 0, 0}});
            continue;
        }
        std::optional<std::string> value;
        if (edit.value) {
            const TrackedReading read = readSettingValue(row, *edit.value);
            for (const FileProblem& problem : read.reading.problems) {
                editProblems.push_back({source, problem});
            }
            if (!read.reading.problems.empty()) {
                continue;
            }
            value = valueTextOf(row, read.reading.config);
        }
        std::erase_if(planned, [&](const Planned& earlier) { return earlier.row == row; });
        planned.push_back({row, &edit, std::move(value)});
    }

    const Source fileSource{SourceKind::file, std::string(fileName)};
    const std::optional<SettingsLayout> layout = findLayout(text);
    if (!layout) {
        // Not TOML: nothing can be found in it to edit.
        for (FileProblem& problem : readSettings(text).problems) {
            result.problems.push_back({fileSource, std::move(problem)});
        }
        result.problems.insert(result.problems.end(), editProblems.begin(), editProblems.end());
        return result;
    }
    const TrackedReading before = readSettingsTracked(text);
    TextEditor editor(text, *layout, before);
    for (const Planned& plan : planned) {
        if (std::optional<FileProblem> problem = editor.plan(plan, result.changes, everySetting)) {
            editProblems.push_back({{SourceKind::commandLine, plan.edit->given()}, std::move(*problem)});
        }
    }
    std::string edited = editor.text();
    // The new text is judged as the file would be, its size first.
    std::optional<std::string> refusal;
    if (edited.size() > kMaxSettingsFileBytes) {
        refusal = concatenate({"would be larger than ", sizeLimitText(), " once edited"});
    } else {
        TrackedReading after = readSettingsTracked(edited);
        if (editProblems.empty()) {
            refusal = misread(before, after, planned);
        }
        for (FileProblem& problem : after.reading.problems) {
            result.problems.push_back({fileSource, std::move(problem)});
        }
    }
    if (refusal) {
        result.problems.push_back({fileSource, {{}, ProblemKind::file, std::move(*refusal), 0, 0}});
    }
    result.problems.insert(result.problems.end(), editProblems.begin(), editProblems.end());
    if (editProblems.empty() && !refusal) {
        result.text = std::move(edited);
    }
    if (anyError(result.problems)) {
        result.changes.clear();
    }
    return result;
}

TextEdit editSettingsText(std::string_view text, const std::vector<SettingEdit>& edits, std::string_view fileName) {
    return editText(text, edits, fileName, false);
}

}  // namespace settings
