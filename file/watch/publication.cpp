// The publication's work: every reader's mailbox, and what the publisher
// keeps for it.
#include "settings/publication.h"

#include <algorithm>
#include <utility>

namespace settings::detail {

// What a reader and the publication share: the mailbox, and on the
// publisher's side the values the reader may hold.
struct ErasedPublication::Channel {
    explicit Channel(std::shared_ptr<const void> first) : held(std::move(first)) {}

    std::atomic<const void*> mailbox{nullptr};  // the newest value not yet taken, or null
    std::atomic<bool> readerGone{false};
    // The publisher's alone (under the publication's mutex).
    std::shared_ptr<const void> held;     // the reader's last taken value
    std::shared_ptr<const void> offered;  // the value in the mailbox, if any
};

namespace {

// What the exchange returns says what the reader did since the last offer:
// null, it took the value offered (or none was), which it now holds;
// otherwise it never took it, and still holds the one before.
template <typename Channel>
void offer(Channel& channel, const std::shared_ptr<const void>& value,
           std::vector<std::shared_ptr<const void>>& released) {
    const void* untaken = channel.mailbox.exchange(value.get(), std::memory_order_acq_rel);
    if (untaken == nullptr) {
        if (channel.offered) {
            released.push_back(std::exchange(channel.held, std::move(channel.offered)));
        }
    } else {
        released.push_back(std::move(channel.offered));
    }
    channel.offered = value;
}

}  // namespace

ErasedPublication::Reader::Reader(std::shared_ptr<Channel> channel, std::atomic<const void*>* mailbox, const void* held)
    : channel_(std::move(channel)), mailbox_(mailbox), held_(held) {}

// The publisher drops the channel, and what it keeps for it, at its next publish().
ErasedPublication::Reader::~Reader() {
    if (channel_) {
        channel_->readerGone.store(true, std::memory_order_release);
    }
}

ErasedPublication::ErasedPublication(std::shared_ptr<const void> first) : current_(std::move(first)) {}

ErasedPublication::~ErasedPublication() = default;

ErasedPublication::Reader ErasedPublication::reader() {
    const std::scoped_lock lock(mutex_);
    auto channel = std::make_shared<Channel>(current_);
    channels_.push_back(channel);
    std::atomic<const void*>* mailbox = &channel->mailbox;
    const void* held = channel->held.get();
    return {std::move(channel), mailbox, held};
}

void ErasedPublication::publish(const std::shared_ptr<const void>& value) {
    // Destroyed once the lock is free: nothing that may lock (freeing memory)
    // runs under it.
    std::vector<std::shared_ptr<const void>> released;
    std::vector<std::shared_ptr<Channel>> closed;
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

std::shared_ptr<const void> ErasedPublication::current() const {
    const std::scoped_lock lock(mutex_);
    return current_;
}

std::size_t ErasedPublication::valuesKept() const {
    const std::scoped_lock lock(mutex_);
    std::vector<const void*> kept{current_.get()};
    for (const std::shared_ptr<Channel>& channel : channels_) {
        for (const void* value : {channel->held.get(), channel->offered.get()}) {
            if (value != nullptr && std::find(kept.begin(), kept.end(), value) == kept.end()) {
                kept.push_back(value);
            }
        }
    }
    return kept.size();
}

}  // namespace settings::detail
