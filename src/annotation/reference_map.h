#pragma once
// Was/is maps: lists of renames read from CSV, applied to a schematic all at once.
//
// The map is CSV (RFC 4180; CR LF or LF line ends; a UTF-8 byte-order mark is skipped;
// blanks around a field are not part of it) with a header row naming its columns, in any
// order, compared without regard to case. Fields are separated by commas, or by
// semicolons when only that reads both reference columns from the header, as
// spreadsheets in many locales save CSV. Two kinds:
//   reference map   columns old_reference and new_reference: every component whose
//                   reference is the old one gets the new one.
//   component map   columns section, x, y, part, old_reference, new_reference, old_block
//                   and new_block (kerro-cli's --report output is one): the section (from
//                   1), the stored position, the part name, the old reference and the old
//                   block name one component, which gets the new reference and block.
// A column `file` limits a row to the FILE of that path, or of that file name; a row of
// the n-th section of a FILE also names the first section of FILE-0(n-1), the file that
// section is saved to. Other columns are ignored. Reversed, a map swaps old and new, so that a
// run's report undoes the run.
//
// A component map reversed is a run's record given back: each component it names gets
// the reference and block recorded for it, duplicates of the board before the run
// included. A restored reference shorter than the one it replaces gets zeros in the bytes
// the longer one had taken, as they are on a clean board; the record holds nothing else of
// those bytes.
//
// Refused: a row with a field count other than the header's, a quote left open, a number
// that is not one or out of its range, a missing column, an empty reference, a new
// reference longer than 8 characters or holding a blank or a control character (but for a
// record given back), a text that cannot be given in the file's encoding, and in a
// reference map one old reference mapped to two new ones.

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "schematic/schematic_document.h"

namespace kerro {

enum class MapKind { References, Components };

// The texts of a map's rows, kept where they never move: a map of a million rows holds a
// few short texts each, which the rows view.
class MapTexts {
 public:
  std::string_view keep(std::string_view text);

 private:
  std::vector<std::unique_ptr<char[]>> blocks_;
  size_t used_ = 0;      // of the last block
  size_t capacity_ = 0;  // of the last block
};

// Its texts are views of the texts of the map that holds it.
struct MapRow {
  size_t line = 0;        // where the row starts in the map, from 1
  std::string_view file;  // empty: every file
  std::string_view oldReference;
  std::string_view newReference;
  // Component maps only.
  int section = 0;  // from 0
  int32_t x = 0;
  int32_t y = 0;
  std::string_view partName;
  int oldBlock = 0;
  int newBlock = 0;
};

struct ReferenceMap {
  MapKind kind = MapKind::References;
  // A component map reversed: a run's record, given back.
  bool restoresRecord = false;
  std::vector<MapRow> rows;
  MapTexts texts;  // of the rows
};

// A text of the map in the bytes of the schematic file, or nullopt when it has none.
using MapTextToFile = std::function<std::optional<std::string>(std::string_view text)>;

struct MapReadResult {
  std::optional<ReferenceMap> map;
  std::string error;  // why the map was refused, when it was
};

// Reads a map; `toFile` converts each text (by default the bytes stay as they are).
MapReadResult ReadReferenceMap(std::string_view csv, bool reverse,
                               const MapTextToFile& toFile = {});

// Why a map's result was refused: it would give `reference` to both components (entry
// indexes), which the file did not hold as a duplicate before.
struct MapRefusal {
  std::string reference;
  size_t entry = 0;
  size_t otherEntry = 0;
};

// Renames the components of `document` (the file at `path`) by `map`, all at once, so
// that swaps work. Sets rowMatched[i] for each row that named a component here. When the
// result would give two components, one of them renamed, one reference that they could
// not share (the duplicate and block rules of annotation_check.h), and they did not carry
// such a clash before, nothing is changed and the refusal returned; a record given back
// is never refused.
std::optional<MapRefusal> ApplyReferenceMap(const ReferenceMap& map, const std::string& path,
                                            SchematicDocument& document,
                                            std::vector<bool>& rowMatched);

// The files that rows of later sections of the FILE at `path` name when that file holds
// only `sectionsThere` sections: FILE-01 ..., where a save of FILE put those sections.
std::vector<std::string> LaterSectionFiles(const ReferenceMap& map, const std::string& path,
                                           int sectionsThere);

}  // namespace kerro
