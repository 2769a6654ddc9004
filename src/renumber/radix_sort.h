#pragma once
// Sorting of large numbering tables by an unsigned integer key, in linear time: a board of
// a million components is sorted in a few passes over its table instead of twenty rounds
// of comparisons that jump about in memory.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/memory.h"

namespace kerro {

// Sorts `items` by `keyOf(item)`, an unsigned 64-bit key, ascending. Items with equal keys
// keep their order, as with std::stable_sort. Each pass handles 11 bits of the key; passes
// over bits that all items share are skipped.
template <typename Item, typename KeyOf>
void RadixSortByKey(std::vector<Item>& items, KeyOf keyOf) {
  constexpr size_t kSmall = 256;
  if (items.size() < kSmall) {
    std::stable_sort(items.begin(), items.end(),
                     [&](const Item& a, const Item& b) { return keyOf(a) < keyOf(b); });
    return;
  }
  constexpr int kBits = 11;
  constexpr uint64_t kMask = (uint64_t{1} << kBits) - 1;
  constexpr int kMaxPasses = (64 + kBits - 1) / kBits;
  uint64_t used = 0;
  for (const Item& item : items) {
    used |= keyOf(item);
  }
  int passes = 0;
  while (passes < kMaxPasses && (used >> (passes * kBits)) != 0) {
    ++passes;
  }
  // The counts of every pass in one read of the items.
  std::vector<std::array<size_t, kMask + 1>> start(static_cast<size_t>(passes));
  for (const Item& item : items) {
    const uint64_t key = keyOf(item);
    for (int pass = 0; pass < passes; ++pass) {
      ++start[static_cast<size_t>(pass)][(key >> (pass * kBits)) & kMask];
    }
  }
  std::vector<Item> sorted;
  ReserveLarge(sorted, items.size());
  sorted.resize(items.size());
  for (int pass = 0; pass < passes; ++pass) {
    const int shift = pass * kBits;
    auto& bucketStart = start[static_cast<size_t>(pass)];
    if (bucketStart[(keyOf(items.front()) >> shift) & kMask] == items.size()) {
      continue;  // every item has the same digit here
    }
    size_t sum = 0;
    for (size_t& bucket : bucketStart) {
      const size_t count = bucket;
      bucket = sum;
      sum += count;
    }
    for (const Item& item : items) {
      sorted[bucketStart[(keyOf(item) >> shift) & kMask]++] = item;
    }
    items.swap(sorted);
  }
}

}  // namespace kerro
