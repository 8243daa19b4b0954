// A publication's readers see every value whole, the newest after each
// publish, and the publisher keeps no more than it says.
#include "settings/publication.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

namespace settings {
namespace {

// Each value keeps a relation between its fields, so that a torn one shows.
struct Pair {
    int first = 0;
    int second = 0;
};

std::shared_ptr<const Pair> pair(int n) { return std::make_shared<const Pair>(Pair{n, -n}); }

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

TEST(Publication, KeepsAtMostTwoValuesPerReaderAndTheNewest) {
    Publication<Pair> publication(pair(0));
    std::vector<Publication<Pair>::Reader> readers;
    for (int i = 0; i < 3; ++i) {
        readers.push_back(publication.reader());
    }
    for (int n = 1; n <= 100; ++n) {
        publication.publish(pair(n));
        readers.at(static_cast<std::size_t>(n) % 3).read();  // one reader in three moves on
        EXPECT_LE(publication.valuesKept(), 2 * readers.size() + 1);
    }
    readers.clear();
    publication.publish(pair(101));
    EXPECT_EQ(publication.valuesKept(), 1U);  // the readers gone, only the newest is kept
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

}  // namespace
}  // namespace settings
