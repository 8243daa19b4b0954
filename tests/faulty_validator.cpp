#include "faulty_validator.h"

#include <string>
#include <string_view>

#include "settings/validation.h"

namespace settings {

// Checks only what the self-check cases change, and gets one thing wrong.
std::optional<ValidationError> validate(const Config& config) {
    const auto failure = [](std::string_view field) {
        return std::optional<ValidationError>(ValidationError{std::string(field), "injected fault"});
    };
    const auto keyPath = [](Fault otherKeyFault, std::string_view otherKey, std::string_view rightKey) {
        return injectedFault == otherKeyFault ? otherKey : rightKey;
    };

    if (injectedFault == Fault::rejectsEverything) {
        return failure("version");
    }
    if (injectedFault == Fault::acceptsEverything) {
        return std::nullopt;
    }
    const std::int32_t bufferSizeMinMs = injectedFault == Fault::bufferSizeFromZero ? 0 : 5;
    if (config.audio.bufferSizeMs < bufferSizeMinMs) {
        return failure(keyPath(Fault::bufferSizeUnderOtherKey, "audio.bufferSize", "audio.bufferSizeMs"));
    }
    if (injectedFault != Fault::noSensitivityRule && config.detection.sensitivity < 0.0F) {
        return failure(keyPath(Fault::sensitivityUnderOtherKey, "sensitivity", "detection.sensitivity"));
    }
    if (injectedFault != Fault::noCooldownRule && config.detection.cooldownMs < 100) {
        return failure(keyPath(Fault::cooldownUnderOtherKey, "detection.cooldownMs ", "detection.cooldownMs"));
    }
    if (injectedFault != Fault::fftSizeRangeOnly && !isPowerOfTwo(config.detection.fftSize)) {
        return failure(keyPath(Fault::fftSizeUnderOtherKey, "detection.fftsize", "detection.fftSize"));
    }
    return std::nullopt;
}

}  // namespace settings
