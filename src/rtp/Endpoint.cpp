#include "rtp/Endpoint.h"

#include <arpa/inet.h>

#include <cstring>

Endpoint Endpoint::V4(std::uint32_t hostOrderAddress, std::uint16_t port) {
    Endpoint e;
    e.address[0] = static_cast<std::uint8_t>(hostOrderAddress >> 24);
    e.address[1] = static_cast<std::uint8_t>(hostOrderAddress >> 16);
    e.address[2] = static_cast<std::uint8_t>(hostOrderAddress >> 8);
    e.address[3] = static_cast<std::uint8_t>(hostOrderAddress);
    e.port = port;
    return e;
}

std::string Endpoint::AddressText() const {
    char text[INET6_ADDRSTRLEN] = {};
    const int family = v6 ? AF_INET6 : AF_INET;
    if (!inet_ntop(family, address.data(), text, sizeof text)) return {};
    return text;
}

std::string Endpoint::ToString() const {
    const std::string port_text = std::to_string(port);
    return v6 ? "[" + AddressText() + "]:" + port_text : AddressText() + ":" + port_text;
}

bool Endpoint::ParseAddress(const std::string& text, Endpoint& out) {
    // inet_pton reads a C string: an embedded NUL would end it early and let trailing
    // bytes pass unseen.
    if (text.find('\0') != std::string::npos) return false;
    std::array<std::uint8_t, 16> bytes{};
    if (inet_pton(AF_INET, text.c_str(), bytes.data()) == 1) {
        out.address = bytes;
        out.v6 = false;
        return true;
    }
    if (inet_pton(AF_INET6, text.c_str(), bytes.data()) == 1) {
        out.address = bytes;
        out.v6 = true;
        return true;
    }
    return false;
}
