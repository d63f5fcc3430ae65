#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// Big-endian fields of packet headers. Callers check the span holds offset + width bytes
// first: these read without a bound check because every header parser already keeps one.
namespace NetworkBytes {

inline std::uint16_t U16(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return static_cast<std::uint16_t>((bytes[offset] << 8) | bytes[offset + 1]);
}

inline std::uint32_t U32(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return (static_cast<std::uint32_t>(bytes[offset]) << 24) | (static_cast<std::uint32_t>(bytes[offset + 1]) << 16) |
           (static_cast<std::uint32_t>(bytes[offset + 2]) << 8) | bytes[offset + 3];
}

// A little-endian 32-bit field, for headers written in the capturing machine's order.
inline std::uint32_t U32LittleEndian(std::span<const std::uint8_t> bytes, std::size_t offset) {
    return (static_cast<std::uint32_t>(bytes[offset + 3]) << 24) | (static_cast<std::uint32_t>(bytes[offset + 2]) << 16) |
           (static_cast<std::uint32_t>(bytes[offset + 1]) << 8) | bytes[offset];
}

}  // namespace NetworkBytes
