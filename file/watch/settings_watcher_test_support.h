// What the watch tests share: the ways a file changes, in a folder of the
// test's own, and a log of what the watch reported, to wait on.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "file/base/texts_test_support.h"
#include "settings/watch.h"

namespace settings::test {

// Windows lets only administrators make links.
inline constexpr bool kLinksAvailable = std::filesystem::path::preferred_separator == '/';

// How a file changes.
enum class Change {
    inPlace,     // truncated and written again
    renameOver,  // a new file written beside it and renamed over it, as most editors save
    linkSwap,    // the folder's link swapped to a new version, as Kubernetes updates a ConfigMap
    recreate,    // deleted, then written anew
    remove,      // deleted, and left so
};

// A folder of the test's own, so that tests run in parallel, holding the watched file.
class WatchFolder {
public:
    [[nodiscard]] std::filesystem::path file() const { return folder_ / "settings.toml"; }

    // Makes the change; a write that the system refuses for a moment (on
    // Windows, while the watch reads the file) is tried again.
    void change(Change how, const std::string& text) {
        retried([&] { apply(how, text); });
    }

    // Replaces the file, by a rename, with one of `text` last written at `written`:
    // the file at the path changes at once, time and all.
    void replaceWrittenAt(const std::string& text, std::filesystem::file_time_type written) {
        retried([&] {
            write(folder_ / "settings.toml.new", text);
            std::filesystem::last_write_time(folder_ / "settings.toml.new", written);
            std::filesystem::rename(folder_ / "settings.toml.new", file());
        });
    }

private:
    void apply(Change how, const std::string& text) {
        const std::filesystem::path path = file();
        if (how == Change::inPlace) {
            write(path, text);
        } else if (how == Change::renameOver) {
            write(folder_ / "settings.toml.new", text);
            std::filesystem::rename(folder_ / "settings.toml.new", path);
        } else if (how == Change::linkSwap) {
            const std::filesystem::path version = folder_ / ("..version" + std::to_string(++versions_));
            std::filesystem::create_directory(version);
            write(version / "settings.toml", text);
            std::filesystem::create_directory_symlink(version.filename(), folder_ / "..data.new");
            std::filesystem::rename(folder_ / "..data.new", folder_ / "..data");
            if (!std::filesystem::is_symlink(path)) {
                std::filesystem::create_symlink(std::filesystem::path("..data") / "settings.toml",
                                                folder_ / "link.new");
                std::filesystem::rename(folder_ / "link.new", path);
            }
            if (versions_ > 1) {
                std::filesystem::remove_all(folder_ / ("..version" + std::to_string(versions_ - 1)));
            }
        } else {
            std::filesystem::remove(path);
            if (how == Change::recreate) {
                write(path, text);
            }
        }
    }

    static void write(const std::filesystem::path& path, const std::string& text) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << text;
        out.close();
        if (!out) {
            throw std::filesystem::filesystem_error("cannot write", path, std::make_error_code(std::errc::io_error));
        }
    }

public:
    // Makes `attempt` until the system allows it, as a save does on Windows
    // while the watch looks at the file or reads it.
    static void retried(const std::function<void()>& attempt) {
        for (int tries = 1;; ++tries) {
            try {
                attempt();
                return;
            } catch (const std::filesystem::filesystem_error&) {
                if (tries == 1000) {
                    throw;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
    }

private:
    TestFolder folder_;
    int versions_ = 0;
};

// Everything the watch reported, in order: the changes applied and the edits rejected.
class WatchLog {
public:
    struct Event {
        bool applied = false;
        AppliedChange change;
        RejectedEdit rejected;
    };

    // Options of a watch that reports here, polling every millisecond.
    WatchOptions options(std::chrono::milliseconds settleTime = std::chrono::milliseconds(2)) {
        WatchOptions watch;
        watch.pollInterval = std::chrono::milliseconds(1);
        watch.settleTime = settleTime;
        watch.onApplied = [this](const AppliedChange& change) { add({true, change, {}}); };
        watch.onRejected = [this](const RejectedEdit& edit) { add({false, {}, edit}); };
        return watch;
    }

    [[nodiscard]] std::size_t size() const {
        const std::scoped_lock lock(mutex_);
        return events_.size();
    }

    // Waits until an event after the first `from` meets `wanted`; false after `timeout`.
    bool waitFor(std::size_t from, const std::function<bool(const Event&)>& wanted,
                 std::chrono::seconds timeout = std::chrono::seconds(60)) {
        std::unique_lock lock(mutex_);
        return added_.wait_for(lock, timeout, [&] {
            for (std::size_t i = from; i < events_.size(); ++i) {
                if (wanted(events_[i])) {
                    return true;
                }
            }
            return false;
        });
    }

    [[nodiscard]] std::vector<Event> events() const {
        const std::scoped_lock lock(mutex_);
        return events_;
    }

private:
    void add(Event event) {
        {
            const std::scoped_lock lock(mutex_);
            events_.push_back(std::move(event));
        }
        added_.notify_all();
    }

    mutable std::mutex mutex_;
    std::condition_variable added_;
    std::vector<Event> events_;
};

}  // namespace settings::test
