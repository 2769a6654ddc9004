// Schematic document: load any bytes; a loaded image must save back to exactly those bytes,
// and renumbering in either mode may change nothing but the reference and block fields of
// components.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "fuzz_checks.h"
#include "renumber/renumber_by_library.h"
#include "renumber/renumber_plain.h"
#include "schematic/schematic_document.h"
#include "testing/memory_file_system.h"

namespace {

using kerro::SchematicDocument;
using kerro::fuzz::ComponentRecordOffsets;
using kerro::fuzz::StrayDifference;

void CheckSaveGivesBackTheInput(const SchematicDocument& document,
                                const std::vector<uint8_t>& input) {
  kerro::testing::MemoryFileSystem fileSystem;
  const std::string path = "/fuzz/S.CE2";
  KERRO_FUZZ_CHECK(document.save(fileSystem, path), "save to memory failed");
  std::vector<uint8_t> saved;
  for (int i = 0; i < document.sectionCount(); ++i) {
    const auto file = fileSystem.files.find(SchematicDocument::SectionFileName(path, i));
    KERRO_FUZZ_CHECK(file != fileSystem.files.end(), "a section file is missing");
    saved.insert(saved.end(), file->second.begin(), file->second.end());
  }
  KERRO_FUZZ_CHECK(fileSystem.files.size() == static_cast<size_t>(document.sectionCount()),
                   "save wrote files beyond its sections");
  KERRO_FUZZ_CHECK(saved == input, "the saved sections differ from the loaded bytes");
}

void CheckPlainNumbering(const std::vector<uint8_t>& input, const std::vector<size_t>& components,
                         int initial, int step) {
  SchematicDocument document;
  KERRO_FUZZ_CHECK(document.loadImage(input), "a second load of the same bytes failed");
  kerro::RenumberPlain(document, initial, step);
  const std::vector<uint8_t> once(document.image().begin(), document.image().end());
  const std::string stray = StrayDifference(input, once, components, false);
  KERRO_FUZZ_CHECK(stray.empty(), "plain numbering: " + stray);

  // Numbering its own result again must change nothing: a second run, or --check after a
  // run, finds the file as it left it.
  kerro::RenumberPlain(document, initial, step);
  KERRO_FUZZ_CHECK(
      std::equal(once.begin(), once.end(), document.image().begin(), document.image().end()),
      "plain numbering of its own result changed it");
}

// Block counts as fuzzed libraries could give them: from the part name, including no part,
// 0 and counts far above any package.
std::optional<int> FuzzedBlockCount(std::string_view partName) {
  unsigned sum = 0;
  for (char c : partName) {
    sum = sum * 31u + static_cast<unsigned char>(c);
  }
  switch (sum % 9u) {
    case 0:
      return std::nullopt;
    case 1:
      return 0;
    case 2:
      return 256;
    case 3:
      return -1;
    default:
      return static_cast<int>(sum % 9u) - 3;  // 1 to 5
  }
}

void CheckLibraryNumbering(const std::vector<uint8_t>& input, const std::vector<size_t>& components,
                           int initial, int step) {
  SchematicDocument document;
  KERRO_FUZZ_CHECK(document.loadImage(input), "a second load of the same bytes failed");
  kerro::RenumberByLibrary(document, initial, step, FuzzedBlockCount);
  const std::vector<uint8_t> once(document.image().begin(), document.image().end());
  const std::string stray = StrayDifference(input, once, components, true);
  KERRO_FUZZ_CHECK(stray.empty(), "library-guided numbering: " + stray);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> input(data, data + size);
  SchematicDocument document;
  const bool loaded = document.loadImage(input);
  const auto components = ComponentRecordOffsets(input);
  if (!loaded) {
    return 0;
  }
  KERRO_FUZZ_CHECK(components.has_value(), "loaded an image that the record walk rejects");
  KERRO_FUZZ_CHECK(components->size() == document.entries().size(),
                   "component count differs from the record walk");
  for (size_t i = 0; i < components->size(); ++i) {
    KERRO_FUZZ_CHECK(document.entries()[i].recordOffset(document.image()) == (*components)[i],
                     "a component entry points elsewhere than its record");
  }
  KERRO_FUZZ_CHECK(document.sectionCount() >= 1 && document.sectionCount() <= 63,
                   "section count out of range");
  CheckSaveGivesBackTheInput(document, input);

  CheckPlainNumbering(input, *components, 1, 1);
  CheckPlainNumbering(input, *components, 1000, 20);
  CheckLibraryNumbering(input, *components, 1, 1);
  CheckLibraryNumbering(input, *components, 999, 17);
  return 0;
}
