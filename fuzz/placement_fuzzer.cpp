// Placement files: any bytes are refused with a reason naming a line, or give rows whose
// references are the bytes they point at, on distinct references with positions in range.
// Renaming every row's reference changes nothing else: each reference's bytes give way to
// the new name, and renaming to the same names gives the input unchanged.

#include <cstddef>
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "board/board_order.h"
#include "board/placement_file.h"
#include "fuzz_checks.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const kerro::PlacementReadResult read = kerro::ReadPlacement(bytes);
  if (!read.rows) {
    KERRO_FUZZ_CHECK(read.error.starts_with("line "), "a refusal without its line");
    return 0;
  }
  std::set<std::string> references;
  std::vector<std::string> marked;  // one per row, in row order
  for (const kerro::PlacementRow& row : *read.rows) {
    KERRO_FUZZ_CHECK(!row.reference.empty(), "an empty reference");
    KERRO_FUZZ_CHECK(references.insert(row.reference).second, "a reference on two rows");
    KERRO_FUZZ_CHECK(row.referenceAt + row.referenceLength <= size, "a reference past the end");
    const std::string_view raw = bytes.substr(row.referenceAt, row.referenceLength);
    KERRO_FUZZ_CHECK(row.referenceQuoted || raw == row.reference,
                     "a reference that is not the bytes it points at");
    KERRO_FUZZ_CHECK(row.x >= -1'000'000'000'000'000 && row.x <= 1'000'000'000'000'000 &&
                         row.y >= -1'000'000'000'000'000 && row.y <= 1'000'000'000'000'000,
                     "a position out of range");
    marked.push_back("N" + std::to_string(marked.size()));
  }
  const std::vector<kerro::ReferenceSpan> spans = kerro::ReferenceSpansOf(*read.rows);
  const auto same = [&](size_t row) { return std::string_view((*read.rows)[row].reference); };
  KERRO_FUZZ_CHECK(kerro::RenamePlacement(bytes, spans, same) == bytes,
                   "renaming to the same names changed the file");
  // Each reference's bytes give way to its new name, and nothing else moves.
  size_t expectedSize = size;
  for (size_t i = 0; i < read.rows->size(); ++i) {
    expectedSize += marked[i].size() - (*read.rows)[i].referenceLength;
  }
  const auto markedOf = [&](size_t row) { return std::string_view(marked[row]); };
  KERRO_FUZZ_CHECK(kerro::RenamePlacement(bytes, spans, markedOf).size() == expectedSize,
                   "a row not renamed exactly once");
  const kerro::BoardOrder order = kerro::OrderBoard(*read.rows, {});
  KERRO_FUZZ_CHECK(order.places.size() == read.rows->size() && order.topCount <= read.rows->size(),
                   "the order lost a row");
  // Every reference a component can hold finds a place of its own.
  std::set<uint32_t> places;
  for (const kerro::PlacementRow& row : *read.rows) {
    const std::optional<uint32_t> place = order.places.placeOf(row.reference);
    KERRO_FUZZ_CHECK(place.has_value() == (row.reference.size() <= kerro::kReferenceCapacity) &&
                         (!place || (*place < read.rows->size() && places.insert(*place).second)),
                     "a reference without a place of its own");
  }
  return 0;
}
