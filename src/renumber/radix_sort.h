#pragma once
// Sorting of large numbering tables by an unsigned integer key, in linear time: a board of
// a million components is sorted in a few passes over its table instead of twenty rounds
// of comparisons that jump about in memory.

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "platform/memory.h"

namespace kerro {

// Sorts `items` by `keyOf(item)`, an unsigned 64-bit key, ascending. Items with equal keys
// keep their order, as with std::stable_sort. Each pass handles up to 12 bits of the key;
// the bits above the highest used are not looked at, and passes over bits that all items
// share are skipped.
template <typename Item, typename KeyOf>
void RadixSortByKey(std::vector<Item>& items, KeyOf keyOf) {
  constexpr size_t kSmall = 256;
  if (items.size() < kSmall) {
    std::stable_sort(items.begin(), items.end(),
                     [&](const Item& a, const Item& b) { return keyOf(a) < keyOf(b); });
    return;
  }
  // As few passes as digits of at most 12 bits allow, the used bits shared evenly among
  // them: the 23-bit keys of a million numbers under a few prefixes take two passes, not
  // three of 11 bits, and fewer bits a pass mean fewer places each pass writes to at once.
  constexpr int kMostBits = 12;
  uint64_t used = 0;
  for (const Item& item : items) {
    used |= keyOf(item);
  }
  const int width = static_cast<int>(std::bit_width(used));
  const int passes = (width + kMostBits - 1) / kMostBits;
  if (passes == 0) {
    return;  // every key is zero
  }
  const int bits = (width + passes - 1) / passes;
  const uint64_t mask = (uint64_t{1} << bits) - 1;
  const size_t buckets = size_t{1} << bits;
  const auto digitOf = [mask](uint64_t key, int shift) {
    return static_cast<size_t>((key >> shift) & mask);  // below 2^12
  };
  // The counts of every pass in one read of the items.
  std::vector<size_t> counts(static_cast<size_t>(passes) * buckets);
  for (const Item& item : items) {
    const uint64_t key = keyOf(item);
    for (int pass = 0; pass < passes; ++pass) {
      ++counts[static_cast<size_t>(pass) * buckets + digitOf(key, pass * bits)];
    }
  }
  std::vector<Item> sorted;
  ReserveLarge(sorted, items.size());
  sorted.resize(items.size());
  for (int pass = 0; pass < passes; ++pass) {
    const int shift = pass * bits;
    const std::span<size_t> bucketStart =
        std::span(counts).subspan(static_cast<size_t>(pass) * buckets, buckets);
    if (bucketStart[digitOf(keyOf(items.front()), shift)] == items.size()) {
      continue;  // every item has the same digit here
    }
    size_t sum = 0;
    for (size_t& bucket : bucketStart) {
      const size_t count = bucket;
      bucket = sum;
      sum += count;
    }
    for (const Item& item : items) {
      sorted[bucketStart[digitOf(keyOf(item), shift)]++] = item;
    }
    items.swap(sorted);
  }
}

}  // namespace kerro
