// The table of the detector's named settings: one row per setting, in the order
// the rules run, with the key path, what the setting means, the member of
// Config it names, whether a change applies while the detector runs, and its
// rules with their bounds. Validation, the
// settings-file reader and writer and the JSON Schema all read these rows, so
// adding a setting or moving a bound is one edit here. What a row is made of
// is in settings/table_row.h and settings/rule.h; what judges a value by a row,
// in settings/detail/table_detail.h. Defaults stay where a record gets them:
// settings/config.h.
#pragma once

#include <algorithm>
#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <tuple>

#include "settings/config.h"
#include "settings/export.h"
#include "settings/table_row.h"

namespace settings {

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
            if (detail::sectionOf(kKeyPaths.at(earlier)) == detail::sectionOf(kKeyPaths.at(row))) {
                return false;
            }
        }
        return !detail::sectionOf(kKeyPaths.at(row)).empty();
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
            sections.at(next++) = detail::sectionOf(kKeyPaths.at(row));
        }
    }
    return sections;
}();

// Calls visit(setting) for each row, in order.
template <typename Visit>
constexpr void forEachSetting(Visit&& visit) {
    std::apply([&](const auto&... row) { (visit(row), ...); }, kSettings);
}

// Calls visit(row) for the row of `keyPath`, if there is one; returns whether there is.
template <typename Visit>
constexpr bool visitSetting(std::string_view keyPath, Visit&& visit) {
    bool found = false;
    forEachSetting([&](const auto& row) {
        if (row.keyPath == keyPath) {
            found = true;
            visit(row);
        }
    });
    return found;
}

// Calls visit(row) for the row of the member `name` of the table `section`
// ("" for the top level), as a file's tables and keys name it, if there is
// one; returns whether there is.
template <typename Visit>
constexpr bool visitSetting(std::string_view section, std::string_view name, Visit&& visit) {
    bool found = false;
    forEachSetting([&](const auto& row) {
        if (row.section() == section && row.name() == name) {
            found = true;
            visit(row);
        }
    });
    return found;
}

// Whether `a` and `b` hold the same named settings (sameValue). Members
// without a key path are not compared.
inline bool sameNamedSettings(const Config& a, const Config& b) {
    bool same = true;
    forEachSetting([&](const auto& row) { same = same && detail::sameValue(row.member(a), row.member(b)); });
    return same;
}

// Every rule suits its setting's type, and integer bounds are 32-bit integers.
static_assert(std::apply([](const auto&... row) { return (detail::rulesSuitType(row) && ...); }, kSettings));

// Their names before they moved to detail, kept for one release.
using detail::firstBrokenRule;
using detail::holds;
using detail::memberNameOf;
using detail::sameValue;
using detail::sectionOf;
using detail::valueTypeOf;

}  // namespace settings
