#pragma once
// The schematic data file (.CE2).
//
// A file is a run of self-sizing records with no gaps and no trailer. Each record starts
// with its kind byte; the kind gives the record's length in bytes, kind byte included:
//
//   kind      length
//   0, 1      6
//   2, 3, 4   10
//   5, 6      18
//   7         38
//   8         60   component record
//   9         60   header record
//   10..15    invalid: the file is rejected
//   16..255   the signed 16-bit little-endian value at offset 10 of the record
//
// Header record: kind 9 at offset 0; at offset 2 the 20 bytes "CE DATA FILE $0000" or
// "CE DATA FILE $0001", then 0x1A, then 0. The file's first 22 bytes must hold one of them.
// Every further header record opens a new section, up to 63 sections; later ones stay in
// the 63rd.
//
// Component record (all little-endian):
//   offset 2   i16  x, horizontal position on its sheet
//   offset 4   i16  y
//   offset 11  u8   block, the block index within its part
//   offset 12  16   packageTag: length byte, then up to 15 characters
//   offset 32  9    reference: length byte, then up to 8 characters
//   offset 44  16   partName: zero-terminated, up to 15 characters
// A length byte of 0 or with its top bit set means an empty text. All other bytes are
// carried through unchanged, and so is every other kind of record.
//
// What the reader checks beyond that: a variable record whose length field is zero or
// negative, or any record that would run past the end of the file, rejects the file. A
// length byte larger than its field is read no further than the field.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace kerro {

inline constexpr uint8_t kComponentRecordKind = 8;
inline constexpr uint8_t kHeaderRecordKind = 9;
inline constexpr size_t kComponentRecordSize = 60;
inline constexpr size_t kHeaderRecordSize = 60;
inline constexpr size_t kVariableLengthOffset = 10;
inline constexpr int kMaxSections = 63;
inline constexpr int32_t kSectionWidth = 5000;

inline constexpr size_t kSignatureOffset = 2;
inline constexpr size_t kSignatureSize = 20;
inline constexpr std::array<std::string_view, 2> kSignatures = {
    std::string_view("CE DATA FILE $0000\x1A\0", kSignatureSize),
    std::string_view("CE DATA FILE $0001\x1A\0", kSignatureSize)};

// Field layout of a component record.
inline constexpr size_t kXOffset = 2;
inline constexpr size_t kYOffset = 4;
inline constexpr size_t kBlockOffset = 11;
inline constexpr size_t kPackageTagOffset = 12;
inline constexpr size_t kPackageTagCapacity = 15;
inline constexpr size_t kReferenceOffset = 32;
inline constexpr size_t kReferenceCapacity = 8;
inline constexpr size_t kPartNameOffset = 44;
inline constexpr size_t kPartNameFieldSize = 16;

// Returns the length of the record that starts at `offset`, or 0 if the record is invalid
// or does not fit in `image`. `offset` must be below the image size.
size_t RecordLength(std::span<const uint8_t> image, size_t offset);

// True if the image is long enough for a header record and carries a schematic signature.
// Why the record at `offset` cannot be walked (RecordLength gave 0), in words: "unknown
// record of kind 12 at byte 840", "a record at byte 1200 runs past the end of the file".
std::string DescribeUnreadableRecord(std::span<const uint8_t> image, size_t offset);

bool HasSchematicSignature(std::span<const uint8_t> image);

// Reads a length-prefixed text of at most `capacity` characters from `field`, which holds
// the length byte and the characters. Inline: a large board's numbering reads millions.
inline std::string_view ReadLengthPrefixedText(std::span<const uint8_t> field, size_t capacity) {
  const auto length = static_cast<int8_t>(field[0]);
  if (length <= 0) {
    return {};
  }
  size_t count = std::min({static_cast<size_t>(length), capacity, field.size() - 1});
  return {reinterpret_cast<const char*>(field.data() + 1), count};
}

}  // namespace kerro
