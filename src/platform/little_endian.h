#pragma once
// Reading little-endian integers from a byte span. Callers check bounds first; these
// helpers only assemble bytes.

#include <cstddef>
#include <cstdint>
#include <span>

namespace kerro {

inline uint16_t ReadU16(std::span<const uint8_t> bytes, size_t offset) {
  return static_cast<uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

inline int16_t ReadI16(std::span<const uint8_t> bytes, size_t offset) {
  return static_cast<int16_t>(ReadU16(bytes, offset));
}

inline uint32_t ReadU32(std::span<const uint8_t> bytes, size_t offset) {
  return static_cast<uint32_t>(ReadU16(bytes, offset)) |
         (static_cast<uint32_t>(ReadU16(bytes, offset + 2)) << 16);
}

}  // namespace kerro
