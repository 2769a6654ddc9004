#pragma once
// The binary part library, the compiled form of a component library. All integers are
// little-endian; every table position in the header is an absolute file offset.
//
//   offset  size  content
//   0       14    magic "LIB FOR CE000" and byte 0x1A
//   14      2     not checked
//   16      2     entry count N (parts and aliases), not 0
//   18      4     name table: N x u32, offset of each entry's name in the string area
//   22      4     body table: N x u16, offset of each entry's body in the body area, or
//                 0xFFFF for none; entries with equal offsets share one body (aliases)
//   26      4     body area
//   30      4     pattern table: 6-byte records, u16 bitmap offset in the bitmap area
//   34      4     bitmap area
//   38      4     string area: names and prefixes NUL-terminated, pin names prefixed by
//                 a length byte (at most 63 used; a length with the top bit set is empty)
//   42      12    not read
//
// Body record: u8 sizeX, u8 sizeY, u8 blockCount, 3 bytes not read, u16 reference prefix
// (string offset), u16 pattern index or 0xFFFF, u16 whose bits 0-11 are the pin count
// and bits 15, 14, 13, 12 mark pins on sides 0, 1, 2, 3; then the pin records: u16
// location word, u16 name (string offset, or 0xFFFF), blockCount x u16 pin-number words.
//
// Location word: bits 0-7 offset along the side, 8-9 side, 12, 14, 15 the flags S, C, N
// (stored at bits 28, 30, 31 of PartPin::location). Pin-number word: bits 0-8 the number,
// bits 10-14 a letter code n (the character 0x40 + n before the number when not 0), bit
// 15 set for the sign "-"; so 0x0403 is "+A3" and 0x8005 is "-5".
//
// Bitmap: u16 width, u16 height, then rows of (width + 7) / 8 bytes, widened in memory to
// whole 16-bit words. A width or height of 0 gives no bitmap.
//
// What is checked: the magic, N, and that everything the reader reads lies in the file
// after the 54 bytes of magic and header; a file whose offsets point outside that, or
// whose strings run to its end without a NUL, is rejected. Files larger than the 65,589
// bytes the editor's reader holds are read whole all the same.

#include <cstdint>
#include <span>

#include "library/part_model.h"

namespace kerro {

inline constexpr size_t kBinaryMagicSize = 14;
inline constexpr size_t kBinaryHeaderEnd = 54;

// True if `bytes` start with the 16 bytes of a binary library's magic and padding.
bool HasBinaryLibraryMagic(std::span<const uint8_t> bytes);

// Reads a whole binary library file into `library`, which must be empty. Returns false if
// the file is not a well-formed library; `library` is then left empty.
bool LoadBinaryLibrary(PartLibrary& library, std::span<const uint8_t> file);

}  // namespace kerro
