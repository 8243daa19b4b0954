// Settings files edited by scripts and tools: settings set or unset in the
// text of a file, every other byte as the operator wrote it, and the file
// replaced only by one that reads without problems, atomically.
//
//   const settings::FileEdit edit = settings::editSettingsFile(
//       "settings.toml", {settings::SettingEdit::set("detection.sensitivity", "0.8")});
//   if (edit.written) { /* edit.changes: detection.sensitivity 0.7 -> 0.8 */ }
//
// What an edit keeps: comments (on the edited line too), blank lines, order,
// indentation, the blanks around "=", the quotes of keys, a byte-order mark
// and the line ends. A setting is changed where it stands: under its
// section's header, as a dotted key, or in an inline table. One that is
// absent goes after the last setting of its section's table, in the style of
// that table; without one, in a new "[section]" at the end of the file, after
// a blank line; `version` before the first table. An inline table takes no
// new setting (TOML forbids adding to one): that is a problem. Unset removes
// the setting's line, so that its default applies.
//
// The new text is judged as `detector-settings check` judges the file alone,
// without the environment or overrides, or with the layered set it is one
// of (FileEditOptions::layers): it is written only without errors. A
// file with problems is not edited, unless the edit fixes every one of them.
// Setting a value equal to the one in force changes nothing.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "settings/file_export.h"
#include "settings/sources.h"

namespace settings {

// One edit of one setting.
struct SettingEdit {
    std::string keyPath;               // "detection.sensitivity"
    std::optional<std::string> value;  // to set, as --set takes it: 0.8, "USB Mic", or plain text for a
                                       // text setting; none to unset
    // The edit as problems name it: "detection.sensitivity=0.8", "detection.sensitivity".
    [[nodiscard]] DETECTOR_SETTINGS_FILE_EXPORT std::string given() const;

    static SettingEdit set(std::string keyPath, std::string value) { return {std::move(keyPath), std::move(value)}; }
    static SettingEdit unset(std::string keyPath) { return {std::move(keyPath), std::nullopt}; }
    // "KEY=VALUE", as --set and `detector-settings set` take it, blanks around
    // KEY left out; none without "=".
    DETECTOR_SETTINGS_FILE_EXPORT static std::optional<SettingEdit> parse(std::string_view assignment);
};

// A setting that an edit changed, its values as TOML writes them: 0.7, "USB Mic".
struct SettingChange {
    std::string keyPath;
    std::string oldValue;  // the value in force before: the file's, or the default
    std::string newValue;  // the value in force after; the default once unset

    friend bool operator==(const SettingChange&, const SettingChange&) = default;
};

// What an edit makes of a text.
struct TextEdit {
    std::string text;  // the new text; the old one when an edit has a problem
    // In the order of the edits; empty when no value in force changed or
    // there is an error. A text may change with none: unset of a value equal
    // to its default removes its line.
    std::vector<SettingChange> changes;
    // The problems of the new text, as check reports them (the file's, by
    // position in the new text), then those of the edits, each named by the
    // edit as given (a command-line source): a key that names no setting, a
    // value that is not one of the setting's, a table that takes no new
    // setting. A new text over kMaxSettingsFileBytes is a `file` problem, as
    // reading the file would be. Before any of it is told, the new text is
    // read back: unless it holds every other setting as before and each edited
    // one as asked, the edit is refused with a `file` problem.
    std::vector<SourcedProblem> problems;
};

// `edits` applied together to `text`, a settings file named `fileName` in problems.
DETECTOR_SETTINGS_FILE_EXPORT TextEdit editSettingsText(std::string_view text, const std::vector<SettingEdit>& edits,
                                                        std::string_view fileName = "settings file");

struct FileEditOptions {
    bool create = false;  // a missing file is made, holding the settings set, defaults too
    bool dryRun = false;  // everything but the writing
    // How long to wait while another edit of the same file is under way,
    // from none to an hour (others are taken as the nearest).
    std::chrono::milliseconds lockTimeout{10'000};
    // Asked about every 10 ms while the edit waits for another: false ends
    // the wait, and the edit writes nothing (a program's Ctrl-C, say).
    std::function<bool()> keepWaiting;
    // A layered set (settings/layers.h) that the file is one of: a file of
    // the set, or NAME.toml in one of its drop-in folders (with `create`, a
    // new drop-in). The whole set is judged as it would be after the edit,
    // and an error in any of its files writes nothing.
    std::vector<std::filesystem::path> layers;
    // On top of the set, as SettingsSources takes them: only to tell which
    // changes they override (FileEdit::overridden); their problems are not the edit's.
    std::vector<std::string> environment;
    std::vector<std::string> overrides;
};

// A change whose value is not the one in force after the edit: a later
// layer, the environment or an override sets the setting too.
struct OverriddenChange {
    std::string keyPath;
    SettingValue inForce;  // the value in force and where it comes from

    friend bool operator==(const OverriddenChange&, const OverriddenChange&) = default;
};

// What an edit of a file did: the text as read and what the edit made of it
// (text, changes and problems, as TextEdit has them, the file's own problems
// among them).
struct FileEdit {
    std::string oldText;  // as read; empty for a file made anew
    std::string text;     // the new text; the old one when an edit has a problem
    std::vector<SettingChange> changes;
    std::vector<SourcedProblem> problems;
    // Whether the file was replaced: only without errors, when its text
    // changed (or it was made), and not in a dry run.
    bool written = false;
    // Of `changes`, in their order, those that another source overrides
    // (FileEditOptions::layers, environment, overrides).
    std::vector<OverriddenChange> overridden;
};

// Reads the file at `path` (through links: the file a link leads to is
// edited, and the link stays), edits its text, and without errors replaces it
// atomically: a new file beside it, with the old one's owner, group,
// permission bits and extended attributes (its access control list too),
// flushed to disk, then renamed over it. Another edit of the same file waits
// for this one to end, up to lockTimeout, so that neither undoes the other;
// a process killed at any moment leaves the old file or the new one, and the
// next edit clears what it left.
//
// An edit never changes who may read or write the file, and does only what
// the process may: a file it may not write ("is read-only", "may not be
// written by you"; root may, as the system lets it), one whose owner, group
// or attributes the new file could not take (a user not in the file's
// group), one with other names (hard links, which a new file would part
// from it), or one mounted on its own (a container's single-file mount) is
// refused, and the message says what to do. So is a file that cannot be read
// (missing without `create`, a FIFO, a device, a folder, over the size limit)
// or written (the reason the system gives): each is a `file` problem, and the
// file is left as it was.
DETECTOR_SETTINGS_FILE_EXPORT FileEdit editSettingsFile(const std::filesystem::path& path,
                                                        const std::vector<SettingEdit>& edits,
                                                        const FileEditOptions& options = {});

}  // namespace settings
