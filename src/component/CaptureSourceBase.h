#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "audio/WaveFormat.h"
#include "vornix/CAudioDataSource.h"

// What every capture source shares: the type name the component checks before it
// attaches, the receiver of the messages, the recording format, and one recording thread
// that may be stopped at any moment from any other thread.
//
// A recording is AM_RECORD_START, any number of AM_RECORD_DATA and always AM_RECORD_END,
// whatever ended it (a stop request, the end of the audio, a device failure), so the
// component never keeps a run open. The receiver is called with a lock held: once
// set_EventHandle returns, the old receiver is not called again, so a host may detach a
// component and then destroy it while a recording goes on. A source must not be
// destroyed from inside its own receiver.
class CaptureSourceBase : public Orvane::VornixNet::CAudioDataSource {
public:
    CaptureSourceBase(const CaptureSourceBase&) = delete;
    CaptureSourceBase& operator=(const CaptureSourceBase&) = delete;
    ~CaptureSourceBase() override;

    std::string TypeName() const override;
    bool set_Owner(void* owner) override;
    // A null callback detaches: the messages are dropped.
    std::int32_t set_EventHandle(void* receiver, Orvane::VornixNet::AudioDataCallback callback) override;
    const void* get_RecordFormatEx() const override;

    void* Owner() const;
    bool IsRunning() const;
    // Why the last Start failed or the last recording ended early; empty otherwise.
    std::string ErrorText() const;

    // Asks the recording to end and waits until AM_RECORD_END has been delivered. Called
    // on the recording thread itself (from a receiver), it only asks.
    void Stop();
    // Waits until the recording has ended by itself (or was stopped). Returns at once when
    // nothing is recording or when called on the recording thread.
    void Wait();

protected:
    CaptureSourceBase();

    // Starts the recording thread, which sends AM_RECORD_START, runs body and then sends
    // AM_RECORD_END. False (with an error text) when a recording is running already.
    bool Launch(std::function<void()> body);
    // Refuses a start while recording; used by derived Starts before they touch anything
    // the recording thread reads.
    bool RefuseIfRunning();
    // Ends any recording and joins its thread. Derived destructors call it first, since
    // the body runs their code.
    void Shutdown();

    void Deliver(int msg, std::uint64_t wparam, std::int64_t lparam);
    bool StopRequested() const;
    // Sleeps until the deadline; false when a stop request cut the sleep short.
    bool SleepUntil(std::chrono::steady_clock::time_point deadline);
    void SetErrorText(std::string text);
    // Replaces the recording format (only while idle). The record is cut to the largest
    // format size.
    void SetFormat(std::span<const std::uint8_t> record);
    const WAVEFORMATEX& Format() const;

private:
    void Run(const std::function<void()>& body);

    mutable std::mutex m_stateMutex;
    std::condition_variable m_stateChanged;
    bool m_running = false;
    bool m_stopRequested = false;
    std::thread m_thread;
    std::string m_errorText;
    void* m_owner = nullptr;

    mutable std::mutex m_receiverMutex;
    void* m_receiver = nullptr;
    Orvane::VornixNet::AudioDataCallback m_callback = nullptr;

    std::vector<std::uint8_t> m_format;
};
