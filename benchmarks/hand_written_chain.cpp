#include "hand_written_chain.h"

#include <cmath>
#include <string>

#include "settings/message_text.h"

std::optional<settings::ValidationError> handWrittenChain(const settings::Config& c) {
    const auto failure = [](const char* field, const std::string& message) {
        return std::optional<settings::ValidationError>({field, message});
    };
    if (c.version != 1) {
        return failure("version", "must equal 1; got " + std::to_string(c.version));
    }
    if (c.audio.deviceNamePattern.empty()) {
        return failure("audio.deviceNamePattern", "must not be empty");
    }
    if (c.audio.bufferSizeMs < 5 || c.audio.bufferSizeMs > 100) {
        return failure("audio.bufferSizeMs", "must be in [5, 100]; got " + std::to_string(c.audio.bufferSizeMs));
    }
    if (!std::isfinite(c.detection.sensitivity) || c.detection.sensitivity < 0.0F || c.detection.sensitivity > 1.0F) {
        return failure("detection.sensitivity",
                       "must be in [0.0, 1.0]; got " + settings::renderReal(c.detection.sensitivity));
    }
    if (c.detection.minDurationMs < 100 || c.detection.minDurationMs > 2000) {
        return failure("detection.minDurationMs",
                       "must be in [100, 2000]; got " + std::to_string(c.detection.minDurationMs));
    }
    if (c.detection.cooldownMs < 100 || c.detection.cooldownMs > 2000) {
        return failure("detection.cooldownMs", "must be in [100, 2000]; got " + std::to_string(c.detection.cooldownMs));
    }
    if (c.detection.fftSize < 512 || c.detection.fftSize > 8192) {
        return failure("detection.fftSize", "must be in [512, 8192]; got " + std::to_string(c.detection.fftSize));
    }
    if (!settings::isPowerOfTwo(c.detection.fftSize)) {
        return failure("detection.fftSize", "must be a power of 2; got " + std::to_string(c.detection.fftSize));
    }
    if (c.training.dataFile.empty()) {
        return failure("training.dataFile", "must not be empty");
    }
    return std::nullopt;
}
