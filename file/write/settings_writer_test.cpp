#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "settings/file.h"

namespace settings {
namespace {

TEST(WriteSettings, WritesTheDefaultFile) {
    EXPECT_EQ(writeSettings(Config{}),
              "# Settings of the audio-event detector (TOML).\n"
              "# A setting left out keeps its default.\n"
              "\n"
              "# version of the settings layout; must equal 1\n"
              "version = 1\n"
              "\n"
              "[audio]\n"
              "# pattern that selects the capture device by its name; must not be empty; applies at restart\n"
              "deviceNamePattern = \"Beyond\"\n"
              "\n"
              "# capture buffer length, in milliseconds; must be in [5, 100]; applies at restart\n"
              "bufferSizeMs = 10\n"
              "\n"
              "[detection]\n"
              "# detection sensitivity, from 0.0 to 1.0; must be in [0.0, 1.0]\n"
              "sensitivity = 0.7\n"
              "\n"
              "# shortest event that is reported, in milliseconds; must be in [100, 2000]\n"
              "minDurationMs = 300\n"
              "\n"
              "# quiet time after a detection, in milliseconds; must be in [100, 2000]\n"
              "cooldownMs = 300\n"
              "\n"
              "# FFT length, in points; must be in [512, 8192] and must be a power of 2; applies at restart\n"
              "fftSize = 2048\n"
              "\n"
              "[training]\n"
              "# path of the training data file; must not be empty; applies at restart\n"
              "dataFile = \"training_data.bin\"\n");
}

constexpr std::int32_t kIntMin = std::numeric_limits<std::int32_t>::min();
constexpr std::int32_t kIntMax = std::numeric_limits<std::int32_t>::max();

Config extremes(std::int32_t integer, float real, std::wstring pattern, std::string dataFile) {
    return Config{
        integer, {std::move(pattern), L"", integer}, {real, integer, integer, integer}, {}, {std::move(dataFile)}};
}

// Reading what was written gives back every named setting exactly, rule-breaking values included.
TEST(WriteSettings, RoundTripsEveryNamedSettingExactly) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const std::vector<Config> records = {
        Config{},
        extremes(kIntMin, -0.0F, L"", ""),
        extremes(kIntMax, std::numeric_limits<float>::max(), L" ", " "),
        extremes(0, nan, L"\u00E9\u4E2D", R"("quoted" and \back\slashed)"),
        extremes(-1, -nan, L"\U0001F3A4 mic", "line\nbreak\ttab\r\x01\x1F\x7F"),
        extremes(1, inf, L"'single' \"double\"", "caf\xC3\xA9"),
        extremes(2, -inf, std::wstring(1, L'\0'), std::string(1, '\0')),
        extremes(3, std::numeric_limits<float>::denorm_min(), L"\\", "#not a comment"),
        extremes(4, -std::numeric_limits<float>::denorm_min(), L"\u007F\u0080", "="),
        extremes(5, std::numeric_limits<float>::min(), L"a", "b"),
        extremes(6, std::numeric_limits<float>::lowest(), L"a", "b"),
        extremes(7, 0.1F, L"a", "b"),
        extremes(8, 16777217.0F, L"a", "b"),
        // Its shortest text, read as a double and rounded to a float, is another float.
        extremes(9, std::bit_cast<float>(0x15AE43FDU), L"a", "b"),
        extremes(10, std::bit_cast<float>(0x95AE43FDU), L"a", "b"),
    };
    for (const Config& record : records) {
        const std::optional<std::string> file = writeSettings(record);
        ASSERT_TRUE(file.has_value());
        const FileReading reading = readSettings(*file);
        EXPECT_TRUE(sameNamedSettings(reading.config, record)) << *file;
        // What was written is a file the reader accepts, whatever the rules say of its values.
        for (const FileProblem& problem : reading.problems) {
            EXPECT_NE(problem.kind, ProblemKind::syntax) << problem.message;
            EXPECT_NE(problem.kind, ProblemKind::type) << problem.message;
        }
    }
}

// The shortest text that reads back as the same float, for a spread of float
// bit patterns. A NaN keeps its sign, not its payload.
TEST(WriteSettings, RoundTripsFloatsOfEveryMagnitude) {
    constexpr std::uint32_t kStep = 0x00F00F01;  // odd, so the patterns spread over every exponent and sign
    Config record;
    std::string failures;
    for (std::uint64_t bits = 0; bits <= 0xFFFFFFFFU; bits += kStep) {
        record.detection.sensitivity = std::bit_cast<float>(static_cast<std::uint32_t>(bits));
        const float written = record.detection.sensitivity;
        const float read = readSettings(writeSettings(record).value()).config.detection.sensitivity;
        const bool same = std::isnan(written)
                              ? std::isnan(read) && std::signbit(read) == std::signbit(written)
                              : std::bit_cast<std::uint32_t>(read) == std::bit_cast<std::uint32_t>(written);
        if (!same) {
            failures += std::to_string(bits) + " ";
        }
    }
    EXPECT_EQ(failures, "");
}

TEST(WriteSettings, WritesShortestReals) {
    const auto sensitivityLine = [](float value) {
        Config record;
        record.detection.sensitivity = value;
        const std::string file = writeSettings(record).value();
        const std::size_t start = file.find("\nsensitivity = ") + 1;
        return file.substr(start, file.find('\n', start) - start);
    };
    EXPECT_EQ(sensitivityLine(0.7F), "sensitivity = 0.7");
    EXPECT_EQ(sensitivityLine(1.0F), "sensitivity = 1.0");
    EXPECT_EQ(sensitivityLine(-0.0F), "sensitivity = -0.0");
    EXPECT_EQ(sensitivityLine(1e25F), "sensitivity = 1e+25");
    EXPECT_EQ(sensitivityLine(std::bit_cast<float>(0x15AE43FDU)), "sensitivity = 7.0385307e-26");
    EXPECT_EQ(sensitivityLine(-std::numeric_limits<float>::quiet_NaN()), "sensitivity = -nan");
    EXPECT_EQ(sensitivityLine(std::numeric_limits<float>::infinity()), "sensitivity = inf");
}

TEST(WriteSettings, EscapesStringsAsTomlRequires) {
    Config record;
    record.training.dataFile = "a\"b\\c\b\f\n\r\td\x01\x7F\xC3\xA9";
    const std::string file = writeSettings(record).value();
    EXPECT_NE(file.find("dataFile = \"a\\\"b\\\\c\\b\\f\\n\\r\\td\\u0001\\u007F\xC3\xA9\"\n"), std::string::npos)
        << file;
}

// A string that is not valid Unicode cannot be written; no corrupt file is produced.
TEST(WriteSettings, RefusesStringsThatAreNotUnicode) {
    std::vector<std::wstring> patterns = {std::wstring(1, static_cast<wchar_t>(0xD800)),
                                          std::wstring(1, static_cast<wchar_t>(0xDFFF)) + L"x"};
    if constexpr (sizeof(wchar_t) == 4) {
        patterns.emplace_back(1, static_cast<wchar_t>(0x110000));
        patterns.emplace_back(1, static_cast<wchar_t>(-1));
    } else {
        patterns.emplace_back(L"x" + std::wstring(1, static_cast<wchar_t>(0xD83C)));  // a lead surrogate at the end
    }
    for (const std::wstring& pattern : patterns) {
        Config record;
        record.audio.deviceNamePattern = pattern;
        EXPECT_EQ(writeSettings(record), std::nullopt) << static_cast<std::uint32_t>(pattern[0]);
    }
    for (const char* dataFile : {"\xFF", "\xC3", "\xED\xA0\x80"}) {
        Config record;
        record.training.dataFile = dataFile;
        EXPECT_EQ(writeSettings(record), std::nullopt);
    }
}

}  // namespace
}  // namespace settings
