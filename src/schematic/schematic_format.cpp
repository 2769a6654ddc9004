#include "schematic/schematic_format.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "platform/little_endian.h"

namespace kerro {

namespace {

constexpr std::array<uint8_t, 10> kFixedLengths = {6, 6, 10, 10, 10, 18, 18, 38, 60, 60};
// A component entry holds a pointer to kComponentRecordSize bytes: RecordLength gives a
// component record that length, and only where the image holds all of it.
static_assert(kFixedLengths[kComponentRecordKind] == kComponentRecordSize);

}  // namespace

size_t RecordLength(std::span<const uint8_t> image, size_t offset) {
  const size_t available = image.size() - offset;
  const uint8_t kind = image[offset];
  size_t length = 0;
  if (kind < kFixedLengths.size()) {
    length = kFixedLengths[kind];
  } else if (kind >= 16) {
    if (available < kVariableLengthOffset + 2) {
      return 0;  // the length field itself lies past the end
    }
    int16_t field = ReadI16(image, offset + kVariableLengthOffset);
    if (field <= 0) {
      return 0;
    }
    length = static_cast<size_t>(field);
  }
  return length <= available ? length : 0;
}

std::string DescribeUnreadableRecord(std::span<const uint8_t> image, size_t offset) {
  const size_t available = image.size() - offset;
  const unsigned kind = image[offset];
  const std::string at = " at byte " + std::to_string(offset);
  if (kind < kFixedLengths.size()) {
    return "a record" + at + " runs past the end of the file";
  }
  if (kind < 16) {
    return "unknown record of kind " + std::to_string(kind) + at;
  }
  if (available < kVariableLengthOffset + 2) {
    return "a record" + at + " runs past the end of the file";
  }
  const int16_t field = ReadI16(image, offset + kVariableLengthOffset);
  if (field <= 0) {
    return "a record of kind " + std::to_string(kind) + at + " gives its length as " +
           std::to_string(field);
  }
  return "a record" + at + " runs past the end of the file";
}

bool HasSchematicSignature(std::span<const uint8_t> image) {
  if (image.size() < kHeaderRecordSize) {
    return false;
  }
  auto signature = image.subspan(kSignatureOffset, kSignatureSize);
  return std::any_of(kSignatures.begin(), kSignatures.end(), [&](std::string_view expected) {
    return std::memcmp(signature.data(), expected.data(), kSignatureSize) == 0;
  });
}

}  // namespace kerro
