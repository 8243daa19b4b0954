// Live reload of the settings file of a running detector. The watch notices
// each change of the file, judges the new text as `detector-settings check`
// does, with the environment and the overrides on top, and publishes only
// settings without problems. An edit with problems, or a file that is gone,
// leaves the last good settings in force and is reported with its problems.
// Settings whose change applies only at restart (Applies::atRestart in
// settings/table.h) keep their running value; a change of one is accepted
// and reported as pending.
//
//   settings::WatchOptions options;
//   options.environment = settings::processEnvironment();
//   options.onApplied = [](const settings::AppliedChange& change) { /* change.changed, change.pending */ };
//   options.onRejected = [](const settings::RejectedEdit& edit) { /* edit.problems */ };
//   settings::SettingsWatcher watcher("settings.toml", loaded.config, std::move(options));
//   const std::shared_ptr<const settings::Config> now = watcher.current();  // from any ordinary thread
//   settings::RealtimeReader reader = watcher.realtimeReader();  // one per real-time thread, made before it starts
//   const settings::Config& inForce = reader.read();  // on that thread: wait-free
//
// The file is polled, on a thread of the watch's own: every pollInterval, one
// look at the file its path leads to, through every link: which file it is
// (device and inode; on Windows, volume and file index), its type,
// permissions, size, and modification and change times. A file renamed over
// it, a swapped link or a file written anew is a change whatever its size and
// times. For a few seconds after a change its text is compared too, as a later
// write in place can keep all of those within the file system's clock tick. An
// edit is judged once the file has stayed unchanged for settleTime, so that a
// burst of writes is judged once, whole; a writer that pauses longer than that
// halfway has the half judged (and published, if it is valid), so saving a new
// file and renaming it over the old one is best; but a file emptied where it
// had text waits longer (WatchOptions::emptyFileSettleTime). While nothing changes, a poll
// costs one file-system query and reads nothing. A FIFO or a device at the
// path, whenever it appears, is a problem and is never waited on.
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "settings/config.h"
#include "settings/file_export.h"
#include "settings/publication.h"
#include "settings/sources.h"

namespace settings {

// Settings newly published.
struct AppliedChange {
    std::shared_ptr<const Config> config;   // the record now in force
    std::vector<std::string_view> changed;  // key paths of the settings whose value in force changed
    std::vector<std::string_view> pending;  // key paths of the restart-only settings whose value in the
                                            // file differs from the running one: they wait for a restart
};

// An edit that was not published.
struct RejectedEdit {
    std::string text;                      // the watched file's text judged, for the problems' source lines
    std::vector<SourcedProblem> problems;  // every problem, as loadSettings gives them; never empty
    std::vector<SettingsFileText> layers;  // each file of the layered set as judged, for theirs
};

struct WatchOptions {
    // A layered set (settings/layers.h) under the watched file, or instead
    // of it when the watcher's path is empty: every file of the set and
    // each drop-in folder is watched, and a drop-in added, changed, renamed
    // or removed, or a folder that appears or goes, is one edit of the
    // whole set, judged and published as an edit of the file is.
    std::vector<std::filesystem::path> layers;
    std::vector<std::string> environment;  // as SettingsSources takes them
    std::vector<std::string> overrides;
    // Called on the watch's thread, one at a time, in the order of the edits:
    // after each published change (also the first good edit after a rejected
    // one, when nothing changed), and after each rejected edit, also when its
    // text was rejected before. They must not throw. They may call stop(), or
    // destroy the watcher: the watch ends once the listener returns.
    std::function<void(const AppliedChange&)> onApplied;
    std::function<void(const RejectedEdit&)> onRejected;
    std::chrono::milliseconds pollInterval{100};  // each from 1 ms to an hour; others are taken as the nearest
    std::chrono::milliseconds settleTime{50};
    // An empty file where the last edit judged had text is most likely a
    // writer that has just emptied it (`generator > settings.toml` empties the
    // file first): it is judged only once it has stayed empty this long, and
    // until then the settings in force stay.
    std::chrono::milliseconds emptyFileSettleTime{1000};
};

// The settings in force, for one real-time thread (an audio callback, the
// analysis it feeds): SettingsWatcher::realtimeReader() makes one on an
// ordinary thread, before the real-time thread starts; read() is then
// wait-free, an atomic load and, after a publish, one exchange, whatever
// the watch's thread is doing: publishing, preempted halfway, stopped. It
// takes no lock, allocates and
// frees nothing, makes no system call and throws nothing. The record it
// returns stays whole and unchanged until the same reader's next read() or
// its destruction; records no reader holds any more are destroyed on the
// watch's thread when it publishes (or with the watcher, on its owner's). A
// reader that holds an old record for long costs memory, never time: the
// watch keeps, for each reader, the record it read last and the newest it
// has not read yet, so at most 2 x readers + 1 records are alive by the
// watch (and those ordinary threads hold through current()). A reader
// outlives a stopped watch, reading the last record in force, and may be
// destroyed after the watcher. One reader per thread.
class RealtimeReader {
public:
    [[nodiscard]] const Config& read() noexcept { return reader_.read(); }

private:
    friend class SettingsWatcher;
    explicit RealtimeReader(Publication<Config>::Reader reader) : reader_(std::move(reader)) {}

    Publication<Config>::Reader reader_;
};

// A watch of one settings file (or a layered set), from construction to stop() or destruction.
// current() may be called from any thread; the rest from the owner's. In a
// process forked from the one that made it, a watcher watches nothing (the
// fork copied no thread): watching() is false, current() the settings in
// force at the fork, and stop() and destruction do nothing more.
class DETECTOR_SETTINGS_FILE_EXPORT SettingsWatcher {
public:
    // Begins to watch the file at `path` (none when empty: the layered set
    // of the options alone) of a detector that runs with `running`, loaded
    // from it with the same sources and without problems.
    // The file as it is now is the first edit judged: it may have changed
    // since it was loaded.
    SettingsWatcher(std::filesystem::path path, Config running, WatchOptions options);
    // stop(). Destroyed by its own listener, the watcher is gone at once and
    // its thread ends by itself once the listener returns.
    ~SettingsWatcher();
    SettingsWatcher(const SettingsWatcher&) = delete;
    SettingsWatcher& operator=(const SettingsWatcher&) = delete;
    SettingsWatcher(SettingsWatcher&&) = delete;
    SettingsWatcher& operator=(SettingsWatcher&&) = delete;

    // The settings in force, whole, at the cost of one uncontended lock: for
    // ordinary threads. A real-time thread, which must never wait, reads
    // through a realtimeReader() instead.
    [[nodiscard]] std::shared_ptr<const Config> current() const;

    // A reader of the settings in force for one real-time thread; made on an
    // ordinary thread (it allocates).
    [[nodiscard]] RealtimeReader realtimeReader();

    // True from construction to stop(); false when the system could not start
    // the watch's thread: nothing is watched.
    [[nodiscard]] bool watching() const;

    // Ends the watch within a poll's judging and returns once its thread has
    // ended; no listener is called after it. From a listener, it returns at
    // once, and the watch ends when the listener returns. A second call does nothing.
    void stop();

    // What the watch's thread shares with the watcher; the library's own.
    struct State;

private:
    std::shared_ptr<State> state_;
};

}  // namespace settings
