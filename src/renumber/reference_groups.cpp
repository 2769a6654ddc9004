#include "renumber/reference_groups.h"

#include <algorithm>
#include <vector>

#include "platform/little_endian.h"
#include "platform/memory.h"
#include "renumber/radix_sort.h"

namespace kerro {

namespace {

struct Keyed {
  uint32_t hash;
  uint32_t index;
};

uint32_t HashOf(std::string_view reference) {
  if (reference.size() > sizeof(uint64_t)) {
    return static_cast<uint32_t>(std::hash<std::string_view>{}(reference));
  }
  uint64_t word = FirstEightBytes(reference);
  word = (word ^ (word >> 29) ^ reference.size()) * 0x9E3779B97F4A7C15u;
  return static_cast<uint32_t>(word >> 32);
}

}  // namespace

void ForEachReferenceGroup(std::span<const std::string_view> references, bool singles,
                           const std::function<void(std::span<const uint32_t>)>& visit) {
  std::vector<Keyed> keyed;
  ReserveLarge(keyed, references.size());
  for (uint32_t i = 0; i < references.size(); ++i) {
    keyed.push_back({HashOf(references[i]), i});
  }
  RadixSortByKey(keyed, [](const Keyed& item) { return uint64_t{item.hash}; });
  std::vector<uint32_t> run;
  for (size_t first = 0; first < keyed.size();) {
    size_t end = first + 1;
    while (end < keyed.size() && keyed[end].hash == keyed[first].hash) {
      ++end;
    }
    if (end - first == 1) {
      if (singles) {
        visit(std::span(&keyed[first].index, 1));
      }
      first = end;
      continue;
    }
    run.clear();
    for (size_t i = first; i < end; ++i) {
      run.push_back(keyed[i].index);
      // Equal references lie anywhere on a board: their texts are fetched all at once, so
      // that the cache misses of hundreds of them overlap.
      PrefetchForRead(references[keyed[i].index].data());
    }
    // Mostly the holders of one reference, already in order: only equal hashes of
    // unequal references need sorting, each reference's indexes together, in order.
    const std::string_view shared = references[run.front()];
    if (std::all_of(run.begin() + 1, run.end(),
                    [&](uint32_t i) { return references[i] == shared; })) {
      visit(run);
      first = end;
      continue;
    }
    std::stable_sort(run.begin(), run.end(),
                     [&](uint32_t a, uint32_t b) { return references[a] < references[b]; });
    for (size_t group = 0; group < run.size();) {
      size_t groupEnd = group + 1;
      while (groupEnd < run.size() && references[run[groupEnd]] == references[run[group]]) {
        ++groupEnd;
      }
      if (singles || groupEnd - group > 1) {
        visit(std::span(run).subspan(group, groupEnd - group));
      }
      group = groupEnd;
    }
    first = end;
  }
}

}  // namespace kerro
