// Fuzz target of the settings-file reader: reads the input as a settings file
// and checks what holds for every text. Sanitizers catch crashes, undefined
// behaviour and leaks; the properties below catch wrong answers:
//   - every problem's position lies inside the text;
//   - a reading without problems is a valid record, and writing it and reading
//     that again gives the same named settings.
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <tuple>
#include <vector>

#include "settings/file.h"
#include "settings/validation.h"

namespace {

void require(bool condition, const char* what) {
    if (!condition) {
        static_cast<void>(std::fprintf(stderr, "property violated: %s\n", what));
        std::abort();
    }
}

// Characters (not bytes) of each line, as positions count them; a byte-order mark does not count.
std::vector<std::size_t> lineLengths(std::string_view text) {
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (text.starts_with(kByteOrderMark)) {
        text.remove_prefix(kByteOrderMark.size());
    }
    std::vector<std::size_t> lengths(1, 0);
    for (const char c : text) {
        if (c == '\n') {
            lengths.push_back(0);
        } else if ((static_cast<unsigned char>(c) & 0xC0U) != 0x80U) {
            ++lengths.back();
        }
    }
    return lengths;
}

// The named settings, with the float's bits: NaN never equals itself.
auto namedSettings(const settings::Config& c) {
    return std::tuple(c.version, c.audio.deviceNamePattern, c.audio.bufferSizeMs,
                      std::bit_cast<std::uint32_t>(c.detection.sensitivity), c.detection.minDurationMs,
                      c.detection.cooldownMs, c.detection.fftSize, c.training.dataFile);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const settings::FileReading reading = settings::readSettings(text);
    const std::vector<std::size_t> lengths = lineLengths(text);
    for (const settings::FileProblem& problem : reading.problems) {
        require(problem.line >= 1 && static_cast<std::size_t>(problem.line) <= lengths.size(),
                "a problem's line lies inside the text");
        // An error at the end of a line stands just after its last character.
        require(problem.column >= 1 &&
                    static_cast<std::size_t>(problem.column) <= lengths[static_cast<std::size_t>(problem.line - 1)] + 1,
                "a problem's column lies inside its line");
    }
    if (reading.problems.empty()) {
        require(settings::validateAll(reading.config).empty(), "a file without problems gives a valid record");
        const std::optional<std::string> written = settings::writeSettings(reading.config);
        require(written.has_value(), "a record read from a file can be written");
        const settings::FileReading again = settings::readSettings(*written);
        require(again.problems.empty(), "a written valid record reads without problems");
        require(namedSettings(again.config) == namedSettings(reading.config), "writing and reading keep the record");
    }
    return 0;
}
