#pragma once
// What a numbering run is asked to do and how it can fail: the vocabulary that the numbering
// steps, the job and the front ends share.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "renumber/numbering_controls.h"

namespace kerro {

enum class NumberingMode { Plain, ByLibrary };

inline constexpr int kMinInitial = 1;
inline constexpr int kMaxInitial = 1000;
inline constexpr int kMinStep = 1;
inline constexpr int kMaxStep = 20;

struct DesignNumbering {
  int initial = 1;
  int step = 1;
  NumberingMode mode = NumberingMode::Plain;
  NumberingControls controls;
};

// What storing its new number changed in a component, as bits of a byte per component: the
// numbering marks what it changes, so the job counts changes without noting every reference
// beforehand.
struct StoredChange {
  static constexpr uint8_t kBytes = 1;      // some byte of the record
  static constexpr uint8_t kReference = 2;  // the reference, as read back
  static constexpr uint8_t kBlock = 4;
};

// What numbering changed in one document of a design.
struct DocumentChanges {
  bool anyByte = false;
  size_t references = 0;  // components whose reference changed
  size_t blocks = 0;      // components whose block changed
};

// A prefix that ran out of numbers, and where. Nothing is changed then.
struct NumberShortage {
  size_t document = 0;     // index in the design
  uint32_t component = 0;  // index into that document's entries
  int section = 0;         // within that document, from 0
  int sheet = 0;           // within the design, from 0
  std::string prefix;
  // The sheet's range, first and last number, when sheets have ranges; otherwise no free
  // reference of the prefix turned up within the numbers that 8 characters can show.
  std::optional<std::pair<int64_t, int64_t>> range;
};

}  // namespace kerro
