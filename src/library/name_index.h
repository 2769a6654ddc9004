#pragma once
// The first position of each name in a list of names, found by hash; or of each key of
// any kind, such as a map row's component.
//
// A library holds tens of thousands of names, and a run asks after each of its part names
// and aliases; a was/is map of a million rows is checked and matched by its keys: open
// addressing over 8-byte slots (a hash and a position), without a node or a copy of the
// name for each. The names stay where their owner keeps them; the index is handed a way to
// read the name at a position (or to compare the key there) whenever two hashes match.

#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "platform/little_endian.h"
#include "platform/memory.h"

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

  // The hash of a key of several fields: `hash`, that of the fields so far, joined by one
  // more field (a number, or the Hash of a text).
  static uint32_t Join(uint32_t hash, uint64_t more) {
    return static_cast<uint32_t>(Mix(Mix(hash + 0x9E3779B97F4A7C15u) ^ more) >> 32);
  }

  // Records `position` for `name` unless the name has a position already; returns whether
  // it was recorded. `nameAt(p)` must return the name recorded for position p.
  template <typename NameAt>
  bool addFirst(std::string_view name, uint32_t position, const NameAt& nameAt) {
    return addFirstKeyed(Hash(name), position, [&](uint32_t at) { return nameAt(at) == name; }) ==
           position;
  }

  // The position recorded for `name`, whose Hash is `hash`, or -1.
  template <typename NameAt>
  int64_t find(std::string_view name, uint32_t hash, const NameAt& nameAt) const {
    return findKeyed(hash, [&](uint32_t at) { return nameAt(at) == name; });
  }

  // The same for a key of any kind: `hash` is the key's, and `holdsKey(p)` tells whether
  // the key recorded for position p is the one asked after. addFirstKeyed returns the
  // position recorded first for the key: `position` itself when the key is new.
  template <typename HoldsKey>
  uint32_t addFirstKeyed(uint32_t hash, uint32_t position, const HoldsKey& holdsKey) {
    if (2 * (count_ + 1) > slots_.size()) {
      grow(2 * (count_ + 1));
    }
    Slot& slot = slots_[findSlot(hash, holdsKey)];
    if (slot.position != 0) {
      return slot.position - 1;
    }
    slot = {hash, position + 1};
    ++count_;
    return position;
  }
  template <typename HoldsKey>
  int64_t findKeyed(uint32_t hash, const HoldsKey& holdsKey) const {
    if (slots_.empty()) {
      return -1;
    }
    const Slot& slot = slots_[findSlot(hash, holdsKey)];
    return static_cast<int64_t>(slot.position) - 1;
  }

  // Starts fetching the slot where a key of this hash is looked for: a loop over a million
  // keys in no order of the table's asks so a few keys ahead.
  void prefetch(uint32_t hash) const {
    if (!slots_.empty()) {
      PrefetchForRead(&slots_[hash & (slots_.size() - 1)]);
    }
  }

  // Makes room for `count` keys in all, so that they are recorded without the table
  // growing on the way.
  void reserve(size_t count) {
    if (2 * count > slots_.size()) {
      grow(2 * count);
    }
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

  // The slot holding the key, or the empty slot where it belongs.
  template <typename HoldsKey>
  size_t findSlot(uint32_t hash, const HoldsKey& holdsKey) const {
    const size_t mask = slots_.size() - 1;
    for (size_t at = hash & mask;; at = (at + 1) & mask) {
      const Slot& slot = slots_[at];
      if (slot.position == 0 || (slot.hash == hash && holdsKey(slot.position - 1))) {
        return at;
      }
    }
  }

  // Doubles the slots until at least `slots` of them are there.
  void grow(size_t slots) {
    size_t size = slots_.empty() ? 16 : 2 * slots_.size();
    while (size < slots) {
      size *= 2;
    }
    std::vector<Slot> old(size);
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
