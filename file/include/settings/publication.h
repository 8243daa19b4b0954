// An immutable value published by one thread and read by others without
// waiting: each reader, on its own thread (a real-time one, say), takes the
// newest value with one atomic exchange, and no value is ever destroyed on
// a reader's thread.
//
//   settings::Publication<settings::Config> publication(std::make_shared<const settings::Config>());
//   auto reader = publication.reader();  // on an ordinary thread, before the real-time one starts
//   const settings::Config& now = reader.read();  // on the real-time thread, as often as it likes
//   publication.publish(std::make_shared<const settings::Config>(edited));  // on the publishing thread
//
// Each reader has a mailbox of one pointer. publish() puts the new value in
// every reader's mailbox with an exchange; read() empties its own with an
// exchange and keeps what it found, so a value read stays whole and
// unchanged until the same reader's next read(). The publisher knows from
// what each exchange returns which values a reader may still hold: the one
// it took last and the one in its mailbox. So the publisher keeps at most
// two values per reader, and the newest, however long a reader holds one:
// values alive by the publication are at most 2 × readers + 1. A value no
// reader may hold is released in publish() (on the publishing thread), or
// with the publication or the last reader of it, on the thread that
// destroys them.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace settings {

template <typename Value>
class Publication {
    // What a reader and the publication share: the mailbox, and on the
    // publisher's side the values the reader may hold.
    struct Channel {
        explicit Channel(std::shared_ptr<const Value> first) : held(std::move(first)) {}

        std::atomic<const Value*> mailbox{nullptr};  // the newest value not yet taken, or null
        std::atomic<bool> readerGone{false};
        // The publisher's alone (under the publication's mutex).
        std::shared_ptr<const Value> held;     // the reader's last taken value
        std::shared_ptr<const Value> offered;  // the value in the mailbox, if any
    };

public:
    // Reads the newest value from one thread at a time. Made on an ordinary
    // thread; read() is then wait-free: one atomic exchange and a branch, no
    // lock, allocation, deallocation or system call. A reader may outlive
    // its publication: it then reads the last value published.
    class Reader {
    public:
        Reader(const Reader&) = delete;
        Reader& operator=(const Reader&) = delete;
        // A reader moved from may only be destroyed or assigned to.
        Reader(Reader&& other) noexcept = default;
        Reader& operator=(Reader&& other) noexcept {
            if (this != &other) {
                leave();
                channel_ = std::move(other.channel_);
                held_ = other.held_;
            }
            return *this;
        }
        ~Reader() { leave(); }

        // The newest value published, valid until this reader's next read()
        // or its destruction.
        const Value& read() noexcept {
            // acq_rel: the reads of the value held before happen before the
            // publisher learns it is no longer held; the new value's
            // contents are seen whole.
            if (const Value* fresh = channel_->mailbox.exchange(nullptr, std::memory_order_acq_rel)) {
                held_ = fresh;
            }
            return *held_;
        }

    private:
        friend class Publication;
        // The publisher drops the channel, and what it keeps for it, at its next publish().
        void leave() noexcept {
            if (channel_) {
                channel_->readerGone.store(true, std::memory_order_release);
            }
        }

        explicit Reader(std::shared_ptr<Channel> channel) : channel_(std::move(channel)), held_(channel_->held.get()) {}

        std::shared_ptr<Channel> channel_;
        const Value* held_;
    };

    // `first`, which must not be null, is the value until the first publish().
    explicit Publication(std::shared_ptr<const Value> first) : current_(std::move(first)) {}

    // A reader of the values from now on. May allocate; never on a reader's thread.
    [[nodiscard]] Reader reader() {
        const std::scoped_lock lock(mutex_);
        auto channel = std::make_shared<Channel>(current_);
        channels_.push_back(channel);
        return Reader(std::move(channel));
    }

    // Makes `value` (not null) the newest for every reader. From one thread
    // at a time. The values it releases are destroyed before it returns,
    // outside its lock.
    void publish(std::shared_ptr<const Value> value) {
        std::vector<std::shared_ptr<const Value>> released;
        std::vector<std::shared_ptr<Channel>> closed;
        {
            const std::scoped_lock lock(mutex_);
            released.reserve(channels_.size() + 1);
            released.push_back(std::exchange(current_, value));
            for (std::size_t index = 0; index < channels_.size();) {
                Channel& channel = *channels_[index];
                if (channel.readerGone.load(std::memory_order_acquire)) {
                    closed.push_back(std::move(channels_[index]));
                    channels_[index] = std::move(channels_.back());
                    channels_.pop_back();
                    continue;
                }
                offer(channel, value, released);
                ++index;
            }
        }
    }

    // The newest value, for ordinary threads: it takes a lock.
    [[nodiscard]] std::shared_ptr<const Value> current() const {
        const std::scoped_lock lock(mutex_);
        return current_;
    }

    // How many values the publication keeps alive now: the newest, and those
    // its readers may hold. For tests and monitoring.
    [[nodiscard]] std::size_t valuesKept() const {
        const std::scoped_lock lock(mutex_);
        std::vector<const Value*> kept{current_.get()};
        for (const std::shared_ptr<Channel>& channel : channels_) {
            for (const Value* value : {channel->held.get(), channel->offered.get()}) {
                if (value != nullptr && std::find(kept.begin(), kept.end(), value) == kept.end()) {
                    kept.push_back(value);
                }
            }
        }
        return kept.size();
    }

    // The lock that publish(), reader() and current() take, for a process
    // that forks while another thread may hold it: it takes the lock around
    // the fork, so that the child finds it free. Never on a reader's thread.
    void lock() { mutex_.lock(); }
    void unlock() { mutex_.unlock(); }

private:
    // What the exchange returns says what the reader did since the last offer:
    // null, it took the value offered (or none was), which it now holds;
    // otherwise it never took it, and still holds the one before.
    static void offer(Channel& channel, const std::shared_ptr<const Value>& value,
                      std::vector<std::shared_ptr<const Value>>& released) {
        const Value* untaken = channel.mailbox.exchange(value.get(), std::memory_order_acq_rel);
        if (untaken == nullptr) {
            if (channel.offered) {
                released.push_back(std::exchange(channel.held, std::move(channel.offered)));
            }
        } else {
            released.push_back(std::move(channel.offered));
        }
        channel.offered = value;
    }

    mutable std::mutex mutex_;
    std::shared_ptr<const Value> current_;
    std::vector<std::shared_ptr<Channel>> channels_;
};

}  // namespace settings
