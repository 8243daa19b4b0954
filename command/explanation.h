// What `detector-settings explain` prints: for each key path, the effective
// value, the source it came from, every source that set it in order of
// precedence, its default, its rules and its meaning.
#pragma once

#include <string>
#include <vector>

#include "settings/sources.h"

namespace command {

// For each key, one block, blocks apart by an empty line:
//
//   audio.bufferSizeMs = 20
//     origin:   --set audio.bufferSizeMs=20
//     sources:  12 from settings.toml:2:16
//               20 from --set audio.bufferSizeMs=20
//     default:  10
//     rules:    must be in [5, 100]
//     meaning:  capture buffer length, in milliseconds
//     variable: DETECTOR_AUDIO_BUFFER_SIZE_MS
//     applies:  at restart
//
// Every key must name a setting.
std::string textExplanation(const std::vector<std::string>& keys, const settings::LoadedSettings& loaded);

// {"settings":[{"key":…,"value":…,"origin":ORIGIN,"sources":[ORIGIN with "value",…],
// "default":…,"rules":…,"meaning":…,"variable":…,"applies":…},…],"valid":…,"diagnostics":[… as check's …]},
// ORIGIN {"kind":…,"name":…,"line":…,"column":…}. Values are JSON values
// (numbers, strings), but for reals JSON cannot hold ("nan", "inf"), which are strings.
std::string jsonExplanation(const std::vector<std::string>& keys, const settings::LoadedSettings& loaded);

}  // namespace command
