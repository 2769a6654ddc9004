#include "renumber/reference.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <limits>

#include "schematic/schematic_format.h"

namespace kerro {

SplitResult SplitReference(std::string_view text) {
  SplitResult result;
  result.prefix = ReferencePrefix(text);
  const size_t start = result.prefix.size();
  // Up to 18 digits cannot overflow; only longer runs need the saturation test.
  constexpr size_t kSafeDigits = 18;
  constexpr int64_t kLimit = std::numeric_limits<int64_t>::max();
  const std::string_view digits = text.substr(start);
  for (size_t i = 0; i < digits.size(); ++i) {
    const int64_t value = digits[i] - '0';
    if (i >= kSafeDigits && result.number > (kLimit - value) / 10) {
      result.number = kLimit;
      break;
    }
    result.number = result.number * 10 + value;
  }
  return result;
}

std::optional<std::string_view> UnnumberedPrefix(std::string_view reference) {
  size_t end = reference.size();
  while (end > 0 && reference[end - 1] == '?') {
    --end;
  }
  if (end == 0 || IsDecimalDigit(reference[end - 1])) {
    return std::nullopt;
  }
  return reference.substr(0, end);
}

namespace {

// Room for the 8 characters kept and every digit of a 64-bit number.
using ReferenceBuffer = std::array<char, kMaxReferenceLength + 24>;

// Only the first 8 characters are kept, so the prefix never needs more than that.
std::string_view FormatInto(std::string_view prefix, int64_t number, ReferenceBuffer& buffer) {
  const size_t kept = std::min(prefix.size(), kMaxReferenceLength);
  std::copy_n(prefix.begin(), kept, buffer.begin());
  const auto end = std::to_chars(buffer.data() + kept, buffer.data() + buffer.size(), number).ptr;
  return {buffer.data(), std::min(static_cast<size_t>(end - buffer.data()), kMaxReferenceLength)};
}

}  // namespace

std::string FormatReference(std::string_view prefix, int64_t number) {
  ReferenceBuffer buffer;
  return std::string(FormatInto(prefix, number, buffer));
}

StoredReference StoreFormattedReference(std::string_view prefix, int64_t number,
                                        std::span<uint8_t> field) {
  ReferenceBuffer buffer;
  return StoreReference(FormatInto(prefix, number, buffer), field);
}

StoredReference StoreReference(std::string_view text, std::span<uint8_t> field) {
  if (field.empty()) {
    return {};
  }
  const size_t length = std::min({text.size(), kMaxReferenceLength, field.size() - 1});
  const std::string_view stored = text.substr(0, length);
  const bool same = field[0] == length &&
                    std::equal(stored.begin(), stored.end(), field.begin() + 1,
                               [](char a, uint8_t b) { return static_cast<uint8_t>(a) == b; });
  // Only where the length byte differs can the reference read be the same, as with a
  // length past the field's capacity: a renumbered component costs no second comparison.
  const bool sameReference =
      same || (field[0] != length && ReadLengthPrefixedText(field, kReferenceCapacity) == stored);
  field[0] = static_cast<uint8_t>(length);
  std::copy_n(stored.begin(), length, field.begin() + 1);
  return {!same, !sameReference};
}

}  // namespace kerro
