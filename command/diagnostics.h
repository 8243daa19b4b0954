// What `detector-settings check` prints: diagnostics as compilers print theirs,
// for people and editors; one JSON document or one SARIF log for tools; and
// GitHub Actions' annotations. Each piece is made on its own, so that the
// command writes a file's problems as it goes and keeps nothing of a file once
// its problems are out.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "output.h"
#include "settings/file.h"
#include "settings/json_writer.h"
#include "settings/sources.h"
#include "settings/text_lines.h"

namespace command {

// How a command-line source is named: by the --set option that gave it, or
// as the argument it was (set and unset take their edits so).
enum class CommandLineNames { asSetOption, asGiven };

// Where a value or a problem comes from, as people read it: "settings.toml:5:16"
// (a file without a position: "settings.toml"), "DETECTOR_AUDIO_BUFFER_SIZE_MS",
// "--set audio.bufferSizeMs=20", "default". settings::terminalSafe.
std::string originText(const settings::Source& source, int line, int column,
                       CommandLineNames names = CommandLineNames::asSetOption);

// One problem of a file as "FILE:LINE:COLUMN: error: KEY: MESSAGE" ("warning:"
// for a warning; no "KEY: " where there is no key), then the source line and a caret under the column,
// each after a gutter with the line's number ("    5 | "), each line ended by
// "\n"; a problem without a position as "ORIGIN: error: KEY: MESSAGE", ORIGIN
// as originText names it. A source line longer than kMaxShownCharacters is
// shown as an excerpt around the column, cut ends marked "...". All of it is
// settings::terminalSafe: one problem, one "error:" or "warning:" line.
std::string textDiagnostic(std::string_view fileName, const settings::FileProblem& problem,
                           const settings::TextLines& lines);
std::string textDiagnostic(const settings::SourcedProblem& problem, const settings::TextLines& fileLines,
                           CommandLineNames names = CommandLineNames::asSetOption);

inline constexpr int kMaxShownCharacters = 120;

// The JSON report, {"files":[FILE,...]}: kJsonReportStart, then one
// jsonFileReport per file with "," between them, then kJsonReportEnd. Each
// file is {"path":…,"valid":…,"diagnostics":[…]} ("valid" unless a problem
// is an error), each diagnostic
// {"line":…,"column":…,"key":…,"rule":…,"severity":…,"message":…,"origin":{"kind":…,"name":…}}
// (writeDiagnostics). Text that is not valid UTF-8 (a file name) has its
// invalid bytes replaced by U+FFFD.
inline constexpr std::string_view kJsonReportStart = R"({"files":[)";
inline constexpr std::string_view kJsonReportEnd = "]}\n";
std::string jsonFileReport(std::string_view fileName, const std::vector<settings::SourcedProblem>& problems);

// The diagnostics as a JSON array, into `json`.
void writeDiagnostics(settings::JsonWriter& json, const std::vector<settings::SourcedProblem>& problems);

// A value as TOML writes it (settingValueText) as a JSON value, into `json`:
// the same, but for the reals JSON has no number for ("nan", "inf"), which are strings.
void writeValue(settings::JsonWriter& json, std::string_view toml);

// A SARIF 2.1.0 log of one run: sarifLogStart(version), then the results of
// each file (sarifResults), with "," between non-empty ones, then kSarifLogEnd.
// Rule ids are the JSON report's; a problem of a file has its location (with
// line and column where it has them, columns in characters), and one of
// another source a logical location named as originText names it.
std::string sarifLogStart(std::string_view toolVersion);
std::string sarifResults(const std::vector<settings::SourcedProblem>& problems);
inline constexpr std::string_view kSarifLogEnd = "]}]}\n";

// One GitHub Actions annotation per problem, each one line:
// "::error file=settings.toml,line=5,col=16::audio.bufferSizeMs: must be in [5, 100]; got 0";
// a problem without a position has no line and column, and one of another
// source names it in the message: "::warning::DETECTOR_X: unknown setting".
// The file is named as it is, in GitHub's escapes; the message is
// settings::terminalSafe.
std::string githubAnnotations(const std::vector<settings::SourcedProblem>& problems);

// kAllValid (warnings alone too), kProblemsFound, or kUsageOrFileError when a
// file could not be read.
int statusOf(const std::vector<settings::SourcedProblem>& problems);

// A file's name, as problems name it, and its text.
struct NamedText {
    std::string_view name;
    std::string_view text;
};

// Text diagnostics of every source, each problem of a file with the lines of
// its text among `files` (a layered set and a file: the first of that name).
void writeText(Output& err, const std::vector<settings::SourcedProblem>& problems, const std::vector<NamedText>& files,
               CommandLineNames names = CommandLineNames::asSetOption);
std::string textDiagnostics(const std::vector<settings::SourcedProblem>& problems, const std::vector<NamedText>& files,
                            CommandLineNames names = CommandLineNames::asSetOption);

// The JSON report of a layered set, {"paths":[…],"valid":…,"diagnostics":[…]}:
// with --layer, check writes {"layers":REPORT,"files":[…]}.
std::string jsonLayersReport(const std::vector<std::string>& paths,
                             const std::vector<settings::SourcedProblem>& problems);

}  // namespace command
