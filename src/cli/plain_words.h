#pragma once
// Texts copied a word at a time where none of their characters needs escaping. A change
// list of a million changes is written as lines, JSON or CSV; its texts are short names,
// tags and references, and copying them a byte at a time, each byte tested, took as long
// as the numbering's own store.

#include <cstdint>
#include <cstring>
#include <string_view>

namespace kerro {

// Whether any byte of `word` is below `limit` (at most 0x80): such a byte borrows into its
// top bit, unless that was set already.
template <typename Word>
constexpr bool HasByteBelow(Word word, uint8_t limit) {
  constexpr Word kOnes = static_cast<Word>(~Word{0}) / 0xFF;
  return (static_cast<Word>(word - kOnes * limit) & static_cast<Word>(~word) & (kOnes * 0x80)) != 0;
}

// Whether any byte of `word` is `value`.
template <typename Word>
constexpr bool HasByte(Word word, uint8_t value) {
  constexpr Word kOnes = static_cast<Word>(~Word{0}) / 0xFF;
  return HasByteBelow(static_cast<Word>(word ^ (kOnes * value)), 1);
}

// Copies to `out` the start of `text` that goes out unchanged, in whole words for which
// `plain(word)` holds (a 64-bit word of eight characters, or a 32-bit one of four), and
// returns how many characters it copied: all of them, or a multiple of eight where a word
// that is not plain begins. `out` has room for the whole text.
template <typename Plain>
size_t PutPlainWords(char* out, std::string_view text, const Plain& plain) {
  const auto load = [&text]<typename Word>(Word, size_t at) {
    Word word;
    std::memcpy(&word, text.data() + at, sizeof word);
    return word;
  };
  size_t at = 0;
  for (; at + 8 <= text.size() && plain(load(uint64_t{}, at)); at += 8) {
    std::memcpy(out + at, text.data() + at, 8);
  }
  const size_t rest = text.size() - at;
  if (rest >= 4 && rest < 8) {
    // Two words that overlap where fewer than eight characters are left.
    const uint32_t first = load(uint32_t{}, at);
    const uint32_t last = load(uint32_t{}, text.size() - 4);
    if (plain(first) && plain(last)) {
      std::memcpy(out + at, &first, 4);
      std::memcpy(out + text.size() - 4, &last, 4);
      return text.size();
    }
  }
  return at;
}

}  // namespace kerro
