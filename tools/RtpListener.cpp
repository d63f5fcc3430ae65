#include "RtpListener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/signalfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <span>

#include "CaptureDecoder.h"
#include "rtp/PacketDissector.h"

namespace {

// The largest UDP payload; a datagram is never cut.
constexpr std::size_t kMostDatagram = 65535;
// How long a packet may wait in a reorder window for one before it: a lost packet costs
// a key this much delay, and a packet later than this is dropped as late.
constexpr std::int64_t kHoldNs = 60'000'000;
// How often the windows are looked at while no packet comes.
constexpr int kPollMs = 20;

std::int64_t WallNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::system_clock::now().time_since_epoch()).count();
}

std::string Errno(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}

Endpoint FromSockaddr(const sockaddr_storage& address) {
    Endpoint end;
    if (address.ss_family == AF_INET6) {
        const auto& a = reinterpret_cast<const sockaddr_in6&>(address);
        end.v6 = true;
        std::memcpy(end.address.data(), &a.sin6_addr, 16);
        end.port = ntohs(a.sin6_port);
    } else if (address.ss_family == AF_INET) {
        const auto& a = reinterpret_cast<const sockaddr_in&>(address);
        std::memcpy(end.address.data(), &a.sin_addr, 4);
        end.port = ntohs(a.sin_port);
    }
    return end;
}

}  // namespace

std::optional<Endpoint> RtpListener::ParseAddress(const std::string& text) {
    std::string host, port;
    if (!text.empty() && text.front() == '[') {
        const std::size_t close = text.find("]:");
        if (close == std::string::npos) return std::nullopt;
        host = text.substr(1, close - 1);
        port = text.substr(close + 2);
    } else if (const std::size_t colon = text.rfind(':'); colon != std::string::npos) {
        host = text.substr(0, colon);
        port = text.substr(colon + 1);
    } else {
        port = text;
    }
    if (port.empty() || port.size() > 5 || port.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
    const unsigned long number = std::stoul(port);
    if (number > 65535) return std::nullopt;
    Endpoint end;
    if (!host.empty() && !Endpoint::ParseAddress(host, end)) return std::nullopt;
    end.port = static_cast<std::uint16_t>(number);
    return end;
}

RtpListener::~RtpListener() {
    if (m_socket >= 0) ::close(m_socket);
}

bool RtpListener::Open() {
    sockaddr_storage address{};
    socklen_t length;
    if (m_local.v6) {
        auto& a = reinterpret_cast<sockaddr_in6&>(address);
        a.sin6_family = AF_INET6;
        std::memcpy(&a.sin6_addr, m_local.address.data(), 16);
        a.sin6_port = htons(m_local.port);
        length = sizeof a;
    } else {
        auto& a = reinterpret_cast<sockaddr_in&>(address);
        a.sin_family = AF_INET;
        std::memcpy(&a.sin_addr, m_local.address.data(), 4);
        a.sin_port = htons(m_local.port);
        length = sizeof a;
    }
    m_socket = ::socket(address.ss_family, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (m_socket < 0) {
        m_error = Errno("cannot open a UDP socket");
        return false;
    }
    // A call's burst of packets while the decoder is busy waits in the socket, not lost.
    const int buffer = 4 << 20;
    ::setsockopt(m_socket, SOL_SOCKET, SO_RCVBUF, &buffer, sizeof buffer);
    if (::bind(m_socket, reinterpret_cast<const sockaddr*>(&address), length) != 0) {
        m_error = Errno(("cannot listen on " + m_local.ToString()).c_str());
        return false;
    }
    sockaddr_storage bound{};
    socklen_t boundLength = sizeof bound;
    if (::getsockname(m_socket, reinterpret_cast<sockaddr*>(&bound), &boundLength) == 0) m_local = FromSockaddr(bound);
    return true;
}

bool RtpListener::Run(CaptureDecoder& decoder, const sigset_t& stopSignals) {
    const int signals = ::signalfd(-1, &stopSignals, SFD_CLOEXEC);
    if (signals < 0) {
        m_error = Errno("cannot wait for signals");
        return false;
    }
    std::array<std::uint8_t, kMostDatagram> buffer;
    std::array<pollfd, 2> waits{{{m_socket, POLLIN, 0}, {signals, POLLIN, 0}}};
    bool ok = true;
    for (;;) {
        const int ready = ::poll(waits.data(), waits.size(), kPollMs);
        if (ready < 0 && errno != EINTR) {
            m_error = Errno("waiting for packets failed");
            ok = false;
            break;
        }
        if (waits[1].revents & POLLIN) break;
        if (waits[0].revents & POLLIN) {
            // Everything that has come, without waiting again.
            for (;;) {
                sockaddr_storage from{};
                socklen_t fromLength = sizeof from;
                const ssize_t got = ::recvfrom(m_socket, buffer.data(), buffer.size(), MSG_DONTWAIT,
                                               reinterpret_cast<sockaddr*>(&from), &fromLength);
                if (got < 0) break;
                UdpDatagram datagram{FromSockaddr(from), m_local,
                                     std::span<const std::uint8_t>(buffer.data(), static_cast<std::size_t>(got))};
                decoder.Datagram(datagram, WallNs());
            }
        }
        decoder.Drain(WallNs(), kHoldNs);
    }
    ::close(signals);
    return ok;
}
