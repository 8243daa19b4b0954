// A publication's readers see every value whole, the newest after each
// publish, and the publisher keeps no more than it says.
#include "settings/publication.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <iostream>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

namespace settings {
namespace {

// Each value keeps a relation between its fields, so that a torn one shows,
// and counts the values alive.
struct Pair {
    explicit Pair(int n) : first(n), second(-n) { ++alive; }
    Pair(const Pair&) = delete;
    ~Pair() { --alive; }

    static inline std::atomic<int> alive{0};
    int first = 0;
    int second = 0;
};

std::shared_ptr<const Pair> pair(int n) { return std::make_shared<const Pair>(n); }

TEST(Publication, AReaderSeesTheNewestValueAndHoldsItUntilItsNextRead) {
    Publication<Pair> publication(pair(0));
    Publication<Pair>::Reader reader = publication.reader();
    const Pair& first = reader.read();
    EXPECT_EQ(first.first, 0);
    publication.publish(pair(1));
    publication.publish(pair(2));
    EXPECT_EQ(first.first, 0);  // still whole: read before the publishes, not read again since
    EXPECT_EQ(reader.read().first, 2);
    EXPECT_EQ(reader.read().first, 2);
    EXPECT_EQ(publication.current()->first, 2);
}

// However long readers hold values, at random, the publisher keeps no more
// than it says, and drops what the readers that went held.
TEST(Publication, KeepsAtMostTwoValuesPerReaderAndTheNewest) {
    Publication<Pair> publication(pair(0));
    std::vector<Publication<Pair>::Reader> readers;
    readers.reserve(4);
    for (int i = 0; i < 4; ++i) {
        readers.push_back(publication.reader());
    }
    EXPECT_EQ(publication.valuesKept(), 1U);  // each reader holds the first value, nothing is offered yet
    std::weak_ptr<const Pair> first = publication.current();
    unsigned turn = 29;  // which readers read after each publish: an irregular pattern
    std::size_t most = 0;
    for (int n = 1; n <= 10'000; ++n) {
        publication.publish(pair(n));
        for (Publication<Pair>::Reader& reader : readers) {
            turn = turn * 1'103'515'245U + 12'345U;
            if ((turn >> 16U) % 8 == 0) {
                EXPECT_EQ(reader.read().first, n);
            }
        }
        most = std::max(most, publication.valuesKept());
        EXPECT_EQ(static_cast<std::size_t>(Pair::alive.load()), publication.valuesKept());
    }
    EXPECT_LE(most, 2 * readers.size() + 1);
    EXPECT_TRUE(first.expired());
    readers.clear();
    publication.publish(pair(10'001));
    EXPECT_EQ(Pair::alive.load(), 1);  // the readers gone, only the newest is kept
}

TEST(Publication, AReaderOutlivesItsPublication) {
    std::optional<Publication<Pair>> publication(std::in_place, pair(0));
    Publication<Pair>::Reader reader = publication->reader();
    publication->publish(pair(7));
    publication.reset();
    EXPECT_EQ(reader.read().first, 7);
}

TEST(Publication, ReadersOnOtherThreadsNeverSeeATornValue) {
    Publication<Pair> publication(pair(0));
    std::atomic<bool> done = false;
    std::atomic<int> torn = 0;
    std::vector<std::thread> threads;
    threads.reserve(2);
    for (int i = 0; i < 2; ++i) {
        threads.emplace_back([&, reader = publication.reader()]() mutable {
            int last = 0;
            while (!done.load()) {
                const Pair& value = reader.read();
                if (value.first != -value.second || value.first < last) {
                    ++torn;
                }
                last = value.first;
            }
        });
    }
    for (int n = 1; n <= 10'000; ++n) {
        publication.publish(pair(n));
    }
    done = true;
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(torn.load(), 0);
}

// The publishing thread held in the middle of a publish, as if preempted
// there (it holds the lock publish() takes; one reader's mailbox is full,
// the other's taken): readers finish a million reads each while it waits.
TEST(Publication, ReadersGoOnWhileThePublisherIsHeldHalfway) {
    Publication<Pair> publication(pair(0));
    std::vector<Publication<Pair>::Reader> readers;
    readers.push_back(publication.reader());
    readers.push_back(publication.reader());
    publication.publish(pair(1));
    EXPECT_EQ(readers[1].read().first, 1);
    publication.lock();
    constexpr std::size_t reads = 1'000'000;
    std::vector<std::vector<std::chrono::nanoseconds>> times(readers.size());
    std::vector<std::thread> threads;
    for (std::size_t index = 0; index < readers.size(); ++index) {
        times[index].resize(reads);
        threads.emplace_back([&reader = readers[index], &time = times[index]] {
            for (std::chrono::nanoseconds& took : time) {
                const auto start = std::chrono::steady_clock::now();
                static_cast<void>(reader.read());
                took = std::chrono::steady_clock::now() - start;
            }
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    publication.unlock();
    for (std::vector<std::chrono::nanoseconds>& time : times) {
        std::nth_element(time.begin(), time.begin() + reads / 2, time.end());
        std::cout << "reads while the publisher is held: median " << time[reads / 2].count() << " ns, largest "
                  << std::max_element(time.begin(), time.end())->count() << " ns\n";
    }
    EXPECT_EQ(readers[0].read().first, 1);
}

}  // namespace
}  // namespace settings
