#include "job_input.h"

#include <algorithm>

namespace kerro::fuzz {

namespace {

constexpr size_t kSettingsSize = 5;

// The separator as bytes: its characters are signed chars, and 0xF0 is negative.
bool SameByte(uint8_t byte, char c) {
  return byte == static_cast<uint8_t>(c);
}

}  // namespace

JobInput DecodeJobInput(std::span<const uint8_t> bytes) {
  JobInput input;
  if (bytes.size() < kSettingsSize) {
    return input;
  }
  input.byLibrary = (bytes[0] & 1u) != 0;
  input.oldBackup = (bytes[0] & 2u) != 0;
  input.failOneChange = (bytes[0] & 4u) != 0;
  input.controls = static_cast<unsigned>(bytes[0] >> 3);
  input.failingChange = bytes[1];
  input.initial = (bytes[2] | bytes[3] << 8) % 1100;
  input.step = bytes[4] % 24;

  std::vector<std::vector<uint8_t>> parts;
  auto at = bytes.begin() + kSettingsSize;
  if (static_cast<size_t>(bytes.end() - at) >= kPartSeparator.size() &&
      std::equal(at, at + static_cast<ptrdiff_t>(kPartSeparator.size()), kPartSeparator.begin(),
                 SameByte)) {
    at += static_cast<ptrdiff_t>(kPartSeparator.size());
  }
  for (;;) {
    const auto next =
        std::search(at, bytes.end(), kPartSeparator.begin(), kPartSeparator.end(), SameByte);
    parts.emplace_back(at, next);
    if (next == bytes.end()) {
      break;
    }
    at = next + static_cast<ptrdiff_t>(kPartSeparator.size());
  }
  input.schematic = std::move(parts.front());
  for (size_t i = 1; i < parts.size() && i <= kFuzzedLibraries; ++i) {
    input.libraries.push_back(std::move(parts[i]));
  }
  return input;
}

std::vector<uint8_t> EncodeJobInput(const JobInput& input) {
  const auto initial = static_cast<unsigned>(input.initial);
  std::vector<uint8_t> bytes = {
      static_cast<uint8_t>((input.byLibrary ? 1u : 0u) | (input.oldBackup ? 2u : 0u) |
                           (input.failOneChange ? 4u : 0u) | (input.controls << 3)),
      static_cast<uint8_t>(input.failingChange),
      static_cast<uint8_t>(initial & 0xFFu),
      static_cast<uint8_t>(initial >> 8),
      static_cast<uint8_t>(input.step),
  };
  auto append = [&bytes](std::span<const uint8_t> part) {
    bytes.insert(bytes.end(), kPartSeparator.begin(), kPartSeparator.end());
    bytes.insert(bytes.end(), part.begin(), part.end());
  };
  append(input.schematic);
  for (const auto& library : input.libraries) {
    append(library);
  }
  return bytes;
}

}  // namespace kerro::fuzz
