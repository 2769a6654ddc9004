#include "renumber/reference_groups.h"

#include <algorithm>

#include "platform/little_endian.h"
#include "platform/memory.h"
#include "renumber/radix_sort.h"

namespace kerro {

namespace {

constexpr uint32_t kLengthMask = 0xF;
constexpr uint32_t kLongReference = kLengthMask;

bool IsLong(const ReferenceKeys::Key& key) {
  return (key.hashAndLength & kLengthMask) == kLongReference;
}

uint32_t HashAndLength(std::string_view reference, uint64_t head) {
  if (reference.size() > sizeof(uint64_t)) {
    const auto hash = static_cast<uint32_t>(std::hash<std::string_view>{}(reference));
    return (hash & ~kLengthMask) | kLongReference;
  }
  const auto length = static_cast<uint32_t>(reference.size());
  const auto hash =
      static_cast<uint32_t>(((head ^ (head >> 29) ^ length) * 0x9E3779B97F4A7C15u) >> 32);
  return (hash & ~kLengthMask) | length;
}

}  // namespace

void ReferenceKeys::reserve(size_t count) {
  ReserveLarge(keys_, count);
  ReserveLarge(heads_, count);
}

uint32_t HashAndLengthOf(std::string_view reference) {
  return HashAndLength(reference, FirstEightBytes(reference));
}

void ReferenceKeys::add(std::string_view reference) {
  const uint64_t head = FirstEightBytes(reference);
  keys_.push_back({HashAndLength(reference, head), static_cast<uint32_t>(keys_.size())});
  heads_.push_back(head);
}

void ForEachReferenceGroup(ReferenceKeys references,
                           const std::function<std::string_view(uint32_t)>& referenceOf,
                           bool singles,
                           const std::function<void(std::span<const uint32_t>)>& visit) {
  using Key = ReferenceKeys::Key;
  std::vector<Key>& keys = references.keys_;
  const std::vector<uint64_t>& heads = references.heads_;
  RadixSortByKey(keys, [](const Key& key) { return uint64_t{key.hashAndLength}; });
  // Keys of one hash and length: equal heads mean equal references up to eight bytes.
  const auto same = [&](const Key& a, const Key& b) {
    return heads[a.index] == heads[b.index] &&
           (!IsLong(a) || referenceOf(a.index) == referenceOf(b.index));
  };
  const auto before = [&](const Key& a, const Key& b) {
    if (heads[a.index] != heads[b.index]) {
      return heads[a.index] < heads[b.index];
    }
    return IsLong(a) && referenceOf(a.index) < referenceOf(b.index);
  };
  std::vector<uint32_t> group;
  for (size_t first = 0; first < keys.size();) {
    size_t end = first + 1;
    while (end < keys.size() && keys[end].hashAndLength == keys[first].hashAndLength) {
      ++end;
    }
    const std::span run(keys.data() + first, end - first);
    first = end;
    if (run.size() == 1) {
      if (singles) {
        visit(std::span(&run.front().index, 1));
      }
      continue;
    }
    // Mostly the holders of one reference, already in order of index: only equal hashes
    // of unequal references need sorting, each reference's indexes together, in order.
    for (const Key& key : run) {
      PrefetchForRead(&heads[key.index]);
    }
    const bool one = std::all_of(run.begin() + 1, run.end(),
                                 [&](const Key& key) { return same(key, run.front()); });
    if (!one) {
      std::stable_sort(run.begin(), run.end(), before);
    }
    for (size_t at = 0; at < run.size();) {
      size_t groupEnd = at + 1;
      while (groupEnd < run.size() && same(run[groupEnd], run[at])) {
        ++groupEnd;
      }
      if (singles || groupEnd - at > 1) {
        group.clear();
        for (size_t i = at; i < groupEnd; ++i) {
          group.push_back(run[i].index);
        }
        visit(group);
      }
      at = groupEnd;
    }
  }
}

}  // namespace kerro
