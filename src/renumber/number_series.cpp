#include "renumber/number_series.h"

#include <algorithm>
#include <array>
#include <limits>

#include "platform/memory.h"
#include "renumber/reference.h"

namespace kerro {

namespace {

int64_t Pow10(int exponent) {
  int64_t value = 1;
  for (int i = 0; i < exponent; ++i) {
    value *= 10;
  }
  return value;
}

int DigitsOf(int64_t number) {
  int digits = 1;
  for (; number >= 10; number /= 10) {
    ++digits;
  }
  return digits;
}

uint64_t Mixed(uint64_t key) {
  key ^= key >> 31;
  key *= 0x9E3779B97F4A7C15u;
  return key ^ (key >> 29);
}

}  // namespace

size_t TakenReferences::slotOf(uint64_t key) const {
  const size_t mask = slots_.size() - 1;
  size_t at = static_cast<size_t>(Mixed(key)) & mask;
  while (slots_[at] != 0 && slots_[at] != key) {
    at = (at + 1) & mask;
  }
  return at;
}

void TakenReferences::grow() {
  std::vector<uint64_t> old(std::max<size_t>(16, 2 * slots_.size()), 0);
  old.swap(slots_);
  for (const uint64_t key : old) {
    if (key != 0) {
      slots_[slotOf(key)] = key;
    }
  }
}

void TakenReferences::reserve(size_t count) {
  if (count_ == 0) {
    size_t slots = std::max<size_t>(16, slots_.size());
    while (2 * count > slots) {
      slots *= 2;
    }
    slots_.assign(slots, 0);
    return;
  }
  while (2 * count > slots_.size()) {
    grow();
  }
}

void TakenReferences::insert(uint32_t prefix, int64_t number) {
  if (number < 0 || number > std::numeric_limits<uint32_t>::max() - 1) {
    return;  // no reference of 8 characters shows such a number
  }
  if (2 * (count_ + 1) > slots_.size()) {
    grow();
  }
  const uint64_t key = KeyOf(prefix, number);
  uint64_t& slot = slots_[slotOf(key)];
  if (slot == 0) {
    slot = key;
    ++count_;
  }
}

void TakenReferences::prefetch(uint32_t prefix, int64_t number) const {
  if (!slots_.empty()) {
    PrefetchForRead(
        &slots_[static_cast<size_t>(Mixed(KeyOf(prefix, number))) & (slots_.size() - 1)]);
  }
}

bool TakenReferences::contains(uint32_t prefix, int64_t number) const {
  if (count_ == 0 || number < 0 || number > std::numeric_limits<uint32_t>::max() - 1) {
    return false;
  }
  const uint64_t key = KeyOf(prefix, number);
  return slots_[slotOf(key)] == key;
}

TakenReferences TakeAll(std::span<const std::string_view> references, const PrefixTable& prefixes) {
  TakenReferences taken;
  taken.reserve(references.size());
  // In batches: the slots of a batch are fetched together, then filled.
  constexpr size_t kBatch = kLookupsInFlight;
  std::array<std::pair<uint32_t, int64_t>, kBatch> batch;
  for (size_t first = 0; first < references.size(); first += kBatch) {
    size_t count = 0;
    for (size_t i = first; i < std::min(references.size(), first + kBatch); ++i) {
      // As written, R05 splits as R and 5: the reference R5 that a series would give.
      const SplitResult split = SplitReference(references[i]);
      if (const std::optional<uint32_t> prefix = prefixes.find(split.prefix)) {
        batch[count++] = {*prefix, split.number};
        taken.prefetch(*prefix, split.number);
      }
    }
    for (size_t i = 0; i < count; ++i) {
      taken.insert(batch[i].first, batch[i].second);
    }
  }
  return taken;
}

std::vector<int64_t> HighestHeld(std::span<const std::string_view> references,
                                 const PrefixTable& prefixes) {
  std::vector<int64_t> highest(prefixes.size(), 0);
  for (const std::string_view reference : references) {
    const SplitResult split = SplitReference(reference);
    if (const std::optional<uint32_t> prefix = prefixes.find(split.prefix)) {
      highest[*prefix] = std::max(highest[*prefix], split.number);
    }
  }
  return highest;
}

NumberShortage ShortageAt(std::span<const ComponentEntry> entries,
                          std::span<const uint32_t> sheetOf, const SeriesShortage& shortage,
                          std::string_view prefix) {
  NumberShortage result;
  result.component = shortage.component;
  result.section = entries[shortage.component].section();
  result.sheet = sheetOf.empty() ? result.section : static_cast<int>(sheetOf[shortage.component]);
  result.prefix = std::string(prefix);
  result.range = shortage.range;
  return result;
}

NumberSeries::NumberSeries(int initial, int step, int sheetBase, const PrefixTable& prefixes,
                           TakenReferences taken, std::span<const uint32_t> sheetOf)
    : initial_(initial),
      step_(step),
      sheetBase_(sheetBase),
      room_(prefixes.size()),
      limit_(prefixes.size()),
      taken_(std::move(taken)),
      sheetOf_(sheetOf) {
  for (uint32_t id = 0; id < prefixes.size(); ++id) {
    const size_t length = std::min(prefixes.text(id).size(), kMaxReferenceLength);
    room_[id] = static_cast<uint8_t>(kMaxReferenceLength - length);
    limit_[id] = Pow10(room_[id]);
  }
  if (sheetBase_ == 0) {
    byPrefix_.assign(prefixes.size(),
                     Series{initial_, initial_, std::numeric_limits<int64_t>::max()});
  }
}

NumberSeries::Series& NumberSeries::seriesOf(uint32_t prefix, uint32_t sheet) {
  if (sheetBase_ == 0) {
    return byPrefix_[prefix];
  }
  const auto [found, added] = bySheet_.try_emplace((uint64_t{prefix} << 32) | sheet);
  if (added) {
    const int64_t first = initial_ + (int64_t{sheet} + 1) * sheetBase_;
    found->second = {first, first, first + sheetBase_};
  }
  return found->second;
}

const NumberSeries::Series* NumberSeries::findSeries(uint32_t prefix, uint32_t sheet) const {
  if (sheetBase_ == 0) {
    return &byPrefix_[prefix];
  }
  const auto found = bySheet_.find((uint64_t{prefix} << 32) | sheet);
  return found == bySheet_.end() ? nullptr : &found->second;
}

// Whether the series whose range holds `shown` gave it before any cut: numbers below the
// cut are not recorded one by one, they are the series' own from its first number up to
// where it has reached.
bool NumberSeries::givenBeforeTheCut(uint32_t prefix, int64_t shown) const {
  uint32_t sheet = 0;
  if (sheetBase_ > 0) {
    if (shown < initial_ + sheetBase_) {
      return false;
    }
    sheet = static_cast<uint32_t>((shown - initial_) / sheetBase_ - 1);
  }
  const Series* series = findSeries(prefix, sheet);
  return series && shown >= series->first && shown < series->cursor &&
         (shown - series->first) % step_ == 0;
}

void NumberSeries::restartAt(uint32_t prefix, int64_t number) {
  if (sheetBase_ != 0 || !highest_.empty()) {
    return;
  }
  Series& series = byPrefix_[prefix];
  // A series that has given nothing yet starts at `number` whatever its first number.
  const bool givenAny = series.cursor != series.first;
  if (givenAny && series.cursor >= number) {
    return;
  }
  // The numbers given so far are known only as the run from the first to the cursor,
  // which the new run does not continue: they are taken one by one.
  // (A number past the cut was taken as it was given.)
  const int64_t end = std::min(series.cursor, limit_[prefix]);
  for (int64_t given = series.first; given < end; given += step_) {
    taken_.insert(prefix, given);
  }
  series.first = number;
  series.cursor = number;
}

int64_t NumberSeries::nextPassingOver(uint32_t prefix, uint32_t component) {
  const uint32_t sheet = sheetBase_ > 0 ? sheetOf_[component] : 0;
  Series& series = seriesOf(prefix, sheet);
  if (!highest_.empty() && series.cursor == series.first && highest_[prefix] >= series.first) {
    // Past the prefix's highest number; the numbers passed count as reached, so that a cut
    // number showing one of them is passed over too.
    series.cursor += (highest_[prefix] - series.first) / step_ * step_ + step_;
  }
  const int room = room_[prefix];
  const int64_t span = Pow10(4 + room);
  int64_t number = series.cursor;
  while (number < series.end && number - series.first < span) {
    const int digits = DigitsOf(number);
    if (digits <= room) {
      if (!taken_.contains(prefix, number)) {
        series.cursor = number + step_;
        return number;
      }
      number += step_;
      continue;
    }
    // Cut to the prefix and its first `room` digits.
    const int64_t scale = Pow10(digits - room);
    const int64_t shown = number / scale;
    // With new numbers after the highest, a cut number must show one above it too.
    const bool belowTheHighest =
        !highest_.empty() && highest_[prefix] > 0 && shown <= highest_[prefix];
    if (!belowTheHighest && !taken_.contains(prefix, shown) && !givenBeforeTheCut(prefix, shown)) {
      taken_.insert(prefix, shown);
      series.cursor = number + step_;
      return number;
    }
    // Every number up to the next one that shows something else is taken as well.
    const int64_t past = (shown + 1) * scale;
    number += (past - number + step_ - 1) / step_ * step_;
  }
  if (!shortage_) {
    shortage_ = SeriesShortage{component, prefix, std::nullopt};
    if (sheetBase_ > 0) {
      shortage_->range = std::pair{series.first, series.end - 1};
    }
  }
  return 0;
}

}  // namespace kerro
