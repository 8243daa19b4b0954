#include "settings/validation.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <vector>

namespace settings {
namespace {

constexpr std::int32_t kIntMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kIntMax = std::numeric_limits<std::int32_t>::max();
const float kNaN = std::numeric_limits<float>::quiet_NaN();
const float kInf = std::numeric_limits<float>::infinity();
const float kAboveOne = std::nextafter(1.0F, 2.0F);
const float kDenormalMin = std::numeric_limits<float>::denorm_min();

// A case: the default record with some members changed, and the expected outcome.
struct Case {
    std::string name;
    Config config;
    std::optional<ValidationError> expected;
};

std::ostream& operator<<(std::ostream& out, const Case& c) { return out << c.name; }

template <typename Change>
Config changed(Change change) {
    Config config;
    change(config);
    return config;
}

std::optional<ValidationError> error(std::string field, std::string message) {
    return ValidationError{std::move(field), std::move(message)};
}

const std::optional<ValidationError> kValid = std::nullopt;

class ValidateTest : public testing::TestWithParam<Case> {};

TEST_P(ValidateTest, GivesExpectedOutcome) {
    const Case& c = GetParam();
    EXPECT_EQ(validate(c.config), c.expected);
}

TEST_P(ValidateTest, RepeatsOutcomeAndLeavesRecordUnchanged) {
    const Case& c = GetParam();
    Config record = c.config;
    const std::optional<ValidationError> first = validate(record);
    EXPECT_EQ(validate(record), first);
    // A NaN sensitivity never compares equal, so compare its bits instead.
    EXPECT_EQ(std::bit_cast<std::uint32_t>(record.detection.sensitivity),
              std::bit_cast<std::uint32_t>(c.config.detection.sensitivity));
    Config original = c.config;
    record.detection.sensitivity = original.detection.sensitivity = 0.0F;
    EXPECT_EQ(record, original);
}

std::string caseName(const testing::TestParamInfo<Case>& info) { return info.param.name; }

// Every rule: both inclusive bounds pass, one step outside fails with the exact text.
INSTANTIATE_TEST_SUITE_P(
    Bounds, ValidateTest,
    testing::Values(
        Case{"Defaults", {}, kValid},
        Case{"Version0", changed([](Config& c) { c.version = 0; }), error("version", "must equal 1; got 0")},
        Case{"Version2", changed([](Config& c) { c.version = 2; }), error("version", "must equal 1; got 2")},
        Case{"VersionIntMin", changed([](Config& c) { c.version = kIntMin; }),
             error("version", "must equal 1; got -2147483648")},
        Case{"VersionIntMax", changed([](Config& c) { c.version = kIntMax; }),
             error("version", "must equal 1; got 2147483647")},
        Case{"PatternEmpty", changed([](Config& c) { c.audio.deviceNamePattern.clear(); }),
             error("audio.deviceNamePattern", "must not be empty")},
        Case{"PatternBlank", changed([](Config& c) { c.audio.deviceNamePattern = L" "; }), kValid},
        Case{"PatternEmbeddedZero", changed([](Config& c) { c.audio.deviceNamePattern = std::wstring(1, L'\0'); }),
             kValid},
        Case{"Buffer5", changed([](Config& c) { c.audio.bufferSizeMs = 5; }), kValid},
        Case{"Buffer100", changed([](Config& c) { c.audio.bufferSizeMs = 100; }), kValid},
        Case{"Buffer4", changed([](Config& c) { c.audio.bufferSizeMs = 4; }),
             error("audio.bufferSizeMs", "must be in [5, 100]; got 4")},
        Case{"Buffer101", changed([](Config& c) { c.audio.bufferSizeMs = 101; }),
             error("audio.bufferSizeMs", "must be in [5, 100]; got 101")},
        Case{"Buffer0", changed([](Config& c) { c.audio.bufferSizeMs = 0; }),
             error("audio.bufferSizeMs", "must be in [5, 100]; got 0")},
        Case{"BufferIntMin", changed([](Config& c) { c.audio.bufferSizeMs = kIntMin; }),
             error("audio.bufferSizeMs", "must be in [5, 100]; got -2147483648")},
        Case{"Sensitivity0", changed([](Config& c) { c.detection.sensitivity = 0.0F; }), kValid},
        Case{"SensitivityMinus0", changed([](Config& c) { c.detection.sensitivity = -0.0F; }), kValid},
        Case{"SensitivityDenormal", changed([](Config& c) { c.detection.sensitivity = kDenormalMin; }), kValid},
        Case{"Sensitivity1", changed([](Config& c) { c.detection.sensitivity = 1.0F; }), kValid},
        Case{"SensitivityAbove1", changed([](Config& c) { c.detection.sensitivity = kAboveOne; }),
             error("detection.sensitivity", "must be in [0.0, 1.0]; got 1.000000")},
        Case{"SensitivityNegativeDenormal", changed([](Config& c) { c.detection.sensitivity = -kDenormalMin; }),
             error("detection.sensitivity", "must be in [0.0, 1.0]; got -0.000000")},
        Case{"SensitivityMinus1", changed([](Config& c) { c.detection.sensitivity = -1.0F; }),
             error("detection.sensitivity", "must be in [0.0, 1.0]; got -1.000000")},
        Case{"SensitivityNaN", changed([](Config& c) { c.detection.sensitivity = kNaN; }),
             error("detection.sensitivity", "must be in [0.0, 1.0]; got nan")},
        Case{"SensitivityNegativeNaN", changed([](Config& c) { c.detection.sensitivity = -kNaN; }),
             error("detection.sensitivity", "must be in [0.0, 1.0]; got -nan")},
        Case{"SensitivityInf", changed([](Config& c) { c.detection.sensitivity = kInf; }),
             error("detection.sensitivity", "must be in [0.0, 1.0]; got inf")},
        Case{"SensitivityMinusInf", changed([](Config& c) { c.detection.sensitivity = -kInf; }),
             error("detection.sensitivity", "must be in [0.0, 1.0]; got -inf")},
        Case{"MinDuration100", changed([](Config& c) { c.detection.minDurationMs = 100; }), kValid},
        Case{"MinDuration2000", changed([](Config& c) { c.detection.minDurationMs = 2000; }), kValid},
        Case{"MinDuration99", changed([](Config& c) { c.detection.minDurationMs = 99; }),
             error("detection.minDurationMs", "must be in [100, 2000]; got 99")},
        Case{"MinDuration2001", changed([](Config& c) { c.detection.minDurationMs = 2001; }),
             error("detection.minDurationMs", "must be in [100, 2000]; got 2001")},
        Case{"Cooldown100", changed([](Config& c) { c.detection.cooldownMs = 100; }), kValid},
        Case{"Cooldown2000", changed([](Config& c) { c.detection.cooldownMs = 2000; }), kValid},
        Case{"Cooldown99", changed([](Config& c) { c.detection.cooldownMs = 99; }),
             error("detection.cooldownMs", "must be in [100, 2000]; got 99")},
        Case{"Cooldown2001", changed([](Config& c) { c.detection.cooldownMs = 2001; }),
             error("detection.cooldownMs", "must be in [100, 2000]; got 2001")},
        Case{"CooldownMinus100", changed([](Config& c) { c.detection.cooldownMs = -100; }),
             error("detection.cooldownMs", "must be in [100, 2000]; got -100")},
        Case{"CooldownIntMax", changed([](Config& c) { c.detection.cooldownMs = kIntMax; }),
             error("detection.cooldownMs", "must be in [100, 2000]; got 2147483647")},
        Case{"Fft512", changed([](Config& c) { c.detection.fftSize = 512; }), kValid},
        Case{"Fft1024", changed([](Config& c) { c.detection.fftSize = 1024; }), kValid},
        Case{"Fft4096", changed([](Config& c) { c.detection.fftSize = 4096; }), kValid},
        Case{"Fft8192", changed([](Config& c) { c.detection.fftSize = 8192; }), kValid},
        Case{"Fft511", changed([](Config& c) { c.detection.fftSize = 511; }),
             error("detection.fftSize", "must be in [512, 8192]; got 511")},
        Case{"Fft8193", changed([](Config& c) { c.detection.fftSize = 8193; }),
             error("detection.fftSize", "must be in [512, 8192]; got 8193")},
        Case{"Fft513", changed([](Config& c) { c.detection.fftSize = 513; }),
             error("detection.fftSize", "must be a power of 2; got 513")},
        Case{"Fft1000", changed([](Config& c) { c.detection.fftSize = 1000; }),
             error("detection.fftSize", "must be a power of 2; got 1000")},
        Case{"Fft8191", changed([](Config& c) { c.detection.fftSize = 8191; }),
             error("detection.fftSize", "must be a power of 2; got 8191")},
        Case{"DataFileEmpty", changed([](Config& c) { c.training.dataFile.clear(); }),
             error("training.dataFile", "must not be empty")},
        Case{"DataFileBlank", changed([](Config& c) { c.training.dataFile = " "; }), kValid},
        Case{"UnnamedMembersIgnored", changed([](Config& c) {
                 c.audio.fallbackDeviceNamePattern.clear();
                 c.logging = {false, ""};
                 c.training.shuffleSeed = ~std::uint64_t{0};
                 c.training.augmentSamples = c.training.retrainOnStart = true;
             }),
             kValid}),
    caseName);

// Rules run in a fixed order; the first failure hides every later one.
INSTANTIATE_TEST_SUITE_P(
    Order, ValidateTest,
    testing::Values(Case{"VersionBeforeDataFile", changed([](Config& c) {
                             c.version = 2;
                             c.training.dataFile.clear();
                         }),
                         error("version", "must equal 1; got 2")},
                    Case{"PatternBeforeBuffer", changed([](Config& c) {
                             c.audio.deviceNamePattern.clear();
                             c.audio.bufferSizeMs = 0;
                         }),
                         error("audio.deviceNamePattern", "must not be empty")},
                    Case{"BufferBeforeSensitivity", changed([](Config& c) {
                             c.audio.bufferSizeMs = 0;
                             c.detection.sensitivity = kNaN;
                         }),
                         error("audio.bufferSizeMs", "must be in [5, 100]; got 0")},
                    Case{"SensitivityBeforeMinDuration", changed([](Config& c) {
                             c.detection.sensitivity = 2.0F;
                             c.detection.minDurationMs = 0;
                         }),
                         error("detection.sensitivity", "must be in [0.0, 1.0]; got 2.000000")},
                    Case{"MinDurationBeforeCooldown", changed([](Config& c) {
                             c.detection.minDurationMs = 0;
                             c.detection.cooldownMs = 0;
                         }),
                         error("detection.minDurationMs", "must be in [100, 2000]; got 0")},
                    Case{"CooldownBeforeFft", changed([](Config& c) {
                             c.detection.cooldownMs = 0;
                             c.detection.fftSize = 1000;
                         }),
                         error("detection.cooldownMs", "must be in [100, 2000]; got 0")},
                    Case{"FftBeforeDataFile", changed([](Config& c) {
                             c.detection.fftSize = 1000;
                             c.training.dataFile.clear();
                         }),
                         error("detection.fftSize", "must be a power of 2; got 1000")},
                    // Range before power of two: powers of two outside the range get the range message.
                    Case{"Fft256", changed([](Config& c) { c.detection.fftSize = 256; }),
                         error("detection.fftSize", "must be in [512, 8192]; got 256")},
                    Case{"Fft16384", changed([](Config& c) { c.detection.fftSize = 16384; }),
                         error("detection.fftSize", "must be in [512, 8192]; got 16384")},
                    Case{"FftIntMin", changed([](Config& c) { c.detection.fftSize = kIntMin; }),
                         error("detection.fftSize", "must be in [512, 8192]; got -2147483648")},
                    Case{"EverythingBroken", changed([](Config& c) {
                             c = {0, {L"", L"", -1}, {kNaN, -1, -1, -1}, {}, {""}};
                         }),
                         error("version", "must equal 1; got 0")}),
    caseName);

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

TEST(RenderInteger, WritesPlainDecimal) {
    const std::vector<std::pair<std::int32_t, std::string>> cases = {
        {0, "0"},
        {7, "7"},
        {-1, "-1"},
        {1000, "1000"},
        {-100, "-100"},
        {kIntMax, "2147483647"},
        {kIntMin, "-2147483648"},
    };
    for (const auto& [value, text] : cases) {
        EXPECT_EQ(renderInteger(value), text);
    }
}

TEST(RenderReal, WritesSixCorrectlyRoundedDecimals) {
    const std::vector<std::pair<float, std::string>> cases = {
        {-1.0F, "-1.000000"},
        {1.5F, "1.500000"},
        {0.7F, "0.700000"},
        {kAboveOne, "1.000000"},
        {0.0F, "0.000000"},
        {-0.0F, "-0.000000"},
        {kDenormalMin, "0.000000"},
        // Exact binary ties round to the even sixth decimal.
        {-0.0078125F, "-0.007812"},
        {0.0234375F, "0.023438"},
        {-102287.5546875F, "-102287.554688"},
        {16777216.0F, "16777216.000000"},
        // Long texts are never cut.
        {1e25F, "9999999562023526247432192.000000"},
        {std::numeric_limits<float>::max(), "340282346638528859811704183484516925440.000000"},
        {std::numeric_limits<float>::lowest(), "-340282346638528859811704183484516925440.000000"},
        // One spelling of non-finite values on every platform.
        {kNaN, "nan"},
        {-kNaN, "-nan"},
        {kInf, "inf"},
        {-kInf, "-inf"},
    };
    for (const auto& [value, text] : cases) {
        EXPECT_EQ(renderReal(value), text) << std::bit_cast<std::uint32_t>(value);
    }
}

TEST(Validate, ReportsLongRealsInFull) {
    const Config config = changed([](Config& c) { c.detection.sensitivity = std::numeric_limits<float>::max(); });
    EXPECT_EQ(validate(config), error("detection.sensitivity",
                                      "must be in [0.0, 1.0]; got 340282346638528859811704183484516925440.000000"));
}

}  // namespace
}  // namespace settings
