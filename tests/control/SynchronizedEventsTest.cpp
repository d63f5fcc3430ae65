// Events through the event window: raised on the thread that started the first
// synchronised run, only when that thread dispatches.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "control/CPhoneVornix.h"
#include "decoder/DecoderMessages.h"
#include "synth/DtmfGenerator.h"
#include "synth/PcmRenderer.h"
#include "synth/SignalTimeline.h"

namespace {

using namespace std::chrono_literals;

class ThreadedHost {
public:
    struct Event {
        int msg;
        std::uint64_t wParam;
        std::thread::id thread;
    };
    CPhoneVornix control{{&ThreadedHost::Receive, this}};

    std::vector<Event> Events() const {
        std::lock_guard lock(m_mutex);
        return m_events;
    }
    std::string KeysOn(std::thread::id thread) const {
        std::string keys;
        for (const Event& e : Events())
            if (e.msg == DM_DTMF && e.thread == thread) keys += static_cast<char>(e.wParam);
        return keys;
    }
    int Count(int msg) const {
        int n = 0;
        for (const Event& e : Events()) n += e.msg == msg;
        return n;
    }

private:
    static void Receive(void* context, int msg, std::uint64_t w, std::int64_t) {
        auto* host = static_cast<ThreadedHost*>(context);
        std::lock_guard lock(host->m_mutex);
        host->m_events.push_back({msg, w, std::this_thread::get_id()});
    }
    mutable std::mutex m_mutex;
    std::vector<Event> m_events;
};

std::vector<unsigned char> KeysPcm(const std::string& keys) {
    SignalTimeline timeline(8000);
    DtmfGenerator::Options options;
    options.toneMs = 50;
    options.gapMs = 50;
    DtmfGenerator(options).Append(timeline, keys);
    timeline.AppendSilence(timeline.SamplesForMs(100));
    std::vector<unsigned char> pcm;
    PcmRenderer({16, 1, 0, 8000}).Render(timeline, pcm);
    return pcm;
}

void Feed(CPhoneVornix& control, const std::vector<unsigned char>& pcm) {
    std::int32_t taken = 0;
    for (std::size_t at = 0; at < pcm.size(); at += 1600) {
        const auto n = static_cast<std::int32_t>(std::min<std::size_t>(1600, pcm.size() - at));
        control._WaveStreamInputEx(pcm.data() + at, 0, n, &taken);
    }
}

TEST(SynchronizedEvents, KeysFedOnTheOwnerThreadWaitForItsDispatch) {
    ThreadedHost host;
    host.control.put_SynchronizeEvents(VARIANT_TRUE);
    ASSERT_EQ(host.control.WaveStreamStart(), S_OK);
    Feed(host.control, KeysPcm("42"));
    host.control.WaveStreamEnd();
    EXPECT_EQ(host.Count(DM_DTMF), 0);  // queued, not yet raised
    EXPECT_EQ(host.Count(DM_DEBUG_TEXT), 1);  // the start line always goes direct
    host.control.DispatchEvents();
    EXPECT_EQ(host.KeysOn(std::this_thread::get_id()), "42");
    EXPECT_EQ(host.Events().back().msg, DM_DECODE_END);
}

TEST(SynchronizedEvents, KeysFromAFeedingThreadArriveOnTheOwnerThread) {
    ThreadedHost host;
    host.control.put_SynchronizeEvents(VARIANT_TRUE);
    ASSERT_EQ(host.control.WaveStreamStart(), S_OK);  // this thread owns the window

    std::string keys;
    for (int i = 0; i < 25; ++i) keys += "0123456789*#ABCD";  // 400 keys
    const auto pcm = KeysPcm(keys);
    std::atomic<bool> done{false};
    std::thread feeder([&] {
        Feed(host.control, pcm);
        host.control.WaveStreamEnd();
        done = true;
    });
    while (!done.load() || host.control.Window()->Pending() > 0) host.control.WaitEvents(10);
    feeder.join();
    host.control.DispatchEvents();

    EXPECT_EQ(host.KeysOn(std::this_thread::get_id()), keys);
    EXPECT_EQ(host.KeysOn(feeder.get_id()), "");
    EXPECT_EQ(host.Count(DM_DECODE_END), 1);
}

TEST(SynchronizedEvents, DirectDeliveryRaisesInsideTheFeedingCall) {
    ThreadedHost host;
    ASSERT_EQ(host.control.WaveStreamStart(), S_OK);
    std::thread::id feederId;
    std::thread feeder([&] {
        feederId = std::this_thread::get_id();
        Feed(host.control, KeysPcm("7"));
    });
    feeder.join();
    EXPECT_EQ(host.KeysOn(feederId), "7");  // before the end of the run, on the feeder
    EXPECT_EQ(host.control.Window(), nullptr);
}

}  // namespace
