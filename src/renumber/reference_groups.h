#pragma once
// The components that share a reference, found on boards of a million in linear time: a
// hash of each reference brings equal ones together, and only references whose hash is
// shared are compared. Duplicate repair and the annotation check both group so.

#include <cstdint>
#include <functional>
#include <span>
#include <string_view>
#include <vector>

namespace kerro {

// What a reference is grouped by first: its hash's high 28 bits, then its length (15 for
// any past eight).
uint32_t HashAndLengthOf(std::string_view reference);

// What the grouping keeps of the references: the first added has index 0, the next 1, and
// so on. A reference of up to eight bytes (every reference field) is told apart from the
// others by its key alone: on a large board the texts lie all over memory, and reading
// them again for every shared hash cost more than the rest of the grouping.
class ReferenceKeys {
 public:
  struct Key {
    uint32_t hashAndLength;  // HashAndLengthOf the reference
    uint32_t index;
  };

  void reserve(size_t count);
  void add(std::string_view reference);

 private:
  friend void ForEachReferenceGroup(ReferenceKeys keys,
                                    const std::function<std::string_view(uint32_t)>& referenceOf,
                                    bool singles,
                                    const std::function<void(std::span<const uint32_t>)>& visit);

  std::vector<Key> keys_;
  std::vector<uint64_t> heads_;  // by index: the first eight bytes, as FirstEightBytes gives
};

// Calls `visit` with the indexes of each set of byte-for-byte equal references, in
// ascending order within the set; sets of one only if `singles`. `referenceOf(index)` is
// asked only for references longer than eight bytes whose hash another one shares. The
// order of the sets is unspecified.
void ForEachReferenceGroup(ReferenceKeys keys,
                           const std::function<std::string_view(uint32_t)>& referenceOf,
                           bool singles,
                           const std::function<void(std::span<const uint32_t>)>& visit);

}  // namespace kerro
