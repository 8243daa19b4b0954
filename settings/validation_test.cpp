#include "settings/validation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "values_test_support.h"

namespace settings {
namespace {

using namespace test;

// Accessors of the named members, so that a row of a table can change one.
template <typename T>
using Member = T& (*)(Config&);
const Member<std::int32_t> version = [](Config & c) -> auto& { return c.version; };
const Member<std::wstring> deviceNamePattern = [](Config & c) -> auto& { return c.audio.deviceNamePattern; };
const Member<std::int32_t> bufferSizeMs = [](Config & c) -> auto& { return c.audio.bufferSizeMs; };
const Member<float> sensitivity = [](Config & c) -> auto& { return c.detection.sensitivity; };
const Member<std::int32_t> minDurationMs = [](Config & c) -> auto& { return c.detection.minDurationMs; };
const Member<std::int32_t> cooldownMs = [](Config & c) -> auto& { return c.detection.cooldownMs; };
const Member<std::int32_t> fftSize = [](Config & c) -> auto& { return c.detection.fftSize; };
const Member<std::string> dataFile = [](Config & c) -> auto& { return c.training.dataFile; };

// The record with one member set; chain calls to set more.
template <typename T>
Config with(Member<T> member, T value, Config config = {}) {
    member(config) = std::move(value);
    return config;
}

// Members without a key path are not examined, whatever they hold.
Config withUnnamedMembersChanged() {
    Config config;
    config.audio.fallbackDeviceNamePattern = L"Backup";
    config.logging = {false, "log.txt"};
    config.training.shuffleSeed = 1;
    config.training.augmentSamples = config.training.retrainOnStart = true;
    return config;
}

// A row: a record and the outcome it must give; no field means valid.
struct Case {
    Case(std::string caseName, Config record, std::string errorField = {}, std::string errorMessage = {})
        : name(std::move(caseName)),
          config(std::move(record)),
          field(std::move(errorField)),
          message(std::move(errorMessage)) {}

    std::string name;
    Config config;
    std::string field;
    std::string message;
};

std::ostream& operator<<(std::ostream& out, const Case& c) { return out << c.name; }

std::optional<ValidationError> expectedOutcome(const Case& c) {
    return c.field.empty() ? std::nullopt : std::optional(ValidationError{c.field, c.message});
}

class ValidateTest : public testing::TestWithParam<Case> {};

TEST_P(ValidateTest, GivesExpectedOutcome) { EXPECT_EQ(validate(GetParam().config), expectedOutcome(GetParam())); }

TEST_P(ValidateTest, RepeatsOutcomeAndLeavesRecordUnchanged) {
    const Config& original = GetParam().config;
    Config record = original;
    const std::optional<ValidationError> first = validate(record);
    EXPECT_EQ(validate(record), first);
    // A NaN sensitivity never compares equal, so compare its bits instead.
    EXPECT_EQ(std::bit_cast<std::uint32_t>(record.detection.sensitivity),
              std::bit_cast<std::uint32_t>(original.detection.sensitivity));
    EXPECT_EQ(with(sensitivity, 0.0F, record), with(sensitivity, 0.0F, original));
}

std::string caseName(const testing::TestParamInfo<Case>& info) { return info.param.name; }

const std::string kBufferRange = "must be in [5, 100]; got ";
const std::string kSensitivityRange = "must be in [0.0, 1.0]; got ";
const std::string kDurationRange = "must be in [100, 2000]; got ";
const std::string kFftRange = "must be in [512, 8192]; got ";
const std::string kPowerOfTwo = "must be a power of 2; got ";

// Every rule: both inclusive bounds pass, one step outside fails with the exact text.
INSTANTIATE_TEST_SUITE_P(
    Bounds, ValidateTest,
    testing::Values(
        Case{"Defaults", {}},  //
        Case{"Version0", with(version, 0), "version", "must equal 1; got 0"},
        Case{"Version2", with(version, 2), "version", "must equal 1; got 2"},
        Case{"VersionIntMin", with(version, kIntMin), "version", "must equal 1; got -2147483648"},
        Case{"VersionIntMax", with(version, kIntMax), "version", "must equal 1; got 2147483647"},
        Case{"PatternEmpty", with(deviceNamePattern, {}), "audio.deviceNamePattern", "must not be empty"},
        Case{"PatternBlank", with(deviceNamePattern, {L" "})},
        Case{"PatternZeroCharacter", with(deviceNamePattern, std::wstring(1, L'\0'))},
        Case{"Buffer5", with(bufferSizeMs, 5)}, Case{"Buffer100", with(bufferSizeMs, 100)},
        Case{"Buffer4", with(bufferSizeMs, 4), "audio.bufferSizeMs", kBufferRange + "4"},
        Case{"Buffer101", with(bufferSizeMs, 101), "audio.bufferSizeMs", kBufferRange + "101"},
        Case{"Buffer0", with(bufferSizeMs, 0), "audio.bufferSizeMs", kBufferRange + "0"},
        Case{"BufferIntMin", with(bufferSizeMs, kIntMin), "audio.bufferSizeMs", kBufferRange + "-2147483648"},
        Case{"Sensitivity0", with(sensitivity, 0.0F)}, Case{"SensitivityMinus0", with(sensitivity, -0.0F)},
        Case{"SensitivityDenormal", with(sensitivity, kDenormalMin)}, Case{"Sensitivity1", with(sensitivity, 1.0F)},
        Case{"SensitivityAbove1", with(sensitivity, kAboveOne), "detection.sensitivity",
             kSensitivityRange + "1.000000"},
        Case{"SensitivityNegativeDenormal", with(sensitivity, -kDenormalMin), "detection.sensitivity",
             kSensitivityRange + "-0.000000"},
        Case{"SensitivityMinus1", with(sensitivity, -1.0F), "detection.sensitivity", kSensitivityRange + "-1.000000"},
        Case{"SensitivityNaN", with(sensitivity, kNaN), "detection.sensitivity", kSensitivityRange + "nan"},
        Case{"SensitivityNegativeNaN", with(sensitivity, -kNaN), "detection.sensitivity", kSensitivityRange + "-nan"},
        Case{"SensitivityInf", with(sensitivity, kInf), "detection.sensitivity", kSensitivityRange + "inf"},
        Case{"SensitivityMinusInf", with(sensitivity, -kInf), "detection.sensitivity", kSensitivityRange + "-inf"},
        Case{"SensitivityLargest", with(sensitivity, std::numeric_limits<float>::max()), "detection.sensitivity",
             kSensitivityRange + "340282346638528859811704183484516925440.000000"},
        Case{"MinDuration100", with(minDurationMs, 100)}, Case{"MinDuration2000", with(minDurationMs, 2000)},
        Case{"MinDuration99", with(minDurationMs, 99), "detection.minDurationMs", kDurationRange + "99"},
        Case{"MinDuration2001", with(minDurationMs, 2001), "detection.minDurationMs", kDurationRange + "2001"},
        Case{"Cooldown100", with(cooldownMs, 100)}, Case{"Cooldown2000", with(cooldownMs, 2000)},
        Case{"Cooldown99", with(cooldownMs, 99), "detection.cooldownMs", kDurationRange + "99"},
        Case{"Cooldown2001", with(cooldownMs, 2001), "detection.cooldownMs", kDurationRange + "2001"},
        Case{"CooldownMinus100", with(cooldownMs, -100), "detection.cooldownMs", kDurationRange + "-100"},
        Case{"CooldownIntMax", with(cooldownMs, kIntMax), "detection.cooldownMs", kDurationRange + "2147483647"},
        Case{"Fft512", with(fftSize, 512)}, Case{"Fft1024", with(fftSize, 1024)}, Case{"Fft4096", with(fftSize, 4096)},
        Case{"Fft8192", with(fftSize, 8192)},
        Case{"Fft511", with(fftSize, 511), "detection.fftSize", kFftRange + "511"},
        Case{"Fft8193", with(fftSize, 8193), "detection.fftSize", kFftRange + "8193"},
        Case{"Fft513", with(fftSize, 513), "detection.fftSize", kPowerOfTwo + "513"},
        Case{"Fft1000", with(fftSize, 1000), "detection.fftSize", kPowerOfTwo + "1000"},
        Case{"Fft8191", with(fftSize, 8191), "detection.fftSize", kPowerOfTwo + "8191"},
        Case{"DataFileEmpty", with(dataFile, {}), "training.dataFile", "must not be empty"},
        Case{"DataFileBlank", with(dataFile, {" "})}, Case{"UnnamedMembersIgnored", withUnnamedMembersChanged()}),
    caseName);

// Rules run in a fixed order; the first failure hides every later one.
INSTANTIATE_TEST_SUITE_P(
    Order, ValidateTest,
    testing::Values(
        Case{"VersionBeforeDataFile", with(version, 2, with(dataFile, {})), "version", "must equal 1; got 2"},
        Case{"PatternBeforeBuffer", with(deviceNamePattern, {}, with(bufferSizeMs, 0)), "audio.deviceNamePattern",
             "must not be empty"},
        Case{"BufferBeforeSensitivity", with(bufferSizeMs, 0, with(sensitivity, kNaN)), "audio.bufferSizeMs",
             kBufferRange + "0"},
        Case{"SensitivityBeforeMinDuration", with(sensitivity, 2.0F, with(minDurationMs, 0)), "detection.sensitivity",
             kSensitivityRange + "2.000000"},
        Case{"MinDurationBeforeCooldown", with(minDurationMs, 0, with(cooldownMs, 0)), "detection.minDurationMs",
             kDurationRange + "0"},
        Case{"CooldownBeforeFft", with(cooldownMs, 0, with(fftSize, 1000)), "detection.cooldownMs",
             kDurationRange + "0"},
        Case{"FftBeforeDataFile", with(fftSize, 1000, with(dataFile, {})), "detection.fftSize", kPowerOfTwo + "1000"},
        // Range before power of two: powers of two outside the range get the range message.
        Case{"Fft256", with(fftSize, 256), "detection.fftSize", kFftRange + "256"},
        Case{"Fft16384", with(fftSize, 16384), "detection.fftSize", kFftRange + "16384"},
        Case{"FftIntMin", with(fftSize, kIntMin), "detection.fftSize", kFftRange + "-2147483648"},
        Case{"EverythingBroken", Config{0, {L"", L"", -1}, {kNaN, -1, -1, -1}, {}, {""}}, "version",
             "must equal 1; got 0"}),
    caseName);

// validate is the first element of validateAll, on every record of the tables.
TEST_P(ValidateTest, IsTheFirstOfValidateAll) {
    const std::vector<ValidationError> all = validateAll(GetParam().config);
    EXPECT_EQ(validate(GetParam().config), all.empty() ? std::nullopt : std::optional(all.front()));
}

// A row for validateAll: a record and every error it must give, in order.
struct AllCase {
    std::string name;
    Config config;
    std::vector<ValidationError> errors;
};

std::ostream& operator<<(std::ostream& out, const AllCase& c) { return out << c.name; }

class ValidateAllTest : public testing::TestWithParam<AllCase> {};

TEST_P(ValidateAllTest, GivesEveryBrokenSettingInRuleOrder) {
    EXPECT_EQ(validateAll(GetParam().config), GetParam().errors);
}

TEST_P(ValidateAllTest, AgreesWithValidate) {
    const std::vector<ValidationError> all = validateAll(GetParam().config);
    EXPECT_EQ(validate(GetParam().config), all.empty() ? std::nullopt : std::optional(all.front()));
}

const ValidationError kVersionError{"version", "must equal 1; got 0"};
const ValidationError kPatternError{"audio.deviceNamePattern", "must not be empty"};
const ValidationError kBufferError{"audio.bufferSizeMs", kBufferRange + "-1"};
const ValidationError kSensitivityError{"detection.sensitivity", kSensitivityRange + "nan"};
const ValidationError kMinDurationError{"detection.minDurationMs", kDurationRange + "-1"};
const ValidationError kCooldownError{"detection.cooldownMs", kDurationRange + "-1"};
const ValidationError kFftRangeError{"detection.fftSize", kFftRange + "-1"};
const ValidationError kFftPowerError{"detection.fftSize", kPowerOfTwo + "1000"};
const ValidationError kDataFileError{"training.dataFile", "must not be empty"};

// Each setting alone gives exactly the error validate gives; together, each
// broken setting gives one error, in the order of the rules.
std::string allCaseName(const testing::TestParamInfo<AllCase>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(
    Errors, ValidateAllTest,
    testing::Values(
        AllCase{"Defaults", {}, {}},  //
        AllCase{"UnnamedMembersIgnored", withUnnamedMembersChanged(), {}},
        AllCase{"VersionAlone", with(version, 0), {kVersionError}},
        AllCase{"PatternAlone", with(deviceNamePattern, {}), {kPatternError}},
        AllCase{"BufferAlone", with(bufferSizeMs, -1), {kBufferError}},
        AllCase{"SensitivityAlone", with(sensitivity, kNaN), {kSensitivityError}},
        AllCase{"MinDurationAlone", with(minDurationMs, -1), {kMinDurationError}},
        AllCase{"CooldownAlone", with(cooldownMs, -1), {kCooldownError}},
        AllCase{"FftRangeAlone", with(fftSize, -1), {kFftRangeError}},
        AllCase{"FftPowerAlone", with(fftSize, 1000), {kFftPowerError}},
        AllCase{"DataFileAlone", with(dataFile, {}), {kDataFileError}},
        // A power of two out of range gets the range message only.
        AllCase{"FftRangeHidesPower", with(fftSize, 16384), {{"detection.fftSize", kFftRange + "16384"}}},
        AllCase{"FirstAndLast", with(version, 0, with(dataFile, {})), {kVersionError, kDataFileError}},
        AllCase{"Neighbours", with(minDurationMs, -1, with(cooldownMs, -1)), {kMinDurationError, kCooldownError}},
        AllCase{"PowerThenDataFile", with(fftSize, 1000, with(dataFile, {})), {kFftPowerError, kDataFileError}},
        AllCase{"AllEight",
                Config{0, {L"", L"", -1}, {kNaN, -1, -1, -1}, {}, {""}},
                {kVersionError, kPatternError, kBufferError, kSensitivityError, kMinDurationError, kCooldownError,
                 kFftRangeError, kDataFileError}}),
    allCaseName);

TEST(IsPowerOfTwo, HoldsExactlyForPositivePowers) {
    for (int exponent = 0; exponent < 31; ++exponent) {
        const std::int32_t power = std::int32_t{1} << exponent;
        EXPECT_TRUE(isPowerOfTwo(power)) << power;
        if (power > 2) {
            EXPECT_FALSE(isPowerOfTwo(power + 1)) << power + 1;
            EXPECT_FALSE(isPowerOfTwo(power - 1)) << power - 1;
        }
    }
    for (const std::int32_t value : {0, -1, -2, -1024, kIntMin, kIntMax}) {
        EXPECT_FALSE(isPowerOfTwo(value)) << value;
    }
    static_assert(isPowerOfTwo(8192) && !isPowerOfTwo(1000));
}

}  // namespace
}  // namespace settings
