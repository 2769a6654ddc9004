#pragma once
// The system's multibyte code page. Texts, paths among them, are byte strings in it. In a
// double-byte code page such as 932 a character may take two bytes, and the second one may
// be any byte from 0x40 up, the path separator '\' (0x5C) included: 表 is 0x95 0x5C. Code
// that looks for a separator or cuts a name must therefore walk a text character by
// character, never byte by byte.

namespace kerro {

// True when `byte` starts a two-byte character in the system's code page. Always false on
// POSIX, where the program treats paths as plain bytes.
bool IsSystemLeadByte(unsigned char byte);

// The lead bytes of code page 932, whatever the system's code page is.
constexpr bool IsCodePage932LeadByte(unsigned char byte) {
  return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

}  // namespace kerro
