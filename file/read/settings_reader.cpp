// Reading settings files: toml++ parses the text and keeps the position of
// every key and value; the table of settings says what each key must hold.
#include "file/read/internal/settings_reader.h"

#include <utf8.h>  // utfcpp

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <numeric>
#include <tuple>
#include <type_traits>

#include "file/base/internal/characters.h"
#include "file/base/internal/value_text.h"
#include "file/read/internal/toml_guard.h"
#include "file/read/internal/toml_library.h"
#include "settings/message_text.h"
#include "settings/read.h"
#include "settings/table.h"
#include "settings/text_lines.h"

namespace settings {

using namespace file_internal;
namespace {

// Fixed texts of the reader's own problems.
constexpr std::string_view kMustBe = "must be ";
constexpr std::string_view kExpectedTable = "a table";
constexpr std::string_view kNotOneLine = "a value must be on one line";
// Where toml++ says that the text ended, a value given alone says so of itself.
constexpr std::string_view kEndOfFile = "end-of-file";
constexpr std::string_view kEndOfValue = "the end of the value";
constexpr std::string_view kNotUtf8 = "text that is not UTF-8";

// An override's value is read as the value of this key, on a line of its own.
constexpr std::string_view kValueKey = "value";

// What a setting of each type must be, as messages name it.
std::string_view expectedName(ValueType type) {
    return type == ValueType::integer ? "an integer" : type == ValueType::real ? "a number" : "a string";
}

// What a TOML value is, as messages name it, by toml::node_type.
constexpr std::array<std::string_view, 10> kTypeNames = {
    "nothing", "a table",   "an array", "a string", "an integer",
    "a float", "a boolean", "a date",   "a time",   "a date-time",
};
static_assert(static_cast<std::size_t>(toml::node_type::date_time) == kTypeNames.size() - 1);

// Whether `value`, blanks aside, opens a TOML string.
bool startsAsString(std::string_view value) {
    const std::size_t first = value.find_first_not_of(" \t");
    return first != std::string_view::npos && std::string_view("\"'").find(value[first]) != std::string_view::npos;
}

// What a text setting given bytes that are not UTF-8 is told.
std::string notUtf8Message() { return concatenate({kMustBe, expectedName(ValueType::text), kGot, kNotUtf8}); }

std::string_view typeName(toml::node_type type) { return kTypeNames[static_cast<std::size_t>(type)]; }

// The problem of a value that breaks a rule of the kind `rule`: the first
// problem kinds are the rule kinds, in their order.
constexpr ProblemKind brokenRule(RuleKind rule) { return static_cast<ProblemKind>(rule); }
static_assert(std::all_of(kRuleKinds.begin(), kRuleKinds.end(),
                          [](RuleKind rule) { return problemKindName(brokenRule(rule)) == ruleName(rule); }));

}  // namespace

namespace {

// A key as TOML writes it: bare when it can be, quoted otherwise ("a.b", ""),
// so that two different keys never read the same.
std::string keyText(std::string_view key) {
    if (!key.empty() && std::all_of(key.begin(), key.end(), isBareKeyCharacter)) {
        return std::string(key);
    }
    return quotedString(key);
}

// Problems come in the order of the tables' keys and are told in the text's.
// Their positions are sorted, with their first order breaking ties, and then
// the problems are moved once.
void sortByPosition(std::vector<FileProblem>& problems) {
    const auto position = [&](std::size_t index) {
        return std::tuple(problems[index].line, problems[index].column, index);
    };
    std::vector<std::size_t> order(problems.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    if (std::is_sorted(order.begin(), order.end(), [&](auto a, auto b) { return position(a) < position(b); })) {
        return;
    }
    std::sort(order.begin(), order.end(), [&](auto a, auto b) { return position(a) < position(b); });
    std::vector<FileProblem> sorted;
    sorted.reserve(problems.size());
    for (const std::size_t index : order) {
        sorted.push_back(std::move(problems[index]));
    }
    problems = std::move(sorted);
}

class Reader {
public:
    explicit Reader(std::string_view text) : text_(text) {}

    TrackedReading read() {
        const GuardedText guarded = guardToml(text_);
        if (const std::optional<TomlRefusal>& refusal = guarded.refusal) {
            // The text up to the refused key or bracket, that one character
            // included, nests one level beyond the limit at most, and an error
            // in it comes first. Cut off there, the text ends in the middle of
            // what it was saying, which toml++ reports as the end of the text:
            // then the refusal is the first error. (Ending there, the text never
            // parses; the test that it failed only guards reading its error.)
            const toml::parse_result before = toml::parse(text_.substr(0, refusal->offset + 1));
            if (!before &&  // GCOVR_EXCL_BR_LINE
                before.error().description().find("end-of-file") == std::string_view::npos) {
                addSyntaxError(before.error());
            } else {
                const auto [line, column] = lines().position(refusal->offset);
                add({}, ProblemKind::syntax, refusal->message, line, column);
            }
            return {std::move(reading_), {}};
        }
        toml::parse_result parsed = toml::parse(guarded.parseable);
        if (!parsed) {
            addSyntaxError(parsed.error());
        } else {
            readTopLevel(parsed.table());
        }
        sortByPosition(reading_.problems);
        return {std::move(reading_), taken_};
    }

    // The text is kValueKey, " = " and `value`: a setting's value as a file
    // would give it, read and judged as the file's. A text setting whose
    // value is not a TOML string takes the value itself. Nothing has a position.
    TrackedReading readValue(std::size_t row, std::string_view value) {
        visitSetting(kKeyPaths.at(row), [&](const auto& setting) { this->readValueOf(setting, value); });
        for (FileProblem& problem : reading_.problems) {
            problem.line = 0;
            problem.column = 0;
        }
        for (std::optional<ValuePosition>& position : taken_) {
            position = position ? std::optional(ValuePosition{}) : std::nullopt;
        }
        return {std::move(reading_), taken_};
    }

private:
    template <typename Row>
    void readValueOf(const Row& row, std::string_view value) {
        // A value of several lines could hold keys of its own, whatever its type: none is read.
        if (value.find_first_of("\r\n") != std::string_view::npos) {       // GCOVR_EXCL_BR_LINE: template instances
            add({}, ProblemKind::syntax, std::string(kNotOneLine), 0, 0);  // GCOVR_EXCL_BR_LINE: template instances
            return;
        }
        const std::string keyPath(row.keyPath);
        const GuardedText guarded = guardToml(text_);
        std::optional<toml::parse_result> parsed;
        if (!guarded.refusal) {
            parsed = toml::parse(guarded.parseable);
        }
        const toml::node* node = parsed && *parsed ? parsed->table().get(kValueKey) : nullptr;
        if constexpr (Row::type == ValueType::text || Row::type == ValueType::wideText) {
            // A value that opens a TOML string must be one, as in a file.
            if (node == nullptr ? !startsAsString(value) : !node->is_string()) {
                if (!utf8::is_valid(value.begin(), value.end())) {
                    add(keyPath, ProblemKind::type, notUtf8Message(), 0, 0);  // GCOVR_EXCL_BR_LINE: template instance
                    return;
                }
                readText(row, keyPath, toml::value<std::string>(std::string(value)));
                return;
            }
        }
        if (node != nullptr) {
            readSetting(row, keyPath, *node);
        } else if (parsed) {
            // The value is all the text: its end is no file's.
            std::string message(parsed->error().description());
            if (message.ends_with(kEndOfFile)) {  // GCOVR_EXCL_BR_LINE: template instances
                message.replace(message.size() - kEndOfFile.size(), kEndOfFile.size(),  // GCOVR_EXCL_BR_LINE
                                kEndOfValue);
            }
            add({}, ProblemKind::syntax, std::move(message), 0, 0);  // GCOVR_EXCL_BR_LINE: template instance
        } else {
            add({}, ProblemKind::syntax, guarded.refusal->message, 0, 0);  // GCOVR_EXCL_BR_LINE: template instance
        }
    }

    // The record takes the value of `row` from this text, which stands at `where`.
    template <typename Row>
    void take(const Row& row, const toml::node& where) {
        taken_.at(rowOf(row.keyPath)) =
            ValuePosition{static_cast<int>(where.source().begin.line), static_cast<int>(where.source().begin.column)};
    }

    // Positions are needed only for problems and a few values: indexed on first use.
    const TextLines& lines() {
        if (!lines_) {
            lines_.emplace(text_);
        }
        return *lines_;
    }

    // toml++ places some errors at the end of the text one column past the line's
    // end; a problem stands at most just after the last character of its line.
    void add(std::string key, ProblemKind kind, std::string message, int line, int column) {
        reading_.problems.push_back(
            {std::move(key), kind, std::move(message), line, std::min(column, lines().length(line) + 1)});
    }

    void add(std::string key, ProblemKind kind, std::string message, const toml::source_region& where) {
        add(std::move(key), kind, std::move(message), static_cast<int>(where.begin.line),
            static_cast<int>(where.begin.column));
    }

    void addSyntaxError(const toml::parse_error& error) {
        add({}, ProblemKind::syntax, std::string(error.description()), error.source());
    }

    void addWrongType(std::string key, std::string_view expected, const toml::node& value) {
        add(std::move(key), ProblemKind::type, concatenate({kMustBe, expected, kGot, typeName(value.type())}),
            value.source());
    }

    // `rawPath` is the key's parts joined by points, whatever they hold: what a
    // suggestion is measured against.
    void addUnknown(std::string shownPath, std::string_view rawPath, const toml::key& key) {
        add(std::move(shownPath), ProblemKind::unknown, unknownSettingMessage(closestKey(rawPath, true)), key.source());
    }

    // The top level: settings such as `version`, and the sections' tables.
    // Keys are matched part by part: the quoted key "audio.bufferSizeMs" is one
    // key of the top level, not the setting.
    void readTopLevel(const toml::table& root) {
        for (const auto& entry : root) {
            const std::string_view key = entry.first.str();
            if (readIfSetting({}, key, entry.second)) {
                continue;
            }
            if (std::find(kSections.begin(), kSections.end(), key) == kSections.end()) {
                addUnknown(keyText(key), key, entry.first);
            } else if (const toml::table* section = entry.second.as_table()) {
                readSection(*section, key);
            } else {
                addWrongType(std::string(key), kExpectedTable, entry.second);
            }
        }
    }

    // A section's table: settings only; a table inside it is an unknown key.
    void readSection(const toml::table& table, std::string_view section) {
        for (const auto& entry : table) {
            const std::string_view key = entry.first.str();
            if (!readIfSetting(section, key, entry.second)) {
                addUnknown(concatenate({section, ".", keyText(key)}), concatenate({section, ".", key}), entry.first);
            }
        }
    }

    // Reads the setting `key` of `section` ("" for the top level), if the table has one there.
    bool readIfSetting(std::string_view section, std::string_view key, const toml::node& value) {
        return visitSetting(section, key,
                            [&](const auto& row) { this->readSetting(row, std::string(row.keyPath), value); });
    }

    template <typename Row>
    void readSetting(const Row& row, const std::string& keyPath, const toml::node& value) {
        if constexpr (Row::type == ValueType::integer) {
            readInteger(row, keyPath, value);
        } else if constexpr (Row::type == ValueType::real) {
            readReal(row, keyPath, value);
        } else {
            readText(row, keyPath, value);
        }
    }

    // Judges `value` by the row's rules, as validate would; the first broken one is reported.
    template <typename Row, typename Value>
    void judge(const Row& row, const std::string& keyPath, const Value& value, std::string_view renderedValue,
               const toml::node& node) {
        if (const Rule* broken = detail::firstBrokenRule(row, value)) {
            std::string message = ruleMessage(*broken, Row::type, renderedValue);       // GCOVR_EXCL_BR_LINE
            add(keyPath, brokenRule(broken->kind), std::move(message), node.source());  // GCOVR_EXCL_BR_LINE
        }
    }

    // Integers, and floats without a fractional part, as JSON Schema's integer allows.
    template <typename Row>
    void readInteger(const Row& row, const std::string& keyPath, const toml::node& node) {
        constexpr double kInt64Limit = 9223372036854775808.0;  // 2^63
        std::int64_t value = 0;
        if (const auto* integer = node.as_integer()) {
            value = integer->get();
        } else if (const auto* real = node.as_floating_point();
                   real != nullptr && std::isfinite(real->get()) && real->get() == std::trunc(real->get())) {
            const double whole = real->get();
            if (std::abs(whole) >= kInt64Limit) {
                // Beyond any integer a member could hold, so it fails every bound.
                judge(row, keyPath, whole, shortestText(whole), node);  // GCOVR_EXCL_BR_LINE
                return;
            }
            value = static_cast<std::int64_t>(whole);
        } else {
            addWrongType(keyPath, expectedName(Row::type), node);  // GCOVR_EXCL_BR_LINE
            return;
        }
        judge(row, keyPath, value, renderInteger(value), node);
        if (value >= std::numeric_limits<std::int32_t>::min() && value <= std::numeric_limits<std::int32_t>::max()) {
            row.member(reading_.config) = static_cast<std::int32_t>(value);
            take(row, node);
        }
    }

    template <typename Row>
    void readReal(const Row& row, const std::string& keyPath, const toml::node& node) {
        double value = 0;
        if (const auto* real = node.as_floating_point()) {
            value = real->get();
            // toml++ drops the sign of "-nan"; the text keeps it.
            if (std::isnan(value)) {
                const auto line = static_cast<int>(node.source().begin.line);
                const std::string_view written =
                    lines().line(line).substr(lines().byteOffset(line, static_cast<int>(node.source().begin.column)));
                value = std::copysign(value, written.starts_with('-') ? -1.0 : 1.0);
            }
        } else if (const auto* integer = node.as_integer()) {
            value = static_cast<double>(integer->get());
        } else {
            addWrongType(keyPath, expectedName(Row::type), node);
            return;
        }
        judge(row, keyPath, value, renderReal(value), node);
        // Below 2^128 - 2^103, halfway from the largest float to 2^128, a value rounds to a finite float.
        const double kFloatOverflow = std::ldexp(2.0 - std::ldexp(1.0, -24), 127);
        if (!std::isfinite(value) || std::abs(value) < kFloatOverflow) {
            row.member(reading_.config) = static_cast<float>(value);
            take(row, node);
        }
    }

    template <typename Row>
    void readText(const Row& row, const std::string& keyPath, const toml::node& node) {
        const auto* text = node.as_string();
        if (text == nullptr) {
            addWrongType(keyPath, expectedName(Row::type), node);
            return;
        }
        const std::string& value = text->get();
        judge(row, keyPath, value, {}, node);
        if constexpr (Row::type == ValueType::wideText) {
            row.member(reading_.config) = format::wideFromUtf8(value);
        } else {
            row.member(reading_.config) = value;
        }
        take(row, node);
    }

    std::string_view text_;
    std::optional<TextLines> lines_;
    FileReading reading_;
    std::array<std::optional<ValuePosition>, kSettingCount> taken_;
};

}  // namespace

FileReading readSettings(std::string_view tomlText) { return Reader(tomlText).read().reading; }

TrackedReading file_internal::readSettingsTracked(std::string_view tomlText) { return Reader(tomlText).read(); }

TrackedReading file_internal::readSettingValue(std::size_t row, std::string_view value) {
    const std::string text = concatenate({kValueKey, " = ", value});
    return Reader(text).readValue(row, value);
}

}  // namespace settings
