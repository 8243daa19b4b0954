// What `detector-settings check` prints: diagnostics as compilers print theirs,
// for people and editors, and one JSON document for tools. Each piece is
// made on its own, so that the command writes a file's problems as it goes
// and keeps nothing of a file once its problems are out.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "settings/file.h"
#include "settings/text_lines.h"

namespace checker {

// One problem as "FILE:LINE:COLUMN: error: KEY: MESSAGE" (no "KEY: " for syntax
// errors), then the source line and a caret under the column, each after a
// gutter with the line's number ("    5 | "), each line ended by "\n"; a file
// problem as "FILE: error: MESSAGE". A source line longer than
// kMaxShownCharacters is shown as an excerpt around the column, cut ends marked
// "...". All of it is settings::terminalSafe: one problem, one "error:" line.
std::string textDiagnostic(std::string_view fileName, const settings::FileProblem& problem,
                           const settings::TextLines& lines);

inline constexpr int kMaxShownCharacters = 120;

// The JSON report, {"files":[FILE,...]}: kJsonReportStart, then one
// jsonFileReport per file with "," between them, then kJsonReportEnd. Each
// file is {"path":…,"valid":…,"diagnostics":[{"line":…,"column":…,"key":…,
// "rule":…,"message":…},…]}. Text that is not valid UTF-8 (a file name) has
// its invalid bytes replaced by U+FFFD.
inline constexpr std::string_view kJsonReportStart = R"({"files":[)";
inline constexpr std::string_view kJsonReportEnd = "]}\n";
std::string jsonFileReport(std::string_view fileName, const std::vector<settings::FileProblem>& problems);

}  // namespace checker
