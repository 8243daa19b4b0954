#include "settings/table.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <type_traits>
#include <vector>

#include "settings/message_text.h"

namespace settings {
namespace {

// One line per rule of the table, as a tool that lists the rules sees it.
std::vector<std::string> describeRules() {
    std::vector<std::string> lines;
    forEachSetting([&](const auto& row) {
        for (const Rule& rule : row.rules) {
            lines.push_back(std::string(row.section()) + "|" + std::string(row.name()) + "|" +
                            std::string(ruleName(rule.kind)) + "|" + ruleText(rule, row.type));
        }
    });
    return lines;
}

// The table is the order of validation and the vocabulary of every tool.
TEST(SettingsTable, ListsTheNineRulesInOrder) {
    EXPECT_EQ(describeRules(), (std::vector<std::string>{
                                   "|version|equals|must equal 1",
                                   "audio|deviceNamePattern|nonEmpty|must not be empty",
                                   "audio|bufferSizeMs|range|must be in [5, 100]",
                                   "detection|sensitivity|range|must be in [0.0, 1.0]",
                                   "detection|minDurationMs|range|must be in [100, 2000]",
                                   "detection|cooldownMs|range|must be in [100, 2000]",
                                   "detection|fftSize|range|must be in [512, 8192]",
                                   "detection|fftSize|powerOfTwo|must be a power of 2",
                                   "training|dataFile|nonEmpty|must not be empty",
                               }));
}

// Each row's accessor reaches the member its key path names.
TEST(SettingsTable, RowsReachTheMembersTheyName) {
    Config config;
    config.version = 11;
    config.audio.deviceNamePattern = L"12";
    config.audio.bufferSizeMs = 13;
    config.detection.sensitivity = 14.0F;
    config.detection.minDurationMs = 15;
    config.detection.cooldownMs = 16;
    config.detection.fftSize = 17;
    config.training.dataFile = "18";
    std::vector<std::string> seen;
    forEachSetting([&](const auto& row) {
        const auto& value = row.member(config);
        if constexpr (std::is_arithmetic_v<std::remove_cvref_t<decltype(value)>>) {
            seen.push_back(std::string(row.keyPath) + "=" + std::to_string(static_cast<int>(value)));
        } else {
            seen.push_back(std::string(row.keyPath) + "=" + std::to_string(value.size()));
        }
    });
    EXPECT_EQ(seen,
              (std::vector<std::string>{"version=11", "audio.deviceNamePattern=2", "audio.bufferSizeMs=13",
                                        "detection.sensitivity=14", "detection.minDurationMs=15",
                                        "detection.cooldownMs=16", "detection.fftSize=17", "training.dataFile=2"}));
}

// Values wider than a member are judged exactly: a file may hold them.
TEST(Holds, JudgesWideValuesExactly) {
    constexpr std::int64_t kBeyond32Bits = 4294967297;  // 2^32 + 1, which wraps to 1
    EXPECT_FALSE(holds(equals(1), kBeyond32Bits));
    EXPECT_FALSE(holds(range(5, 100), std::int64_t{3000000000}));
    EXPECT_FALSE(holds(range(5, 100), std::numeric_limits<std::int64_t>::min()));
    EXPECT_TRUE(holds(range(5, 100), std::int64_t{100}));
    EXPECT_TRUE(holds(powerOfTwo(), std::int64_t{1} << 40));
    EXPECT_FALSE(holds(powerOfTwo(), std::int64_t{0}));
    EXPECT_FALSE(holds(powerOfTwo(), std::numeric_limits<std::int64_t>::min()));
    EXPECT_FALSE(holds(powerOfTwo(), std::int64_t{3}));
    // A double just above 1.0 that a float would round to 1.0.
    EXPECT_FALSE(holds(range(0.0, 1.0), 1.00000001));
    EXPECT_TRUE(holds(range(0.0, 1.0), -0.0));
    EXPECT_FALSE(holds(range(0.0, 1.0), std::nan("")));
    EXPECT_FALSE(holds(range(0.0, 1.0), -std::numeric_limits<double>::infinity()));
    EXPECT_TRUE(holds(nonEmpty(), std::string(" ")));
    EXPECT_FALSE(holds(nonEmpty(), std::wstring()));
}

// Each named member counts, reals by their bits; members without a key path do not.
TEST(SameNamedSettings, ComparesEveryNamedMember) {
    const Config defaults;
    forEachSetting([&](const auto& row) {
        Config changed;
        auto& member = row.member(changed);
        if constexpr (std::is_arithmetic_v<std::remove_cvref_t<decltype(member)>>) {
            member = member + 1;
        } else {
            member.clear();
        }
        EXPECT_FALSE(sameNamedSettings(changed, defaults)) << row.keyPath;
    });
    Config unnamed;
    unnamed.audio.fallbackDeviceNamePattern = L"USB";
    unnamed.training.shuffleSeed = 7;
    EXPECT_TRUE(sameNamedSettings(unnamed, defaults));
    Config nan;
    nan.detection.sensitivity = std::numeric_limits<float>::quiet_NaN();
    EXPECT_TRUE(sameNamedSettings(nan, nan));
    Config negativeZero;
    negativeZero.detection.sensitivity = -0.0F;
    Config zero;
    zero.detection.sensitivity = 0.0F;
    EXPECT_FALSE(sameNamedSettings(negativeZero, zero));
}

}  // namespace
}  // namespace settings
