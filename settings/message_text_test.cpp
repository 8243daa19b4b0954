#include "settings/message_text.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "values_test_support.h"

namespace settings {
namespace {

using namespace test;

TEST(RenderInteger, WritesPlainDecimal) {
    const std::vector<std::pair<std::int64_t, std::string>> cases = {
        {0, "0"},
        {7, "7"},
        {-1, "-1"},
        {1000, "1000"},
        {-100, "-100"},
        {kIntMax, "2147483647"},
        {kIntMin, "-2147483648"},
        // Values a settings file may hold beyond 32 bits.
        {3000000000, "3000000000"},
        {std::numeric_limits<std::int64_t>::min(), "-9223372036854775808"},
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

// Reals as a settings file writes them, beyond what a float holds.
TEST(RenderReal, WritesDoublesInFull) {
    EXPECT_EQ(renderReal(1.00000001), "1.000000");
    EXPECT_EQ(renderReal(1e39), "999999999999999939709166371603178586112.000000");
    const std::string largest = renderReal(-std::numeric_limits<double>::max());
    EXPECT_EQ(largest.size(), 317U);
    EXPECT_EQ(largest.substr(0, 8), "-1797693");
    EXPECT_EQ(largest.substr(largest.size() - 7), ".000000");
}

// TOML reals that read back exactly, and the spellings TOML has for the rest.
TEST(ShortestReal, ReadsBackAsTheFloat) {
    const std::vector<std::pair<float, std::string>> cases = {
        {0.7F, "0.7"},
        {1.0F, "1.0"},
        {-0.0F, "-0.0"},
        {1e25F, "1e+25"},
        {16777216.0F, "16777216.0"},
        // Its shortest text reads back as another float; more digits of its exact value do not.
        {7.038531e-26F, "7.0385307e-26"},
        {kNaN, "nan"},
        {-kNaN, "-nan"},
        {kInf, "inf"},
        {-kInf, "-inf"},
    };
    for (const auto& [value, text] : cases) {
        EXPECT_EQ(shortestReal(value), text) << std::bit_cast<std::uint32_t>(value);
    }
}

TEST(RuleText, WritesBoundsAsTheSettingsTypeReadsThem) {
    EXPECT_EQ(ruleText(range(0, 1), ValueType::real), "must be in [0.0, 1.0]");
    EXPECT_EQ(ruleText(range(0.25, 1e300), ValueType::real), "must be in [0.25, 1e+300]");
    EXPECT_EQ(ruleText(range(-2147483648.0, 2147483647.0), ValueType::integer), "must be in [-2147483648, 2147483647]");
    EXPECT_EQ(ruleText(equals(1), ValueType::real), "must equal 1.0");
    EXPECT_EQ(ruleMessage(equals(1), ValueType::integer, "4294967297"), "must equal 1; got 4294967297");
    EXPECT_EQ(ruleMessage(nonEmpty(), ValueType::text, "ignored"), "must not be empty");
}

}  // namespace
}  // namespace settings
