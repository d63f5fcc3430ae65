#include "CaptureSourceMessageLog.h"

#include "vornix/CAudioDataSource.h"

void CaptureSourceMessageLog::Receive(void* receiver, int msg, std::uint64_t wparam, std::int64_t lparam) {
    auto* log = static_cast<CaptureSourceMessageLog*>(receiver);
    Message m{msg, {}, std::this_thread::get_id()};
    if (msg == Orvane::VornixNet::AM_RECORD_DATA) {
        const auto* data = reinterpret_cast<const std::uint8_t*>(wparam);
        m.bytes.assign(data, data + lparam);
    }
    {
        std::lock_guard lock(log->m_mutex);
        log->m_messages.push_back(std::move(m));
    }
    log->m_arrived.notify_all();
    if (log->onMessage) log->onMessage(msg);
}

std::vector<CaptureSourceMessageLog::Message> CaptureSourceMessageLog::Messages() const {
    std::lock_guard lock(m_mutex);
    return m_messages;
}

std::vector<int> CaptureSourceMessageLog::Ids() const {
    std::vector<int> ids;
    for (const Message& m : Messages()) ids.push_back(m.msg);
    return ids;
}

int CaptureSourceMessageLog::Count(int msg) const {
    int n = 0;
    for (const Message& m : Messages()) n += m.msg == msg;
    return n;
}

std::vector<std::uint8_t> CaptureSourceMessageLog::Bytes() const {
    std::vector<std::uint8_t> bytes;
    for (const Message& m : Messages()) bytes.insert(bytes.end(), m.bytes.begin(), m.bytes.end());
    return bytes;
}

bool CaptureSourceMessageLog::WaitFor(int msg, int count, std::chrono::seconds limit) const {
    std::unique_lock lock(m_mutex);
    return m_arrived.wait_for(lock, limit, [&] {
        int n = 0;
        for (const Message& m : m_messages) n += m.msg == msg;
        return n >= count;
    });
}
