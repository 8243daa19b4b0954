// The watch's queue of events: bounded, the newest event always kept, what
// was left out counted.
#include "event_queue.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace command {
namespace {

std::vector<std::string> outs(const EventQueue::Batch& batch) {
    std::vector<std::string> lines;
    for (const EventLines& event : batch.events) {
        lines.push_back(event.out + event.err);
    }
    return lines;
}

TEST(EventQueue, KeepsTheNewestEventsWithinItsBoundAndCountsTheRest) {
    EventQueue queue(10);
    queue.add({"aaaa", ""});
    queue.add({"bbb", "b"});
    queue.add({"cc", ""});  // 10 bytes waiting: all kept
    EventQueue::Batch batch = queue.take(std::chrono::milliseconds(0));
    EXPECT_EQ(batch.leftOut, 0U);
    EXPECT_EQ(outs(batch), (std::vector<std::string>{"aaaa", "bbbb", "cc"}));
    EXPECT_FALSE(batch.closed);
    // What was taken waits no more: the bound holds as much again.
    queue.add({"01234", ""});
    queue.add({"56789", ""});
    EXPECT_EQ(queue.take(std::chrono::milliseconds(0)).leftOut, 0U);

    queue.add({"1234567", ""});
    queue.add({"89", "0"});
    queue.add({"xy", ""});
    queue.add({std::string(20, 'z'), ""});  // alone past the bound, and still kept
    batch = queue.take(std::chrono::milliseconds(0));
    EXPECT_EQ(batch.leftOut, 3U);
    EXPECT_EQ(outs(batch), (std::vector<std::string>{std::string(20, 'z')}));
    EXPECT_EQ(queue.take(std::chrono::milliseconds(0)).leftOut, 0U);
}

TEST(EventQueue, WakesATakerAndEndsOnceClosed) {
    EventQueue queue;
    std::thread adder([&] { queue.add({"line\n", ""}); });
    const EventQueue::Batch batch = queue.take(std::chrono::seconds(60));
    adder.join();
    EXPECT_EQ(outs(batch), std::vector<std::string>{"line\n"});
    queue.close();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(queue.take(std::chrono::seconds(60)).closed);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

// The writer tells how many events were left out before those it writes, and ends once the queue is closed.
TEST(EventQueue, WriterCountsWhatWasLeftOut) {
    using File = std::unique_ptr<std::FILE, decltype(&std::fclose)>;
    const File out(std::tmpfile(), &std::fclose);
    const File err(std::tmpfile(), &std::fclose);
    ASSERT_TRUE(out && err);
    EventQueue queue(4);
    for (const char* line : {"a\n", "b\n", "c\n"}) {
        queue.add({line, "!"});
    }
    queue.close();
    Streams streams{nullptr, Output(out.get()), Output(err.get())};
    writeEvents(queue, streams, [](std::size_t count) { return "left out " + std::to_string(count) + "\n"; });
    std::array<char, 64> written{};
    std::rewind(out.get());
    EXPECT_EQ(std::string(written.data(), std::fread(written.data(), 1, written.size(), out.get())), "left out 2\nc\n");
    std::rewind(err.get());
    EXPECT_EQ(std::string(written.data(), std::fread(written.data(), 1, written.size(), err.get())), "!");
}

}  // namespace
}  // namespace command
