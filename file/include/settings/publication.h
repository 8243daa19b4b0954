// An immutable value published by one thread and read by others without
// waiting: each reader, on its own thread (a real-time one, say), takes the
// newest value with an atomic load (and an exchange when there is a new
// one), and no value is ever destroyed on a reader's thread.
//
//   settings::Publication<settings::Config> publication(std::make_shared<const settings::Config>());
//   auto reader = publication.reader();  // on an ordinary thread, before the real-time one starts
//   const settings::Config& now = reader.read();  // on the real-time thread, as often as it likes
//   publication.publish(std::make_shared<const settings::Config>(edited));  // on the publishing thread
//
// Each reader has a mailbox of one pointer. publish() puts the new value in
// every reader's mailbox with an exchange; read() looks in its own with a
// load and, only when it holds a value, empties it with an exchange and
// keeps what it found, so a value read stays whole and
// unchanged until the same reader's next read(). The publisher knows from
// what each exchange returns which values a reader may still hold: the one
// it took last and the one in its mailbox. So the publisher keeps at most
// two values per reader, and the newest, however long a reader holds one:
// values alive by the publication are at most 2 × readers + 1. A value no
// reader may hold is released in publish() (on the publishing thread), or
// with the publication or the last reader of it, on the thread that
// destroys them.
#pragma once

#include <atomic>
#include <cstddef>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

#include "settings/file_export.h"

namespace settings {
namespace detail {

// Publication's work, once for every type of value: values as `const void*`.
class DETECTOR_SETTINGS_FILE_EXPORT ErasedPublication {
    struct Channel;

public:
    class DETECTOR_SETTINGS_FILE_EXPORT Reader {
    public:
        Reader(const Reader&) = delete;
        Reader& operator=(const Reader&) = delete;
        Reader(Reader&& other) noexcept = default;  // a reader moved from may only be destroyed
        Reader& operator=(Reader&&) = delete;
        ~Reader();

        const void* read() noexcept {
            // A load first: an exchange is a locked instruction, twenty
            // times a load, and most reads find the mailbox empty. Then
            // acq_rel: the reads of the value held before happen before the
            // publisher learns it is no longer held; the new value's
            // contents are seen whole. Only this reader empties the mailbox,
            // so what the load saw is still there, or a newer value.
            if (mailbox_->load(std::memory_order_relaxed) != nullptr) {
                held_ = mailbox_->exchange(nullptr, std::memory_order_acq_rel);
            }
            return held_;
        }

    private:
        friend class ErasedPublication;
        Reader(std::shared_ptr<Channel> channel, std::atomic<const void*>* mailbox, const void* held);

        std::shared_ptr<Channel> channel_;
        std::atomic<const void*>* mailbox_;  // the channel's
        const void* held_;
    };

    explicit ErasedPublication(std::shared_ptr<const void> first);
    ErasedPublication(const ErasedPublication&) = delete;
    ErasedPublication& operator=(const ErasedPublication&) = delete;
    ~ErasedPublication();

    Reader reader();
    void publish(const std::shared_ptr<const void>& value);
    [[nodiscard]] std::shared_ptr<const void> current() const;
    [[nodiscard]] std::size_t valuesKept() const;
    void lock() { mutex_.lock(); }
    void unlock() { mutex_.unlock(); }

private:
    mutable std::mutex mutex_;
    std::shared_ptr<const void> current_;
    std::vector<std::shared_ptr<Channel>> channels_;
};

}  // namespace detail

template <typename Value>
class Publication {
public:
    // Reads the newest value from one thread at a time. Made on an ordinary
    // thread; read() is then wait-free: one atomic load, and one exchange
    // after a publish, no
    // lock, allocation, deallocation or system call. A reader may outlive
    // its publication: it then reads the last value published. A reader
    // moved from may only be destroyed.
    class Reader {
    public:
        // The newest value published, valid until this reader's next read()
        // or its destruction.
        const Value& read() noexcept { return *static_cast<const Value*>(reader_.read()); }

    private:
        friend class Publication;
        explicit Reader(detail::ErasedPublication::Reader reader) : reader_(std::move(reader)) {}

        detail::ErasedPublication::Reader reader_;
    };

    // `first`, which must not be null, is the value until the first publish().
    explicit Publication(std::shared_ptr<const Value> first) : erased_(std::move(first)) {}

    // A reader of the values from now on. May allocate; never on a reader's thread.
    [[nodiscard]] Reader reader() { return Reader(erased_.reader()); }

    // Makes `value` (not null) the newest for every reader. From one thread
    // at a time. The values it releases are destroyed before it returns,
    // outside its lock.
    void publish(std::shared_ptr<const Value> value) { erased_.publish(std::move(value)); }

    // The newest value, for ordinary threads: it takes a lock.
    [[nodiscard]] std::shared_ptr<const Value> current() const {
        return std::static_pointer_cast<const Value>(erased_.current());
    }

    // How many values the publication keeps alive now: the newest, and those
    // its readers may hold. For tests and monitoring.
    [[nodiscard]] std::size_t valuesKept() const { return erased_.valuesKept(); }

    // The lock that publish(), reader() and current() take, for a process
    // that forks while another thread may hold it: it takes the lock around
    // the fork, so that the child finds it free. Never on a reader's thread.
    void lock() { erased_.lock(); }
    void unlock() { erased_.unlock(); }

private:
    detail::ErasedPublication erased_;
};

}  // namespace settings
