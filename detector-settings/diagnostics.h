// What `detector-settings check` prints: diagnostics as compilers print theirs,
// for people and editors, and one JSON document for tools.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "settings/file.h"

namespace detector_settings {

// One checked file: its name as given on the command line (or "<stdin>"), its
// text, and its problems.
struct CheckedFile {
    std::string name;
    std::string text;
    std::vector<settings::FileProblem> problems;
};

// Each problem as "FILE:LINE:COLUMN: error: KEY: MESSAGE" (no "KEY: " for syntax
// errors), then the source line and a caret under the column; a file problem as
// "FILE: error: MESSAGE". Empty for a valid file.
std::string textDiagnostics(const CheckedFile& file);

// {"files":[{"path":…,"valid":…,"diagnostics":[{"line":…,"column":…,"key":…,"rule":…,"message":…}]}]}
// on one line, ended by a newline. Text that is not valid UTF-8 (a file name)
// has its invalid bytes replaced by U+FFFD.
std::string jsonReport(const std::vector<CheckedFile>& files);

}  // namespace detector_settings
