#include "component/CaptureSourceBase.h"

#include <algorithm>
#include <cstring>
#include <exception>

#include "vornix/PhoneVornix.h"

using Orvane::VornixNet::AM_RECORD_END;
using Orvane::VornixNet::AM_RECORD_START;
using Orvane::VornixNet::AudioDataCallback;

CaptureSourceBase::CaptureSourceBase() : m_format(kWaveFormatHeaderSize, 0) {
    // 8 kHz 16-bit mono PCM until a derived source says otherwise: the line format.
    WAVEFORMATEX format{WAVE_FORMAT_PCM, 1, 8000, 16000, 2, 16, 0};
    std::memcpy(m_format.data(), &format, sizeof format);
}

CaptureSourceBase::~CaptureSourceBase() {
    Shutdown();
    void* owner = Owner();
    if (owner != nullptr) static_cast<Orvane::VornixNet::PhoneVornix*>(owner)->ForgetSource(*this);
}

std::string CaptureSourceBase::TypeName() const {
    return Orvane::VornixNet::kCaptureSourceTypeName;
}

bool CaptureSourceBase::set_Owner(void* owner) {
    std::lock_guard lock(m_stateMutex);
    m_owner = owner;
    return true;
}

void* CaptureSourceBase::Owner() const {
    std::lock_guard lock(m_stateMutex);
    return m_owner;
}

std::int32_t CaptureSourceBase::set_EventHandle(void* receiver, AudioDataCallback callback) {
    std::lock_guard lock(m_receiverMutex);
    m_receiver = receiver;
    m_callback = callback;
    return 0;
}

const void* CaptureSourceBase::get_RecordFormatEx() const {
    return m_format.data();
}

const WAVEFORMATEX& CaptureSourceBase::Format() const {
    return *reinterpret_cast<const WAVEFORMATEX*>(m_format.data());
}

void CaptureSourceBase::SetFormat(std::span<const std::uint8_t> record) {
    if (record.size() < kWaveFormatHeaderSize) return;
    std::vector<std::uint8_t> copy(record.begin(), record.begin() + std::min<std::size_t>(record.size(), g_dwmax_format_size));
    // The record's own extra size must not promise more bytes than were copied.
    auto* format = reinterpret_cast<WAVEFORMATEX*>(copy.data());
    const std::size_t room = copy.size() - kWaveFormatHeaderSize;
    if (format->cbSize > room) format->cbSize = static_cast<std::uint16_t>(room);
    copy.resize(kWaveFormatHeaderSize + format->cbSize);
    m_format = std::move(copy);
}

bool CaptureSourceBase::IsRunning() const {
    std::lock_guard lock(m_stateMutex);
    return m_running;
}

std::string CaptureSourceBase::ErrorText() const {
    std::lock_guard lock(m_stateMutex);
    return m_errorText;
}

void CaptureSourceBase::SetErrorText(std::string text) {
    std::lock_guard lock(m_stateMutex);
    m_errorText = std::move(text);
}

bool CaptureSourceBase::StopRequested() const {
    std::lock_guard lock(m_stateMutex);
    return m_stopRequested;
}

bool CaptureSourceBase::SleepUntil(std::chrono::steady_clock::time_point deadline) {
    std::unique_lock lock(m_stateMutex);
    return !m_stateChanged.wait_until(lock, deadline, [this] { return m_stopRequested; });
}

bool CaptureSourceBase::RefuseIfRunning() {
    std::lock_guard lock(m_stateMutex);
    if (!m_running) return false;
    m_errorText = "The source is already recording.";
    return true;
}

bool CaptureSourceBase::Launch(std::function<void()> body) {
    std::unique_lock lock(m_stateMutex);
    if (m_running) {
        m_errorText = "The source is already recording.";
        return false;
    }
    // The previous recording has ended; its thread only needs collecting.
    if (m_thread.joinable()) {
        std::thread finished = std::move(m_thread);
        lock.unlock();
        finished.join();
        lock.lock();
    }
    m_running = true;
    m_stopRequested = false;
    m_errorText.clear();
    m_thread = std::thread(&CaptureSourceBase::Run, this, std::move(body));
    return true;
}

void CaptureSourceBase::Run(const std::function<void()>& body) {
    // A receiver's or the body's exception ends the recording early, but the run is still
    // ended with AM_RECORD_END and the reason kept for the host: an exception must not
    // leave this thread.
    try {
        Deliver(AM_RECORD_START, 0, 0);
        body();
    } catch (const std::exception& e) {
        SetErrorText(e.what());
    } catch (...) {
        SetErrorText("Recording failed.");
    }
    try {
        Deliver(AM_RECORD_END, 0, 0);
    } catch (...) {
    }
    std::lock_guard lock(m_stateMutex);
    m_running = false;
    m_stateChanged.notify_all();
}

void CaptureSourceBase::Deliver(int msg, std::uint64_t wparam, std::int64_t lparam) {
    std::lock_guard lock(m_receiverMutex);
    if (m_callback) m_callback(m_receiver, msg, wparam, lparam);
}

void CaptureSourceBase::Stop() {
    std::unique_lock lock(m_stateMutex);
    if (!m_running) return;
    m_stopRequested = true;
    m_stateChanged.notify_all();
    if (std::this_thread::get_id() == m_thread.get_id()) return;
    m_stateChanged.wait(lock, [this] { return !m_running; });
}

void CaptureSourceBase::Wait() {
    std::unique_lock lock(m_stateMutex);
    if (std::this_thread::get_id() == m_thread.get_id()) return;
    m_stateChanged.wait(lock, [this] { return !m_running; });
}

void CaptureSourceBase::Shutdown() {
    Stop();
    std::thread finished;
    {
        std::lock_guard lock(m_stateMutex);
        finished = std::move(m_thread);
    }
    if (finished.joinable()) finished.join();
}
