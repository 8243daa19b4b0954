#include "settings/config.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <type_traits>

#include "settings/validation.h"

namespace settings {
namespace {

// The layout is part of the interface: members, their types, their order and
// their grouping. Designators must follow declaration order, so this stops
// compiling when a member moves within its sub-record or to another one.
Config everyMemberByDesignator() {
    return Config{
        .version = 2,
        .audio = {.deviceNamePattern = L"pattern", .fallbackDeviceNamePattern = L"fallback", .bufferSizeMs = 3},
        .detection = {.sensitivity = 0.25F, .minDurationMs = 4, .cooldownMs = 5, .fftSize = 6},
        .logging = {.enabled = false, .filePath = "log"},
        .training = {.dataFile = "data", .shuffleSeed = 7, .augmentSamples = true, .retrainOnStart = true},
    };
}

static_assert(std::is_aggregate_v<Config>);
static_assert(std::is_same_v<decltype(Config::version), std::int32_t>);
static_assert(std::is_same_v<decltype(AudioConfig::deviceNamePattern), std::wstring>);
static_assert(std::is_same_v<decltype(AudioConfig::fallbackDeviceNamePattern), std::wstring>);
static_assert(std::is_same_v<decltype(AudioConfig::bufferSizeMs), std::int32_t>);
static_assert(std::is_same_v<decltype(DetectionConfig::sensitivity), float>);
static_assert(std::is_same_v<decltype(DetectionConfig::minDurationMs), std::int32_t>);
static_assert(std::is_same_v<decltype(DetectionConfig::cooldownMs), std::int32_t>);
static_assert(std::is_same_v<decltype(DetectionConfig::fftSize), std::int32_t>);
static_assert(std::is_same_v<decltype(LoggingConfig::enabled), bool>);
static_assert(std::is_same_v<decltype(LoggingConfig::filePath), std::string>);
static_assert(std::is_same_v<decltype(TrainingConfig::dataFile), std::string>);
static_assert(std::is_same_v<decltype(TrainingConfig::shuffleSeed), std::uint64_t>);
static_assert(std::is_same_v<decltype(TrainingConfig::augmentSamples), bool>);
static_assert(std::is_same_v<decltype(TrainingConfig::retrainOnStart), bool>);

TEST(Config, DesignatorsFollowTheDeclaredOrder) {
    const Config config = everyMemberByDesignator();
    EXPECT_EQ(config.audio.fallbackDeviceNamePattern, L"fallback");
    EXPECT_EQ(config.detection.cooldownMs, 5);
    EXPECT_EQ(config.training.shuffleSeed, 7U);
}

TEST(Config, DefaultsAreTheDocumentedValues) {
    const Config config;
    EXPECT_EQ(config.version, 1);
    EXPECT_EQ(config.audio.deviceNamePattern, L"Beyond");
    EXPECT_EQ(config.audio.fallbackDeviceNamePattern, L"");
    EXPECT_EQ(config.audio.bufferSizeMs, 10);
    // The nearest float to 0.7, not a rounded double.
    EXPECT_EQ(std::bit_cast<std::uint32_t>(config.detection.sensitivity), 0x3F333333U);
    EXPECT_EQ(config.detection.minDurationMs, 300);
    EXPECT_EQ(config.detection.cooldownMs, 300);
    EXPECT_EQ(config.detection.fftSize, 2048);
    EXPECT_TRUE(config.logging.enabled);
    EXPECT_EQ(config.logging.filePath, "");
    EXPECT_EQ(config.training.dataFile, "training_data.bin");
    EXPECT_EQ(config.training.shuffleSeed, 0U);
    EXPECT_FALSE(config.training.augmentSamples);
    EXPECT_FALSE(config.training.retrainOnStart);
}

// Equality sees every member, the unnamed ones included.
TEST(Config, EqualityComparesEveryMember) {
    using Change = void (*)(Config&);
    const std::array<Change, 14> changes = {
        [](Config& c) { c.version = 2; },
        [](Config& c) { c.audio.deviceNamePattern = L"Other"; },
        [](Config& c) { c.audio.fallbackDeviceNamePattern = L"Other"; },
        [](Config& c) { c.audio.bufferSizeMs = 20; },
        [](Config& c) { c.detection.sensitivity = 0.5F; },
        [](Config& c) { c.detection.minDurationMs = 200; },
        [](Config& c) { c.detection.cooldownMs = 200; },
        [](Config& c) { c.detection.fftSize = 1024; },
        [](Config& c) { c.logging.enabled = false; },
        [](Config& c) { c.logging.filePath = "log.txt"; },
        [](Config& c) { c.training.dataFile = "other.bin"; },
        [](Config& c) { c.training.shuffleSeed = 1; },
        [](Config& c) { c.training.augmentSamples = true; },
        [](Config& c) { c.training.retrainOnStart = true; },
    };
    for (std::size_t member = 0; member < changes.size(); ++member) {
        Config config;
        changes[member](config);
        EXPECT_NE(config, Config{}) << "member " << member + 1;
    }
}

TEST(ValidationError, EqualityComparesFieldAndMessage) {
    const ValidationError error{"version", "must equal 1; got 0"};
    EXPECT_NE(error, (ValidationError{"audio.bufferSizeMs", error.message}));
    EXPECT_NE(error, (ValidationError{error.field, "must equal 1; got 2"}));
}

// wchar_t is 16 bits on Windows and 32 elsewhere, so a character outside the
// Basic Multilingual Plane takes two code units there and one here.
TEST(Config, PatternLengthCountsPlatformWideCharacters) {
    Config config;
    config.audio.deviceNamePattern = L"\U0001F3A4";
    EXPECT_EQ(config.audio.deviceNamePattern.size(), sizeof(wchar_t) == 2 ? 2U : 1U);
    EXPECT_EQ(validate(config), std::nullopt);
}

}  // namespace
}  // namespace settings
