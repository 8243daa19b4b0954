// Layered settings: a detector's settings from several files, as a package
// and its operators lay them out, lowest precedence first:
//
//   settings::SettingsSources sources;
//   sources.layers = settings::readSettingsLayers(settings::listSettingsLayers(
//       {"/usr/share/detector/settings.toml", "/etc/detector/settings.toml", "/etc/detector/settings.d",
//        "/run/detector/settings.d"}));
//   const settings::LoadedSettings loaded = settings::loadSettings(sources);
//
// - /usr/share/detector/settings.toml: the package's base;
// - /etc/detector/settings.toml: the operator's file;
// - /etc/detector/settings.d/50-site.toml: a drop-in, from configuration management;
// - /run/detector/settings.d/50-site.toml: a runtime folder's drop-in, which
//   replaces the one of that name in /etc.
//
// Each path is a file or a drop-in folder. The files come first, in the
// order given; then the drop-ins of every folder, in the bytewise order of
// their names, and of drop-ins of the same name in several folders only the
// one in the last folder given. A drop-in is a file named NAME.toml; other
// names (backups such as x.toml~ and x.toml.dpkg-old, hidden files such as
// .x.toml) are ignored. A path that leads to nothing is no layer and no
// problem: a base the package does not ship yet. Each file is read as a
// settings file with its own positions; a later file's value of a setting
// replaces an earlier one's, setting by setting (SettingsSources).
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "settings/file_export.h"
#include "settings/read.h"
#include "settings/sources.h"

namespace settings {

// Whether the system tells apart file names that differ in case alone: POSIX
// systems do. On Windows, 50-Site.toml and 50-site.toml are one drop-in (in
// ASCII case; other letters are compared as they are), and the one in the
// later folder is read.
inline constexpr bool kCaseSensitiveFileNames = std::filesystem::path::preferred_separator == '/';

// One file of a layered set, as it will be read, or a path of the set that
// cannot be: a drop-in folder that cannot be listed ("cannot be read:
// Permission denied"), a path given as a folder that is a file ("is a file,
// not a drop-in folder"). Such a problem is the set's, and makes it invalid.
struct SettingsLayer {
    std::filesystem::path path;          // a file given, or FOLDER/NAME.toml
    std::optional<FileProblem> problem;  // of kind ProblemKind::file

    friend bool operator==(const SettingsLayer&, const SettingsLayer&) = default;
};

// The files of the set of `paths`, lowest first, for a program to log or to
// read. A folder is listed in time and memory in proportion to its entries.
DETECTOR_SETTINGS_FILE_EXPORT std::vector<SettingsLayer> listSettingsLayers(
    const std::vector<std::filesystem::path>& paths);

// Each layer's text, named by its path in UTF-8, as SettingsSources::layers
// takes them. A file is opened only if it is a regular one (Opening::regularOnly):
// a FIFO or a device in the set is a problem, never waited on; so is a
// drop-in that is a folder, or a link that leads round in a loop. A file
// that has gone since it was listed is left out, as if it had not been listed.
DETECTOR_SETTINGS_FILE_EXPORT std::vector<SettingsFileText> readSettingsLayers(
    const std::vector<SettingsLayer>& layers);

}  // namespace settings
