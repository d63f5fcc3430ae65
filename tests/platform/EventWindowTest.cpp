#include "platform/EventWindow.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

struct Handled {
    int msg;
    std::int64_t lParam;
    std::thread::id thread;
};

class EventWindowTest : public ::testing::Test {
protected:
    std::vector<Handled> handled;
    EventWindow window{[this](int msg, std::uint64_t, std::int64_t l) {
        handled.push_back({msg, l, std::this_thread::get_id()});
    }};
};

TEST_F(EventWindowTest, PostedMessagesWaitForTheOwnerToDispatch) {
    window.Post(1, 0, 10);
    window.Post(2, 0, 20);
    EXPECT_TRUE(handled.empty());
    EXPECT_EQ(window.Pending(), 2u);
    EXPECT_EQ(window.DispatchEvents(), 2);
    ASSERT_EQ(handled.size(), 2u);
    EXPECT_EQ(handled[0].msg, 1);
    EXPECT_EQ(handled[1].msg, 2);
    EXPECT_EQ(window.DispatchEvents(), 0);
}

TEST_F(EventWindowTest, SentByTheOwnerIsHandledInPlace) {
    window.Post(1, 0, 0);
    window.Send(2, 0, 0);
    ASSERT_EQ(handled.size(), 1u);
    EXPECT_EQ(handled[0].msg, 2);  // ahead of the earlier post, which still waits
    EXPECT_EQ(window.Pending(), 1u);
}

TEST_F(EventWindowTest, OtherThreadsCannotDispatch) {
    window.Post(1, 0, 0);
    int count = -1;
    std::thread([&] { count = window.DispatchEvents(); }).join();
    EXPECT_EQ(count, 0);
    EXPECT_TRUE(handled.empty());
}

TEST_F(EventWindowTest, SendFromAnotherThreadBlocksUntilHandledOnTheOwner) {
    std::atomic<bool> returned{false};
    std::thread feeder([&] {
        int onStack = 42;  // a sent message may point at the sender's stack
        window.Send(7, reinterpret_cast<std::uintptr_t>(&onStack), 0);
        returned = true;
    });
    while (window.Pending() == 0) std::this_thread::sleep_for(1ms);
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(returned.load());
    EXPECT_EQ(window.WaitEvents(1000ms), 1);
    feeder.join();
    EXPECT_TRUE(returned.load());
    ASSERT_EQ(handled.size(), 1u);
    EXPECT_EQ(handled[0].thread, std::this_thread::get_id());
}

TEST_F(EventWindowTest, SentMessagesGoAheadOfPostedOnes) {
    window.Post(1, 0, 0);
    std::thread feeder([&] { window.Send(2, 0, 0); });
    while (window.Pending() < 2) std::this_thread::sleep_for(1ms);
    window.DispatchEvents();
    feeder.join();
    ASSERT_EQ(handled.size(), 2u);
    EXPECT_EQ(handled[0].msg, 2);
    EXPECT_EQ(handled[1].msg, 1);
}

TEST_F(EventWindowTest, NothingIsLostBetweenAFeederAndTheOwner) {
    constexpr int kEvents = 10000;
    std::atomic<bool> finished{false};
    std::thread feeder([&] {
        for (int i = 0; i < kEvents; ++i) {
            if (i % 10 == 9) {
                window.Send(2, 0, i);
            } else {
                window.Post(1, 0, i);
            }
        }
        finished = true;
    });
    while (!finished.load() || window.Pending() > 0) window.WaitEvents(5ms);
    feeder.join();
    window.DispatchEvents();
    ASSERT_EQ(handled.size(), static_cast<std::size_t>(kEvents));
    // Posted messages keep their order among themselves, and so do sent ones.
    std::int64_t lastPosted = -1, lastSent = -1;
    for (const Handled& h : handled) {
        std::int64_t& last = h.msg == 1 ? lastPosted : lastSent;
        EXPECT_GT(h.lParam, last);
        last = h.lParam;
        EXPECT_EQ(h.thread, std::this_thread::get_id());
    }
}

TEST(EventWindowLifetime, DestructionDropsQueuedMessagesAndReleasesSenders) {
    std::atomic<int> calls{0};
    auto window = std::make_unique<EventWindow>([&](int, std::uint64_t, std::int64_t) { ++calls; });
    window->Post(1, 0, 0);
    std::atomic<bool> returned{false};
    std::thread feeder([&] {
        window->Send(2, 0, 0);
        returned = true;
    });
    while (window->Pending() < 2) std::this_thread::sleep_for(1ms);
    window.reset();
    feeder.join();
    EXPECT_TRUE(returned.load());
    EXPECT_EQ(calls.load(), 0);
}

}  // namespace
