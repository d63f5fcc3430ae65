#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <string>

// One end of a UDP flow: an IPv4 or IPv6 address and a port. IPv4 addresses are kept in
// the first four bytes, the rest zero, so one comparison orders both kinds.
struct Endpoint {
    std::array<std::uint8_t, 16> address{};
    bool v6 = false;
    std::uint16_t port = 0;

    static Endpoint V4(std::uint32_t hostOrderAddress, std::uint16_t port);
    // "192.0.2.1:5004", "[2001:db8::1]:5004" (IPv6 in its shortest text form).
    std::string ToString() const;
    // The address alone, as ToString writes it without brackets and port.
    std::string AddressText() const;
    // "192.0.2.1", "2001:db8::1"; false for anything else.
    static bool ParseAddress(const std::string& text, Endpoint& out);

    auto operator<=>(const Endpoint&) const = default;
};
