// What `detector-settings watch` prints of each event of a watch, one line
// each: text for people, or JSON Lines for tools. In text, a rejected edit's
// problems follow on standard error, as `check` writes them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "event_queue.h"
#include "settings/watch.h"

namespace command {

// "watching settings.toml"; {"event":"watching","path":"settings.toml","diagnostics":[…]},
// the diagnostics (warnings alone: a watch starts on valid settings) as check's.
// With a layered set: "watching base.toml, settings.d and settings.toml", each
// path of the set then the file (an empty path: none), and "layers":[…] after "path" (null without a file).
std::string watchingText(std::string_view path, const std::vector<std::string>& layers);
std::string watchingJson(std::string_view path, const std::vector<std::string>& layers,
                         const std::vector<settings::SourcedProblem>& warnings);

// "applied: detection.sensitivity = 0.8; pending restart: audio.bufferSizeMs"
// ("applied: nothing changed" when no value in force changed);
// {"event":"applied","changed":[{"key":"detection.sensitivity","value":0.8}],"pending":["audio.bufferSizeMs"]}
std::string appliedText(const settings::AppliedChange& change);
std::string appliedJson(const settings::AppliedChange& change);

// "rejected: 2 problems; the settings in force stay";
// {"event":"rejected","diagnostics":[… as check's …]}
std::string rejectedText(const std::vector<settings::SourcedProblem>& problems);
std::string rejectedJson(const std::vector<settings::SourcedProblem>& problems);

// An event's lines, for standard output and standard error: the line of
// appliedText or appliedJson; the line of rejectedText, and on standard
// error the problems as check writes them, or the line of rejectedJson.
EventLines appliedEvent(const settings::AppliedChange& change, bool json);
// `fileName`: the watched file's, whose text the edit holds.
EventLines rejectedEvent(const settings::RejectedEdit& edit, std::string_view fileName, bool json);

// Events left out while the output was not read: "skipped: 3 events, as the
// output was not read in time"; {"event":"skipped","count":3}
std::string skippedText(std::size_t count);
std::string skippedJson(std::size_t count);

}  // namespace command
