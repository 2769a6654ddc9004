#pragma once
// Reference designators: a prefix followed by a decimal number (R12, IC7, U1A, 12).
// Both numbering modes split present references, format new ones and store them into a
// component's reference field through these helpers.

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kerro {

// Longest reference a component record holds.
inline constexpr size_t kMaxReferenceLength = 8;

struct SplitResult {
  std::string_view prefix;  // a view into the text that was split
  int64_t number = 0;       // 0 when the text has no trailing digits
};

// Splits off the trailing decimal digits, but never the first character: R12 gives R and
// 12, R gives R and 0, U1A gives U1A and 0, R0012 gives R and 12, 12 gives 1 and 2. An
// empty text gives an empty prefix and 0. A digit run too long for the number saturates
// (a reference field holds at most 7 digits, so that never happens for a component).
SplitResult SplitReference(std::string_view text);

inline bool IsDecimalDigit(char c) {
  return c >= '0' && c <= '9';
}

// The prefix SplitReference gives, alone: where only it is needed, nothing is handed back
// through memory.
inline std::string_view ReferencePrefix(std::string_view text) {
  size_t start = text.size();
  while (start > 1 && IsDecimalDigit(text[start - 1])) {
    --start;
  }
  return text.substr(0, start);
}

// A reference is unnumbered when, without its trailing "?" characters, it ends in no digit:
// R, R?, U?, IC??. Gives the prefix (the text without those "?"s) of an unnumbered
// reference, and nullopt for a numbered one or one whose prefix would be empty ("", "?").
std::optional<std::string_view> UnnumberedPrefix(std::string_view reference);

// The prefix followed by the number in decimal without leading zeros, cut to its first
// 8 characters.
std::string FormatReference(std::string_view prefix, int64_t number);

// What a store changed in a reference field.
struct StoredReference {
  bool bytes = false;      // some byte of the field
  bool reference = false;  // the reference it shows, read as a component's reference is
};

// StoreReference(FormatReference(prefix, number), field) without building a string on the
// heap: the numbering modes store a reference for every component of a board.
StoredReference StoreFormattedReference(std::string_view prefix, int64_t number,
                                        std::span<uint8_t> field);

// Writes `text` into a reference field (its length byte and 8 character bytes) as a
// length-prefixed text, cut to what the field holds and to 8 characters. Bytes after the
// last character keep what they held. Does nothing to a field without room for the length.
// The bytes can change while the reference stays: a length byte past the 8 characters, or
// a negative one, is written over by the length it stands for.
StoredReference StoreReference(std::string_view text, std::span<uint8_t> field);

}  // namespace kerro
