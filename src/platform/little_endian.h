#pragma once
// Reading little-endian integers from a byte span. Callers check bounds first; these
// helpers only assemble bytes.

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>

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

// The first eight bytes of `text` in one word, the first byte lowest, zero after the text.
// Built from whole loads: a word copied together from pieces on the stack and then read at
// once stalls the read, once for each of a million references.
inline uint64_t FirstEightBytes(std::string_view text) {
  const char* const bytes = text.data();
  const size_t size = text.size();
  const auto load = [bytes]<typename Word>(Word, size_t at) {
    Word word;
    std::memcpy(&word, bytes + at, sizeof word);
    return uint64_t{word};
  };
  if constexpr (std::endian::native == std::endian::little) {
    if (size >= sizeof(uint64_t)) {
      return load(uint64_t{}, 0);
    }
    if (size >= sizeof(uint32_t)) {
      // Two loads that overlap where the text is shorter than eight: the bytes they share
      // are the same in both.
      return load(uint32_t{}, 0) | load(uint32_t{}, size - sizeof(uint32_t))
                                       << (8 * (size - sizeof(uint32_t)));
    }
  }
  if (size == 0) {
    return 0;  // an empty view may be null
  }
  const auto byte = [bytes](size_t i) {
    return uint64_t{static_cast<uint8_t>(bytes[i])} << (8 * i);
  };
  if (size < sizeof(uint32_t)) {
    return byte(0) | byte(size / 2) | byte(size - 1);
  }
  uint64_t word = 0;
  for (size_t i = 0; i < std::min(size, sizeof word); ++i) {
    word |= byte(i);
  }
  return word;
}

}  // namespace kerro
