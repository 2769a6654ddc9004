// Was/is maps: any bytes read as a map (the first byte says whether reversed) are refused
// with a reason, or give rows whose references fit. Applied to a board, a map changes
// nothing but reference fields and block bytes, and a refused one changes nothing at all.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "annotation/reference_map.h"
#include "fuzz_checks.h"
#include "schematic/schematic_format.h"
#include "testing/schematic_builder.h"

namespace {

std::vector<uint8_t> Board() {
  kerro::testing::SchematicBuilder builder;
  builder.header()
      .component(kerro::testing::PlacedPart("RES", "R1", 10, 0))
      .component(kerro::testing::PlacedPart("RES", "R2", 20, 0))
      .component(kerro::testing::PlacedPart("QUAD", "U1", 30, 0, 0))
      .component(kerro::testing::PlacedPart("QUAD", "U1", 40, 0, 1))
      .component({.x = 50, .packageTag = "B", .reference = "U1", .partName = "QUAD"})
      .header()
      .component(kerro::testing::PlacedPart("CAP", "C1", 10, 5))
      .component(kerro::testing::PlacedPart("RES", "R?", 20, 5));
  return builder.bytes();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) {
    return 0;
  }
  const bool reverse = (data[0] & 1) != 0;
  const std::string_view csv(reinterpret_cast<const char*>(data + 1), size - 1);
  const kerro::MapReadResult read = kerro::ReadReferenceMap(csv, reverse);
  if (!read.map) {
    KERRO_FUZZ_CHECK(!read.error.empty(), "a map refused without a reason");
    return 0;
  }
  const auto unfit = [](char c) {
    return static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) == 0x7F;
  };
  for (const kerro::MapRow& row : read.map->rows) {
    KERRO_FUZZ_CHECK(!row.oldReference.empty() && !row.newReference.empty(), "empty reference");
    KERRO_FUZZ_CHECK(row.newReference.size() <= 8, "a new reference longer than 8");
    KERRO_FUZZ_CHECK(read.map->restoresRecord ||
                         std::none_of(row.newReference.begin(), row.newReference.end(), unfit),
                     "a new reference with a blank or a control character");
    KERRO_FUZZ_CHECK(row.line >= 1 && row.line <= size, "a row line past the map");
  }

  const std::vector<uint8_t> board = Board();
  kerro::SchematicDocument document;
  KERRO_FUZZ_CHECK(document.loadImage(board), "the board does not load");
  // The bytes a map may change: each component's reference field and block.
  std::vector<bool> mayChange(board.size(), false);
  for (kerro::ComponentEntry& entry : document.entries()) {
    const auto field = entry.referenceField();
    const size_t fieldAt = static_cast<size_t>(field.data() - document.image().data());
    std::fill_n(mayChange.begin() + static_cast<ptrdiff_t>(fieldAt), field.size(), true);
    mayChange[fieldAt - kerro::kReferenceOffset + kerro::kBlockOffset] = true;
  }
  std::vector<bool> matched;
  const bool refused = kerro::ApplyReferenceMap(*read.map, "A.CE2", document, matched).has_value();
  KERRO_FUZZ_CHECK(matched.size() == read.map->rows.size(), "a row without its match flag");
  const auto image = document.image();
  KERRO_FUZZ_CHECK(image.size() == board.size(), "the image changed size");
  for (size_t i = 0; i < board.size(); ++i) {
    KERRO_FUZZ_CHECK(image[i] == board[i] || (!refused && mayChange[i]),
                     "byte " + std::to_string(i) + " changed");
  }
  for (const kerro::ComponentEntry& entry : document.entries()) {
    KERRO_FUZZ_CHECK(entry.reference().size() <= 8, "a reference longer than 8");
  }
  return 0;
}
