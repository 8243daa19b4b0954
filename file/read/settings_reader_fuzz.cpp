// Fuzz target of the settings-file reader: reads the input as a settings file
// and checks what holds for every text. Sanitizers catch crashes, undefined
// behaviour and leaks, and toml++'s assertions are live in this build, so an
// input that reaches one is a finding too. The properties below catch wrong
// answers:
//   - every problem's position lies inside the text, as TextLines counts it;
//   - a problem's key and message, made terminal-safe, hold no control
//     character but tab;
//   - toml++ gives the same answer on the text the guard hands it as on the
//     text itself: comments left out change nothing;
//   - a reading without problems is a valid record, and writing it and reading
//     that again gives the same named settings;
//   - the text as the value of a setting (one for each input, so that the
//     inputs take every one), from the environment and from an override,
//     gives the same record and the same problems, none with a position, and
//     a valid record when there is none.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "file/read/internal/toml_guard.h"
#include "file/read/internal/toml_library.h"
#include "fuzz/property_test_support.h"
#include "settings/read.h"
#include "settings/sources.h"
#include "settings/text_lines.h"
#include "settings/validation.h"

namespace {

using namespace settings::file_internal;

using fuzz_support::require;

bool holdsNoControlCharacter(std::string_view text) {
    return std::none_of(text.begin(), text.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return (byte < 0x20U && c != '\t') || byte == 0x7FU;
    });
}

// The same answer: the same tree, or the same error at the same place.
bool sameParse(const toml::parse_result& a, const toml::parse_result& b) {
    if (a.succeeded() != b.succeeded()) {
        return false;
    }
    if (a.succeeded()) {
        return a.table() == b.table();
    }
    return a.error().description() == b.error().description() && a.error().source().begin == b.error().source().begin;
}

// The text as a setting's value, from the environment and from an override;
// the setting is chosen by the text's length, as reading the text whole as a
// value costs most of an input's time.
void readAsValue(std::string_view text) {
    const std::string_view keyPath = settings::kKeyPaths.at(text.size() % settings::kKeyPaths.size());
    settings::SettingsSources fromEnvironment;
    fromEnvironment.environment = {settings::environmentName(keyPath) + "=" + std::string(text)};
    settings::SettingsSources fromOverride;
    fromOverride.overrides = {std::string(keyPath) + "=" + std::string(text)};
    const settings::LoadedSettings a = settings::loadSettings(fromEnvironment);
    const settings::LoadedSettings b = settings::loadSettings(fromOverride);
    require(settings::sameNamedSettings(a.config, b.config), "a value gives one record from every source");
    require(a.problems.size() == b.problems.size(), "a value gives the same problems from every source");
    for (std::size_t index = 0; index < a.problems.size(); ++index) {
        require(a.problems[index].problem == b.problems[index].problem,
                "a value gives the same problems from every source");
        require(a.problems[index].problem.line == 0 && a.problems[index].problem.column == 0,
                "a problem outside a file has no position");
    }
    require(!a.problems.empty() || settings::validateAll(a.config).empty(),
            "a value without problems gives a valid record");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const settings::FileReading reading = settings::readSettings(text);
    readAsValue(text);
    const settings::file_internal::GuardedText guarded = settings::file_internal::guardToml(text);
    if (!guarded.refusal) {
        require(sameParse(toml::parse(guarded.parseable), toml::parse(text)), "leaving comments out changes nothing");
    }
    const settings::TextLines lines(text);
    for (const settings::FileProblem& problem : reading.problems) {
        require(problem.line >= 1 && problem.line <= lines.count(), "a problem's line lies inside the text");
        // An error at the end of a line stands just after its last character.
        require(problem.column >= 1 && problem.column <= lines.length(problem.line) + 1,
                "a problem's column lies inside its line");
        require(holdsNoControlCharacter(settings::terminalSafe(problem.key + problem.message)),
                "a problem shows on a terminal as text");
    }
    if (reading.problems.empty()) {
        require(settings::validateAll(reading.config).empty(), "a file without problems gives a valid record");
        const std::optional<std::string> written = settings::writeSettings(reading.config);
        require(written.has_value(), "a record read from a file can be written");
        const settings::FileReading again = settings::readSettings(*written);
        require(again.problems.empty(), "a written valid record reads without problems");
        require(settings::sameNamedSettings(again.config, reading.config), "writing and reading keep the record");
    }
    return 0;
}
