// Fuzz target of the edit of a settings text: the input's first line is the
// edits ("KEY=VALUE" or "-KEY" to unset, apart by tabs), the rest the text.
// Sanitizers catch crashes and undefined behaviour, toml++'s assertions are
// live; the properties below catch wrong answers:
//   - an edit without errors gives a text the reader reads without problems,
//     holding each set value as the same value would be read from --set;
//   - an edit with errors leaves the text as it was, or gives one whose
//     problems are the new text's own, and tells no change;
//   - an edit changes nothing of a text it could not read.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/property_test_support.h"
#include "settings/edit.h"
#include "settings/sources.h"

namespace {

using fuzz_support::require;

std::vector<settings::SettingEdit> editsOf(std::string_view line) {
    std::vector<settings::SettingEdit> edits;
    while (!line.empty()) {
        const std::string_view given = line.substr(0, line.find('\t'));
        line.remove_prefix(std::min(line.size(), given.size() + 1));
        if (given.starts_with('-')) {
            edits.push_back(settings::SettingEdit::unset(std::string(given.substr(1))));
        } else if (std::optional<settings::SettingEdit> edit = settings::SettingEdit::parse(given)) {
            edits.push_back(std::move(*edit));
        }
    }
    return edits;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t lineEnd = std::min(input.find('\n'), input.size());
    const std::vector<settings::SettingEdit> edits = editsOf(input.substr(0, lineEnd));
    const std::string_view text = input.substr(std::min(input.size(), lineEnd + 1));
    const settings::TextEdit edit = settings::editSettingsText(text, edits, "s.toml");
    const settings::FileReading reading = settings::readSettings(edit.text);
    if (!settings::anyError(edit.problems)) {
        require(reading.problems.empty(), "an edit without errors reads without problems");
        settings::SettingsSources overrides;
        overrides.file = settings::SettingsFileText{"s.toml", {std::string(text), std::nullopt}};
        for (const settings::SettingEdit& e : edits) {
            overrides.overrides.push_back(e.keyPath + "=" +
                                          e.value.value_or(*settings::settingValueText(settings::Config{}, e.keyPath)));
        }
        require(settings::sameNamedSettings(reading.config, settings::loadSettings(overrides).config),
                "an edit gives what --set gives");
    } else {
        const bool fileProblemsOnly = std::all_of(edit.problems.begin(), edit.problems.end(), [](const auto& p) {
            return p.source.kind == settings::SourceKind::file;
        });
        require(edit.text == text || (fileProblemsOnly && reading.problems.size() == edit.problems.size()),
                "an edit with errors keeps the text, or tells the new text's own problems");
        require(edit.changes.empty(), "an edit with errors tells no change");
    }
    return 0;
}
