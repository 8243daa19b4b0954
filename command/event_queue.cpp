#include "event_queue.h"

#include <iterator>
#include <utility>

namespace command {

EventQueue::EventQueue(std::size_t maxWaitingBytes) : maxWaitingBytes_(maxWaitingBytes) {}

void EventQueue::add(EventLines event) {
    const std::scoped_lock lock(mutex_);
    waitingBytes_ += event.out.size() + event.err.size();
    waiting_.push_back(std::move(event));
    while (waitingBytes_ > maxWaitingBytes_ && waiting_.size() > 1) {
        waitingBytes_ -= waiting_.front().out.size() + waiting_.front().err.size();
        waiting_.pop_front();
        ++leftOut_;
    }
    added_.notify_one();
}

void EventQueue::close() {
    const std::scoped_lock lock(mutex_);
    closed_ = true;
    added_.notify_one();
}

EventQueue::Batch EventQueue::take(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    added_.wait_for(lock, timeout, [this] { return !waiting_.empty() || closed_; });
    Batch batch{std::exchange(leftOut_, 0),
                {std::make_move_iterator(waiting_.begin()), std::make_move_iterator(waiting_.end())},
                closed_};
    waiting_.clear();
    waitingBytes_ = 0;
    return batch;
}

void writeEvents(EventQueue& queue, Streams& streams, const std::function<std::string(std::size_t)>& skipped) {
    for (;;) {
        const EventQueue::Batch batch = queue.take(kInterruptionSeen);
        if (batch.leftOut > 0) {
            streams.out.write(skipped(batch.leftOut));
        }
        for (const EventLines& event : batch.events) {
            streams.out.write(event.out);
            streams.err.write(event.err);
        }
        if (!streams.out.finish() || !streams.err.finish() || batch.closed) {
            return;
        }
    }
}

}  // namespace command
