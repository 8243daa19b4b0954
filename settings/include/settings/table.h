// The table of the detector's named settings: one row per setting, in the order
// the rules run, with the key path, what the setting means, the member of
// Config it names, whether a change applies while the detector runs, and its
// rules with their bounds. Validation, the
// settings-file reader and writer and the JSON Schema all read these rows, so
// adding a setting or moving a bound is one edit here. Defaults stay where a
// record gets them: settings/config.h.
#pragma once

#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>

#include "settings/config.h"
#include "settings/export.h"

namespace settings {

// What a rule demands. ruleName gives its identifier: "range".
enum class RuleKind { equals, nonEmpty, range, powerOfTwo };

constexpr std::string_view ruleName(RuleKind kind) {
    constexpr std::array<std::string_view, 4> kNames = {"equals", "nonEmpty", "range", "powerOfTwo"};
    return kNames[static_cast<std::size_t>(kind)];
}

inline constexpr std::array kRuleKinds = {RuleKind::equals, RuleKind::nonEmpty, RuleKind::range, RuleKind::powerOfTwo};

// One rule of a setting. Bounds are inclusive; `equals` keeps its value in both.
struct Rule {
    RuleKind kind = RuleKind::nonEmpty;
    double min = 0;
    double max = 0;
};

constexpr Rule equals(double value) { return {RuleKind::equals, value, value}; }
constexpr Rule nonEmpty() { return {RuleKind::nonEmpty}; }
constexpr Rule range(double min, double max) { return {RuleKind::range, min, max}; }
constexpr Rule powerOfTwo() { return {RuleKind::powerOfTwo}; }

// True for 1, 2, 4, ... 2^62; false for zero and every negative value.
constexpr bool isPowerOfTwo(std::int64_t value) { return value > 0 && (value & (value - 1)) == 0; }

// Whether `value` keeps `rule`. `equals` keeps its value as both bounds, so
// one comparison serves it and `range`. Integers are judged exactly at any
// width; NaN fails every bound, which is finite; texts have only a length.
template <typename Value>
constexpr bool holds(const Rule& rule, const Value& value) {
    if constexpr (std::is_integral_v<Value>) {
        const auto wide = static_cast<std::int64_t>(value);
        if (rule.kind == RuleKind::powerOfTwo) {
            return isPowerOfTwo(wide);
        }
        return static_cast<std::int64_t>(rule.min) <= wide && wide <= static_cast<std::int64_t>(rule.max);
    } else if constexpr (std::is_floating_point_v<Value>) {
        return rule.min <= value && value <= rule.max;
    } else {
        return !value.empty();
    }
}

// The first rule of `row` that `value` breaks, in the row's order; null when it keeps them all.
template <typename Row, typename Value>
constexpr const Rule* firstBrokenRule(const Row& row, const Value& value) {
    for (const Rule& rule : row.rules) {
        if (!holds(rule, value)) {
            return &rule;
        }
    }
    return nullptr;
}

// The kind of value a setting holds, from the type of its member.
enum class ValueType { integer, real, text, wideText };

template <typename Value>
constexpr ValueType valueTypeOf() {
    if constexpr (std::is_same_v<Value, std::int32_t>) {
        return ValueType::integer;
    } else if constexpr (std::is_same_v<Value, float>) {
        return ValueType::real;
    } else if constexpr (std::is_same_v<Value, std::string>) {
        return ValueType::text;
    } else {
        static_assert(std::is_same_v<Value, std::wstring>, "a setting is an int32, a float or a string");
        return ValueType::wideText;
    }
}

// "audio" of "audio.bufferSizeMs"; empty for a top-level key such as "version".
constexpr std::string_view sectionOf(std::string_view keyPath) {
    const std::size_t point = keyPath.rfind('.');
    return point == std::string_view::npos ? std::string_view{} : keyPath.substr(0, point);
}

// "bufferSizeMs" of "audio.bufferSizeMs"; the whole of a top-level key.
constexpr std::string_view memberNameOf(std::string_view keyPath) { return keyPath.substr(keyPath.rfind('.') + 1); }

// When a change of a setting takes effect in the running detector: at once,
// or at its next start, for the settings that shape the audio pipeline.
enum class Applies { live, atRestart };

// "live", "at restart": as tools and people read it.
constexpr std::string_view appliesName(Applies applies) { return applies == Applies::live ? "live" : "at restart"; }

// One named setting. `member` maps a Config (const or not) to the setting's member.
template <typename Member, std::size_t RuleCount>
struct Setting {
    using Value = std::remove_cvref_t<std::invoke_result_t<const Member&, Config&>>;
    static constexpr ValueType type = valueTypeOf<Value>();

    std::string_view keyPath;
    std::string_view meaning;
    Applies applies;
    Member member;
    std::array<Rule, RuleCount> rules;  // in order; only the first broken one is reported

    [[nodiscard]] constexpr std::string_view section() const { return sectionOf(keyPath); }
    [[nodiscard]] constexpr std::string_view name() const { return memberNameOf(keyPath); }
};

// A row of the table: key path, member, meaning, when a change applies, then the rules in order.
template <typename Member, typename... Rules>
constexpr auto setting(std::string_view keyPath, Member member, std::string_view meaning, Applies applies,
                       Rules... rules) {
    return Setting<Member, sizeof...(Rules)>{keyPath, meaning, applies, member, {rules...}};
}

// The table. Rules run row by row, and within a row in the order given.
// clang-format off
inline constexpr std::tuple kSettings{
    setting("version", [](auto& c) -> auto& { return c.version; },
            "version of the settings layout",
            Applies::live,
            equals(1)),
    setting("audio.deviceNamePattern", [](auto& c) -> auto& { return c.audio.deviceNamePattern; },
            "pattern that selects the capture device by its name",
            Applies::atRestart,
            nonEmpty()),
    setting("audio.bufferSizeMs", [](auto& c) -> auto& { return c.audio.bufferSizeMs; },
            "capture buffer length, in milliseconds",
            Applies::atRestart,
            range(5, 100)),
    setting("detection.sensitivity", [](auto& c) -> auto& { return c.detection.sensitivity; },
            "detection sensitivity, from 0.0 to 1.0",
            Applies::live,
            range(0.0, 1.0)),
    setting("detection.minDurationMs", [](auto& c) -> auto& { return c.detection.minDurationMs; },
            "shortest event that is reported, in milliseconds",
            Applies::live,
            range(100, 2000)),
    setting("detection.cooldownMs", [](auto& c) -> auto& { return c.detection.cooldownMs; },
            "quiet time after a detection, in milliseconds",
            Applies::live,
            range(100, 2000)),
    setting("detection.fftSize", [](auto& c) -> auto& { return c.detection.fftSize; },
            "FFT length, in points",
            Applies::atRestart,
            range(512, 8192), powerOfTwo()),
    setting("training.dataFile", [](auto& c) -> auto& { return c.training.dataFile; },
            "path of the training data file",
            Applies::atRestart,
            nonEmpty()),
};
// clang-format on

inline constexpr std::size_t kSettingCount = std::tuple_size_v<decltype(kSettings)>;

// The key paths of the rows, in order.
inline constexpr auto kKeyPaths = std::apply(
    [](const auto&... row) { return std::array<std::string_view, sizeof...(row)>{row.keyPath...}; }, kSettings);

// The row of `keyPath` in the table; kSettingCount when no setting has that key path.
constexpr std::size_t rowOf(std::string_view keyPath) {
    std::size_t row = 0;
    while (row < kKeyPaths.size() && kKeyPaths.at(row) != keyPath) {
        ++row;
    }
    return row;
}

// What every environment variable of a setting starts with.
inline constexpr std::string_view kEnvironmentPrefix = "DETECTOR_";

// The environment variable of a setting: kEnvironmentPrefix, the section, "_",
// then the member in upper snake case, each capital starting a word:
// "DETECTOR_AUDIO_BUFFER_SIZE_MS", "DETECTOR_VERSION".
DETECTOR_SETTINGS_EXPORT std::string environmentName(std::string_view keyPath);

// Key paths are words of letters, each part starting lower case, apart by single points.
static_assert(std::all_of(kKeyPaths.begin(), kKeyPaths.end(), [](std::string_view keyPath) {
    bool partStart = true;
    for (const char c : keyPath) {
        const bool lower = c >= 'a' && c <= 'z';
        if (!(lower || (c == '.' && !partStart) || (c >= 'A' && c <= 'Z' && !partStart))) {
            return false;
        }
        partStart = c == '.';
    }
    return !partStart;
}));

// The sections, each once, in order of first appearance: "audio", "detection", "training".
inline constexpr auto kSections = [] {
    constexpr auto isNew = [](std::size_t row) {
        for (std::size_t earlier = 0; earlier < row; ++earlier) {
            if (sectionOf(kKeyPaths.at(earlier)) == sectionOf(kKeyPaths.at(row))) {
                return false;
            }
        }
        return !sectionOf(kKeyPaths.at(row)).empty();
    };
    constexpr std::size_t count = [&] {
        std::size_t sections = 0;
        for (std::size_t row = 0; row < kKeyPaths.size(); ++row) {
            sections += isNew(row) ? 1U : 0U;
        }
        return sections;
    }();
    std::array<std::string_view, count> sections{};
    std::size_t next = 0;
    for (std::size_t row = 0; row < kKeyPaths.size(); ++row) {
        if (isNew(row)) {
            sections.at(next++) = sectionOf(kKeyPaths.at(row));
        }
    }
    return sections;
}();

// Calls visit(setting) for each row, in order.
template <typename Visit>
constexpr void forEachSetting(Visit&& visit) {
    std::apply([&](const auto&... row) { (visit(row), ...); }, kSettings);  // GCOVR_EXCL_BR_LINE: template instances
}

// Whether two values of a setting are the same, reals compared bit for bit,
// so that a NaN equals itself.
template <typename Value>
bool sameValue(const Value& a, const Value& b) {
    if constexpr (std::is_floating_point_v<Value>) {
        return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b);
    } else {
        return a == b;
    }
}

// Whether `a` and `b` hold the same named settings (sameValue). Members
// without a key path are not compared.
inline bool sameNamedSettings(const Config& a, const Config& b) {
    bool same = true;
    forEachSetting([&](const auto& row) {  // GCOVR_EXCL_BR_LINE: template instances
        same = same && sameValue(row.member(a), row.member(b));
    });
    return same;
}

// Every rule suits its setting's type, and integer bounds are 32-bit integers.
template <typename Row>
constexpr bool rulesSuitType(const Row& row) {
    for (const Rule& rule : row.rules) {
        const bool numeric = rule.kind == RuleKind::equals || rule.kind == RuleKind::range;
        const bool suits = Row::type == ValueType::integer ? rule.kind != RuleKind::nonEmpty
                           : Row::type == ValueType::real  ? numeric
                                                           : rule.kind == RuleKind::nonEmpty;
        const auto fitsInteger = [](double bound) {
            using Limits = std::numeric_limits<std::int32_t>;
            return bound >= Limits::min() && bound <= Limits::max() &&
                   bound == static_cast<double>(static_cast<std::int32_t>(bound));
        };
        if (!suits || rule.min > rule.max ||
            (Row::type == ValueType::integer && !(fitsInteger(rule.min) && fitsInteger(rule.max)))) {
            return false;
        }
    }
    return true;
}
static_assert(std::apply([](const auto&... row) { return (rulesSuitType(row) && ...); }, kSettings));

}  // namespace settings
