#pragma once
// The one reading of a whole number that every option and every map field uses: decimal
// digits with an optional "+" or "-" in front, nothing else (no blanks, no fraction).

#include <charconv>
#include <cstdint>
#include <optional>
#include <string_view>

namespace kerro {

// The value of `text`, or nullopt when it is not a whole number within `low` to `high`.
inline std::optional<int64_t> ParseWholeNumber(std::string_view text, int64_t low, int64_t high) {
  const char* first = text.data();
  const char* last = text.data() + text.size();
  if (first != last && *first == '+') {
    ++first;
    if (first != last && *first == '-') {
      return std::nullopt;  // "+-5"
    }
  }
  int64_t value = 0;
  const auto [end, error] = std::from_chars(first, last, value);
  if (first == last || error != std::errc() || end != last || value < low || value > high) {
    return std::nullopt;
  }
  return value;
}

}  // namespace kerro
