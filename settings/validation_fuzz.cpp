// Fuzz target of validate: builds whole records from the input and checks what
// holds for every record, without restating the rules' logic.
//
// Input layout, read front to back; missing bytes read as zero:
//   version, bufferSizeMs, minDurationMs, cooldownMs, fftSize: int32 each
//   sensitivity: the float's 32 bits
//   shuffleSeed: uint64; then one byte holding the three flags in its low bits
//   deviceNamePattern, fallbackDeviceNamePattern: uint16 length, then that many wchar_t
//   logging.filePath, dataFile: uint16 length, then that many bytes
// A length larger than the input left is cut to what is left.
#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "fuzz/property_test_support.h"
#include "settings/validation.h"

namespace {

using settings::Config;

class InputReader {
public:
    explicit InputReader(std::span<const std::uint8_t> input) : input_(input) {}

    template <typename T>
    T value() {
        std::array<std::uint8_t, sizeof(T)> bytes{};
        const std::size_t count = std::min(bytes.size(), input_.size());
        std::copy_n(input_.begin(), count, bytes.begin());
        input_ = input_.subspan(count);
        return std::bit_cast<T>(bytes);
    }

    template <typename Char>
    std::basic_string<Char> text() {
        // Never longer than the input left, so short inputs stay fast.
        const std::size_t length = std::min<std::size_t>(value<std::uint16_t>(), input_.size() / sizeof(Char));
        std::basic_string<Char> result(length, Char{});
        for (Char& c : result) {
            c = value<Char>();
        }
        return result;
    }

private:
    std::span<const std::uint8_t> input_;
};

Config recordFrom(std::span<const std::uint8_t> input) {
    InputReader in(input);
    Config c;
    c.version = in.value<std::int32_t>();
    c.audio.bufferSizeMs = in.value<std::int32_t>();
    c.detection.minDurationMs = in.value<std::int32_t>();
    c.detection.cooldownMs = in.value<std::int32_t>();
    c.detection.fftSize = in.value<std::int32_t>();
    c.detection.sensitivity = std::bit_cast<float>(in.value<std::uint32_t>());
    c.training.shuffleSeed = in.value<std::uint64_t>();
    const auto flags = in.value<std::uint8_t>();
    c.logging.enabled = (flags & 1U) != 0;
    c.training.augmentSamples = (flags & 2U) != 0;
    c.training.retrainOnStart = (flags & 4U) != 0;
    c.audio.deviceNamePattern = in.text<wchar_t>();
    c.audio.fallbackDeviceNamePattern = in.text<wchar_t>();
    c.logging.filePath = in.text<char>();
    c.training.dataFile = in.text<char>();
    return c;
}

using fuzz_support::require;

// Equality that also holds for a NaN sensitivity.
bool sameRecord(Config a, Config b) {
    if (std::bit_cast<std::uint32_t>(a.detection.sensitivity) !=
        std::bit_cast<std::uint32_t>(b.detection.sensitivity)) {
        return false;
    }
    a.detection.sensitivity = b.detection.sensitivity = 0.0F;
    return a == b;
}

bool inRange(std::int32_t value, std::int32_t min, std::int32_t max) { return min <= value && value <= max; }

// The rendered integer after "got " parses back to exactly the value.
void requireInteger(std::string_view rendered, std::int32_t value) {
    std::int32_t parsed = 0;
    const auto [end, error] = std::from_chars(rendered.data(), rendered.data() + rendered.size(), parsed);
    require(error == std::errc{} && end == rendered.data() + rendered.size() && parsed == value,
            "an integer renders as its exact value");
}

// The rendered real after "got " is the value to six decimals.
void requireReal(std::string_view rendered, float value) {
    if (std::isnan(value)) {
        require(rendered == (std::signbit(value) ? "-nan" : "nan"), "NaN renders as nan or -nan");
        return;
    }
    if (std::isinf(value)) {
        require(rendered == (value < 0 ? "-inf" : "inf"), "an infinity renders as inf or -inf");
        return;
    }
    double parsed = 0;
    const auto [end, error] = std::from_chars(rendered.data(), rendered.data() + rendered.size(), parsed);
    const std::size_t point = rendered.find('.');
    require(error == std::errc{} && end == rendered.data() + rendered.size(), "a real renders as a number");
    require(point != std::string_view::npos && rendered.size() - point == 7, "a real has six decimals");
    // Half a unit of the sixth decimal, plus the rounding of the parsed text to a double.
    const double tolerance = 0.5e-6 + std::abs(parsed) * std::numeric_limits<double>::epsilon();
    require(std::abs(parsed - static_cast<double>(value)) <= tolerance, "a real renders within half a unit of 1e-6");
}

struct Rule {
    std::string_view field;
    std::string_view fixedText;
};

// Each rule's key path and fixed text, as the documentation states them.
constexpr std::array<Rule, 9> kRules = {{
    {"version", "must equal 1; got "},
    {"audio.deviceNamePattern", "must not be empty"},
    {"audio.bufferSizeMs", "must be in [5, 100]; got "},
    {"detection.sensitivity", "must be in [0.0, 1.0]; got "},
    {"detection.minDurationMs", "must be in [100, 2000]; got "},
    {"detection.cooldownMs", "must be in [100, 2000]; got "},
    {"detection.fftSize", "must be in [512, 8192]; got "},
    {"detection.fftSize", "must be a power of 2; got "},
    {"training.dataFile", "must not be empty"},
}};

void checkError(const Config& c, const settings::ValidationError& error) {
    const auto* rule = std::find_if(kRules.begin(), kRules.end(), [&](const Rule& r) {
        return r.field == error.field && std::string_view(error.message).starts_with(r.fixedText);
    });
    require(rule != kRules.end(), "the error names a key path and begins with that rule's text");
    const std::string_view rendered = std::string_view(error.message).substr(rule->fixedText.size());
    if (!rule->fixedText.ends_with("got ")) {
        require(rendered.empty(), "a text rule's message is its fixed text");
    } else if (error.field == "detection.sensitivity") {
        requireReal(rendered, c.detection.sensitivity);
    } else {
        const std::int32_t value = error.field == "version"                   ? c.version
                                   : error.field == "audio.bufferSizeMs"      ? c.audio.bufferSizeMs
                                   : error.field == "detection.minDurationMs" ? c.detection.minDurationMs
                                   : error.field == "detection.cooldownMs"    ? c.detection.cooldownMs
                                                                              : c.detection.fftSize;
        requireInteger(rendered, value);
    }
}

void checkValid(const Config& c) {
    const float sensitivity = c.detection.sensitivity;
    require(c.version == 1 && !c.audio.deviceNamePattern.empty() && inRange(c.audio.bufferSizeMs, 5, 100) &&
                sensitivity >= 0.0F && sensitivity <= 1.0F && inRange(c.detection.minDurationMs, 100, 2000) &&
                inRange(c.detection.cooldownMs, 100, 2000) && inRange(c.detection.fftSize, 512, 8192) &&
                settings::isPowerOfTwo(c.detection.fftSize) && !c.training.dataFile.empty(),
            "a valid record has every named member within its rule");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const Config record = recordFrom({data, size});
    const auto first = settings::validate(record);
    require(settings::validate(record) == first, "two calls give equal outcomes");
    require(sameRecord(record, recordFrom({data, size})), "validation leaves the record unchanged");
    const std::vector<settings::ValidationError> all = settings::validateAll(record);
    require(first == (all.empty() ? std::nullopt : std::optional(all.front())),
            "validate gives the first error of validateAll");
    if (all.empty()) {
        checkValid(record);
    }
    // One error per setting, in rule order, each as validate would give it alone.
    const auto* previous = kRules.begin();
    for (const settings::ValidationError& error : all) {
        checkError(record, error);
        const auto* rule = std::find_if(previous, kRules.end(), [&](const Rule& r) { return r.field == error.field; });
        require(rule != kRules.end() && (&error == &all.front() || rule != previous),
                "validateAll reports each setting once, in rule order");
        previous = rule;
    }
    return 0;
}
