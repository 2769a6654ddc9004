#pragma once
// The first position of each name in a list of names, found by hash.
//
// A library holds tens of thousands of names, and a run asks after each of its part names
// and aliases: open addressing over 8-byte slots (a hash and a position), without a node or
// a copy of the name for each. The names stay where their owner keeps them; the index is
// handed a way to read the name at a position whenever two hashes match.

#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "platform/little_endian.h"

namespace kerro {

class NameIndex {
 public:
  // A hash of every byte of `name`, eight at a time.
  static uint32_t Hash(std::string_view name) {
    uint64_t h = 0x9E3779B97F4A7C15u ^ name.size();
    size_t at = 0;
    for (; at + 8 <= name.size(); at += 8) {
      uint64_t word = 0;
      std::memcpy(&word, name.data() + at, sizeof word);
      h = Mix(h ^ word);
    }
    const uint64_t tail = FirstEightBytes(name.substr(at));
    return static_cast<uint32_t>(Mix(h ^ tail ^ 0xD6E8FEB86659FD93u) >> 32);
  }

  // Records `position` for `name` unless the name has a position already; returns whether
  // it was recorded. `nameAt(p)` must return the name recorded for position p.
  template <typename NameAt>
  bool addFirst(std::string_view name, uint32_t position, const NameAt& nameAt) {
    if (2 * (count_ + 1) > slots_.size()) {
      grow();
    }
    const uint32_t hash = Hash(name);
    Slot& slot = slots_[findSlot(name, hash, nameAt)];
    if (slot.position != 0) {
      return false;
    }
    slot = {hash, position + 1};
    ++count_;
    return true;
  }

  // The position recorded for `name`, whose Hash is `hash`, or -1.
  template <typename NameAt>
  int64_t find(std::string_view name, uint32_t hash, const NameAt& nameAt) const {
    if (slots_.empty()) {
      return -1;
    }
    const Slot& slot = slots_[findSlot(name, hash, nameAt)];
    return static_cast<int64_t>(slot.position) - 1;
  }

 private:
  static uint64_t Mix(uint64_t h) {
    h *= 0xBF58476D1CE4E5B9u;
    h ^= h >> 31;
    h *= 0x94D049BB133111EBu;
    return h ^ (h >> 29);
  }

  struct Slot {
    uint32_t hash = 0;
    uint32_t position = 0;  // position + 1; 0 marks an empty slot
  };

  // The slot holding `name`, or the empty slot where it belongs.
  template <typename NameAt>
  size_t findSlot(std::string_view name, uint32_t hash, const NameAt& nameAt) const {
    const size_t mask = slots_.size() - 1;
    for (size_t at = hash & mask;; at = (at + 1) & mask) {
      const Slot& slot = slots_[at];
      if (slot.position == 0 || (slot.hash == hash && nameAt(slot.position - 1) == name)) {
        return at;
      }
    }
  }

  void grow() {
    std::vector<Slot> old(slots_.empty() ? 16 : 2 * slots_.size());
    old.swap(slots_);
    const size_t mask = slots_.size() - 1;
    for (const Slot& slot : old) {
      if (slot.position != 0) {
        size_t at = slot.hash & mask;
        while (slots_[at].position != 0) {
          at = (at + 1) & mask;
        }
        slots_[at] = slot;
      }
    }
  }

  std::vector<Slot> slots_;  // empty, or a power of two at most half full
  size_t count_ = 0;
};

}  // namespace kerro
