// What a watch has to say, from the watch's thread to the one that writes it:
// each event's lines for standard output and standard error. The queue is
// bounded: while the reader of the output stalls, the oldest events waiting
// are left out and counted, so that the watch holds at most kMaxWaitingBytes
// of lines and the newest event, whatever the reader does.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "output.h"

namespace command {

struct EventLines {
    std::string out;
    std::string err;
};

class EventQueue {
public:
    static constexpr std::size_t kMaxWaitingBytes = std::size_t{1} << 20U;  // 1 MiB

    explicit EventQueue(std::size_t maxWaitingBytes = kMaxWaitingBytes);

    // Adds an event; the oldest ones waiting go while the lines waiting would pass the bound.
    void add(EventLines event);

    // No event is added after this; take() then returns at once.
    void close();

    struct Batch {
        std::size_t leftOut = 0;         // events left out before these
        std::vector<EventLines> events;  // in order
        bool closed = false;             // and nothing more will come
    };

    // The events waiting, after waiting at most `timeout` for one.
    Batch take(std::chrono::milliseconds timeout);

private:
    std::size_t maxWaitingBytes_;
    std::mutex mutex_;
    std::condition_variable added_;
    std::deque<EventLines> waiting_;
    std::size_t waitingBytes_ = 0;
    std::size_t leftOut_ = 0;
    bool closed_ = false;
};

// How often the writer looks for what to write, and a watch for an interruption.
inline constexpr std::chrono::milliseconds kInterruptionSeen(50);

// Writes the queue's events to `streams`, and before events left out the line
// `skipped(count)` makes, until the queue is closed and empty or a write fails.
void writeEvents(EventQueue& queue, Streams& streams, const std::function<std::string(std::size_t)>& skipped);

}  // namespace command
