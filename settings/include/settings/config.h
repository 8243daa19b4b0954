// The settings record of the audio-event detector: every tunable in one plain
// value, with its default. A default-constructed Config is complete and valid;
// change the members you need and pass the record to settings::validate
// (settings/validation.h). Assigning a member never validates anything.
// What each named member means, its key path and its rules: settings/table.h.
#pragma once

#include <cstdint>
#include <string>

namespace settings {

// The capture device and its buffer.
struct AudioConfig {
    std::wstring deviceNamePattern = L"Beyond";
    // Device to try when no name matches; the self-check program does not read it.
    std::wstring fallbackDeviceNamePattern;
    std::int32_t bufferSizeMs = 10;

    friend bool operator==(const AudioConfig&, const AudioConfig&) = default;
};

// When a sound counts as an event.
struct DetectionConfig {
    float sensitivity = 0.7F;  // the nearest float to 0.7
    std::int32_t minDurationMs = 300;
    std::int32_t cooldownMs = 300;
    std::int32_t fftSize = 2048;

    friend bool operator==(const DetectionConfig&, const DetectionConfig&) = default;
};

// Where the detector logs; the self-check program does not read it.
struct LoggingConfig {
    bool enabled = true;
    std::string filePath;

    friend bool operator==(const LoggingConfig&, const LoggingConfig&) = default;
};

// The model's training data.
struct TrainingConfig {
    // Never opened by this library.
    std::string dataFile = "training_data.bin";
    // Seed of the training shuffle; the self-check program does not read it.
    std::uint64_t shuffleSeed = 0;
    // Whether training adds noisy copies of the samples; the self-check program does not read it.
    bool augmentSamples = false;
    // Whether the detector retrains at start-up; the self-check program does not read it.
    bool retrainOnStart = false;

    friend bool operator==(const TrainingConfig&, const TrainingConfig&) = default;
};

// Every setting of the detector, one sub-record per section of the key paths
// ("detection.fftSize" is detection.fftSize). The order of the members is part
// of the interface: callers may initialise the record by designators.
struct Config {
    std::int32_t version = 1;
    AudioConfig audio;
    DetectionConfig detection;
    LoggingConfig logging;
    TrainingConfig training;

    friend bool operator==(const Config&, const Config&) = default;
};

}  // namespace settings
