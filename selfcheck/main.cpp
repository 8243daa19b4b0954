// The self-check program: runs fixed cases against the settings validator and stops at the
// first failed check. A failure prints the check's source line, so checks must not move.
#include <cstdio>

#include "settings/validation.h"

namespace {

// Writes "FAIL: <check text> at line <line>" as one line on standard error.
void reportFailure(const char* checkText, int line) {
    static_cast<void>(std::fprintf(stderr, "FAIL: %s at line %d\n", checkText, line));
}

}  // namespace

// Ends the program at a false condition. The report quotes the condition's own
// source text and line, which only a macro can give.
#define CHECK(condition)                         \
    do {                                         \
        if (!(condition)) {                      \
            reportFailure(#condition, __LINE__); \
            return 1;                            \
        }                                        \
    } while (false)

int main() {
    // Case 1: the defaults, as every caller gets them, are valid.
    {
        const settings::Config config;
        const std::optional<settings::ValidationError> v = settings::validate(config);
        CHECK(!v.has_value());
    }

    // Case 2: a negative sensitivity is out of range.
    {
        settings::Config config;
        config.detection.sensitivity = -1.0F;
        const std::optional<settings::ValidationError> v = settings::validate(config);
        CHECK(v.has_value());
        CHECK(v->field == "detection.sensitivity");
    }

    // Case 3: a negative cool-down is out of range.
    {
        settings::Config config;
        config.detection.cooldownMs = -100;
        const std::optional<settings::ValidationError> v = settings::validate(config);
        CHECK(v.has_value());
        CHECK(v->field == "detection.cooldownMs");
    }

    // Case 4: an FFT size inside the range but not a power of two.
    {
        settings::Config config;
        config.detection.fftSize = 1000;
        const std::optional<settings::ValidationError> v = settings::validate(config);
        CHECK(v.has_value());
        CHECK(v->field == "detection.fftSize");
    }

    // Case 5: a zero buffer size is out of range.
    {
        settings::Config config;
        config.audio.bufferSizeMs = 0;
        const std::optional<settings::ValidationError> v = settings::validate(config);
        CHECK(v.has_value());
        CHECK(v->field == "audio.bufferSizeMs");
    }

    // The exit status reports the checks; a failed write to the console does not change them.
    static_cast<void>(std::fputs("all tests passed\n", stdout));
    return 0;
}
