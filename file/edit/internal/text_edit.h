// The edit of a settings text, as editSettingsText makes it, and as an edit
// that makes a file anew makes it. Internal to the settings-file library.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "file/read/internal/settings_reader.h"
#include "settings/edit.h"

namespace settings::file_internal {

// What one edit of a list does, once its value is known to be one of its setting's.
struct Planned {
    std::size_t row;
    const SettingEdit* edit;
    std::optional<std::string> value;  // as TOML writes it; none to unset
};

// Why the reading `after` of an edit's new text does not hold what the edit
// intends, if it does not: each planned setting as asked, every other one as
// the reading `before` has it, given by the text or left out alike.
std::optional<std::string> misread(const TrackedReading& before, const TrackedReading& after,
                                   const std::vector<Planned>& planned);

// editSettingsText(text, edits, fileName); with `everySetting`, each setting
// set is written even where its value is in force already (a file made anew
// holds the settings it was made with).
TextEdit editText(std::string_view text, const std::vector<SettingEdit>& edits, std::string_view fileName,
                  bool everySetting);

}  // namespace settings::file_internal
