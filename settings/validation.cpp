#include "settings/validation.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <string_view>

namespace settings {
namespace {

// Fixed texts of the rules; numeric ones end in "got " and the value follows.
constexpr std::string_view kMustEqualOne = "must equal 1; got ";
constexpr std::string_view kMustNotBeEmpty = "must not be empty";
constexpr std::string_view kBufferSizeRange = "must be in [5, 100]; got ";
constexpr std::string_view kSensitivityRange = "must be in [0.0, 1.0]; got ";
constexpr std::string_view kDurationRange = "must be in [100, 2000]; got ";
constexpr std::string_view kFftSizeRange = "must be in [512, 8192]; got ";
constexpr std::string_view kMustBePowerOfTwo = "must be a power of 2; got ";

// A rendered number kept on the stack, so that a message costs one allocation.
struct NumberText {
    // The largest float has 39 integer digits: with sign, point and six decimals, 47 characters.
    std::array<char, 48> chars{};
    std::size_t size = 0;

    [[nodiscard]] std::string_view view() const { return {chars.data(), size}; }
    // The buffer holds every value's text, so conversions cannot run out of room.
    void setEnd(const char* end) { size = static_cast<std::size_t>(end - chars.data()); }
};

NumberText integerText(std::int32_t value) {
    NumberText text;
    text.setEnd(std::to_chars(text.chars.data(), text.chars.data() + text.chars.size(), value).ptr);
    return text;
}

NumberText realText(float value) {
    NumberText text;
    if (std::isnan(value) || std::isinf(value)) {
        // The C runtimes disagree on these texts; use one spelling everywhere.
        const std::string_view name = std::isnan(value) ? "nan" : "inf";
        const std::string_view sign = std::signbit(value) ? "-" : "";
        text.setEnd(std::copy(name.begin(), name.end(), std::copy(sign.begin(), sign.end(), text.chars.data())));
    } else {
        text.setEnd(std::to_chars(text.chars.data(), text.chars.data() + text.chars.size(), static_cast<double>(value),
                                  std::chars_format::fixed, 6)
                        .ptr);
    }
    return text;
}

ValidationError failure(std::string_view field, std::string_view fixedText, std::string_view value = {}) {
    ValidationError error{std::string(field), {}};
    error.message.reserve(fixedText.size() + value.size());
    error.message.append(fixedText).append(value);
    return error;
}

ValidationError integerFailure(std::string_view field, std::string_view fixedText, std::int32_t value) {
    return failure(field, fixedText, integerText(value).view());
}

constexpr bool inRange(std::int32_t value, std::int32_t min, std::int32_t max) { return min <= value && value <= max; }

}  // namespace

std::optional<ValidationError> validate(const Config& config) {
    const AudioConfig& audio = config.audio;
    const DetectionConfig& detection = config.detection;

    if (config.version != 1) {
        return integerFailure("version", kMustEqualOne, config.version);
    }
    if (audio.deviceNamePattern.empty()) {
        return failure("audio.deviceNamePattern", kMustNotBeEmpty);
    }
    if (!inRange(audio.bufferSizeMs, 5, 100)) {
        return integerFailure("audio.bufferSizeMs", kBufferSizeRange, audio.bufferSizeMs);
    }
    // NaN compares false with everything, so it has to be rejected before the bounds.
    if (!std::isfinite(detection.sensitivity) || detection.sensitivity < 0.0F || detection.sensitivity > 1.0F) {
        return failure("detection.sensitivity", kSensitivityRange, realText(detection.sensitivity).view());
    }
    if (!inRange(detection.minDurationMs, 100, 2000)) {
        return integerFailure("detection.minDurationMs", kDurationRange, detection.minDurationMs);
    }
    if (!inRange(detection.cooldownMs, 100, 2000)) {
        return integerFailure("detection.cooldownMs", kDurationRange, detection.cooldownMs);
    }
    // The range comes first, so a power of two outside it gets the range message.
    if (!inRange(detection.fftSize, 512, 8192)) {
        return integerFailure("detection.fftSize", kFftSizeRange, detection.fftSize);
    }
    if (!isPowerOfTwo(detection.fftSize)) {
        return integerFailure("detection.fftSize", kMustBePowerOfTwo, detection.fftSize);
    }
    if (config.training.dataFile.empty()) {
        return failure("training.dataFile", kMustNotBeEmpty);
    }
    return std::nullopt;
}

std::string renderInteger(std::int32_t value) { return std::string(integerText(value).view()); }

std::string renderReal(float value) { return std::string(realText(value).view()); }

}  // namespace settings
