#include "annotation/reference_map.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <map>

#include "library/name_index.h"
#include "platform/memory.h"
#include "platform/paths.h"
#include "platform/whole_number.h"
#include "renumber/part_role.h"
#include "renumber/reference.h"

namespace kerro {

namespace {

struct CsvRecord {
  size_t line = 0;
  std::vector<std::string> fields;
};

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// Reads CSV text one record at a time, fields separated by `delimiter`: a map of a million
// rows is read without all its fields held at once. Blanks around a field, quoted or not,
// are not part of it; blank lines are passed over.
class CsvReader {
 public:
  CsvReader(std::string_view text, char delimiter) : text_(text), delimiter_(delimiter) {}

  // Reads the next record into `record`. Returns false at the end of the text, and on a
  // quote left open or text after a closing quote, with errorLine() its line.
  bool next(CsvRecord& record) {
    while (at_ < text_.size()) {
      if (!readRecord(record)) {
        return false;
      }
      const bool blank = record.fields.size() == 1 && record.fields[0].empty();
      if (!blank) {
        return true;
      }
    }
    return false;
  }

  size_t errorLine() const { return errorLine_; }  // 0 when none

 private:
  void skipBlanks() {
    while (at_ < text_.size() && IsBlank(text_[at_])) {
      ++at_;
    }
  }

  bool readRecord(CsvRecord& record) {
    record.line = line_;
    record.fields.clear();
    while (true) {
      std::string field;
      const size_t fieldStart = at_;
      skipBlanks();
      if (at_ < text_.size() && text_[at_] == '"') {
        const size_t quoteLine = line_;
        for (++at_;; ++at_) {
          if (at_ >= text_.size()) {
            errorLine_ = quoteLine;
            return false;
          }
          if (text_[at_] == '"') {
            if (at_ + 1 < text_.size() && text_[at_ + 1] == '"') {
              field += '"';
              ++at_;
              continue;
            }
            ++at_;
            break;
          }
          line_ += text_[at_] == '\n' ? 1 : 0;
          field += text_[at_];
        }
        skipBlanks();
      } else {
        at_ = fieldStart;
        size_t end = at_;
        while (end < text_.size() && text_[end] != delimiter_ && text_[end] != '\r' &&
               text_[end] != '\n') {
          ++end;
        }
        std::string_view plain = text_.substr(at_, end - at_);
        at_ = end;
        while (!plain.empty() && IsBlank(plain.back())) {
          plain.remove_suffix(1);
        }
        while (!plain.empty() && IsBlank(plain.front())) {
          plain.remove_prefix(1);
        }
        field = plain;
      }
      record.fields.push_back(std::move(field));
      if (at_ < text_.size() && text_[at_] == delimiter_) {
        ++at_;
        continue;
      }
      if (at_ + 1 < text_.size() && text_[at_] == '\r' && text_[at_ + 1] == '\n') {
        ++at_;
      }
      if (at_ < text_.size() && text_[at_] != '\r' && text_[at_] != '\n') {
        errorLine_ = line_;  // text after a closing quote
        return false;
      }
      at_ += at_ < text_.size() ? 1 : 0;
      ++line_;
      return true;
    }
  }

  std::string_view text_;
  char delimiter_;
  size_t at_ = 0;
  size_t line_ = 1;
  size_t errorLine_ = 0;
};

std::string Trimmed(std::string_view text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) {
    return {};
  }
  const size_t last = text.find_last_not_of(" \t");
  std::string lower(text.substr(first, last - first + 1));
  for (char& c : lower) {
    c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  }
  return lower;
}

std::optional<int64_t> WholeNumber(std::string_view text, int64_t low, int64_t high) {
  return ParseWholeNumber(Trimmed(text), low, high);
}

std::string LineError(size_t line, std::string_view what) {
  return "line " + std::to_string(line) + " of the map: " + std::string(what);
}

// Reads the rows of a map whose columns are known.
class RowReader {
 public:
  RowReader(const std::vector<std::string>& header, const MapTextToFile& toFile) : toFile_(toFile) {
    std::map<std::string, size_t> columns;
    for (size_t i = 0; i < header.size(); ++i) {
      columns.try_emplace(Trimmed(header[i]), i);
    }
    const auto column = [&](const char* name) -> std::optional<size_t> {
      const auto found = columns.find(name);
      return found != columns.end() ? std::optional(found->second) : std::nullopt;
    };
    file_ = column("file");
    oldReference_ = column("old_reference");
    newReference_ = column("new_reference");
    section_ = column("section");
    x_ = column("x");
    y_ = column("y");
    part_ = column("part");
    oldBlock_ = column("old_block");
    newBlock_ = column("new_block");
  }

  // The first of the two reference columns that the header does not name, or null.
  const char* missingReferenceColumn() const {
    return !oldReference_ ? "old_reference" : !newReference_ ? "new_reference" : nullptr;
  }
  bool namesBothReferences() const { return missingReferenceColumn() == nullptr; }
  bool namesComponents() const { return section_ && x_ && y_ && part_ && oldBlock_ && newBlock_; }

  // Fills `row` from `record`, its texts kept in `texts`; returns the error, or empty.
  std::string read(const CsvRecord& record, MapKind kind, MapRow& row, MapTexts& texts) {
    row.line = record.line;
    if (file_) {
      // Most rows name one file, or none: it is kept once.
      const std::string& file = record.fields[*file_];
      if (file != lastFile_) {
        lastFile_ = texts.keep(file);
      }
      row.file = lastFile_;
    }
    std::string error;
    if (!text(record, *oldReference_, "old_reference", texts, row.oldReference, error) ||
        !text(record, *newReference_, "new_reference", texts, row.newReference, error)) {
      return error;
    }
    if (kind == MapKind::References) {
      return {};
    }
    const auto section = number(record, *section_, 1, kMaxSections);
    const auto x = number(record, *x_, INT16_MIN, INT16_MAX);
    const auto y = number(record, *y_, INT16_MIN, INT16_MAX);
    const auto oldBlock = number(record, *oldBlock_, 0, UINT8_MAX);
    const auto newBlock = number(record, *newBlock_, 0, UINT8_MAX);
    if (!section || !x || !y || !oldBlock || !newBlock) {
      return "a section, position or block that is not a number in its range";
    }
    row.section = static_cast<int>(*section - 1);
    row.x = static_cast<int32_t>(*x);
    row.y = static_cast<int32_t>(*y);
    row.oldBlock = static_cast<int>(*oldBlock);
    row.newBlock = static_cast<int>(*newBlock);
    if (!text(record, *part_, "part", texts, row.partName, error)) {
      return error;
    }
    return {};
  }

 private:
  bool text(const CsvRecord& record, size_t column, const char* name, MapTexts& texts,
            std::string_view& out, std::string& error) const {
    const std::string& field = record.fields[column];
    if (!toFile_) {
      out = texts.keep(field);
      return true;
    }
    const std::optional<std::string> bytes = toFile_(field);
    if (!bytes) {
      error = std::string("the ") + name + " has no form in the file's encoding";
      return false;
    }
    out = texts.keep(*bytes);
    return true;
  }

  static std::optional<int64_t> number(const CsvRecord& record, size_t column, int64_t low,
                                       int64_t high) {
    return WholeNumber(record.fields[column], low, high);
  }

  const MapTextToFile& toFile_;
  std::string_view lastFile_;  // kept
  std::optional<size_t> file_, oldReference_, newReference_, section_, x_, y_, part_, oldBlock_,
      newBlock_;
};

// The hash of a component as a component map names it.
uint32_t HashOfComponent(int section, int32_t x, int32_t y, std::string_view partName,
                         std::string_view reference, int block) {
  const uint32_t texts = NameIndex::Join(NameIndex::Hash(partName), NameIndex::Hash(reference));
  return NameIndex::Join(texts, static_cast<uint64_t>(section) << 48 ^
                                    static_cast<uint64_t>(static_cast<uint16_t>(x)) << 32 ^
                                    static_cast<uint64_t>(static_cast<uint16_t>(y)) << 16 ^
                                    static_cast<uint64_t>(static_cast<uint16_t>(block)));
}

// The hash of what a row renames: in a reference map its old reference, in a component map
// the component, in the file it names.
uint32_t HashOfWhatIsRenamed(MapKind kind, const MapRow& row) {
  const uint32_t renamed = kind == MapKind::References
                               ? NameIndex::Hash(row.oldReference)
                               : HashOfComponent(row.section, row.x, row.y, row.partName,
                                                 row.oldReference, row.oldBlock);
  return NameIndex::Join(NameIndex::Hash(row.file), renamed);
}

bool RenameTheSame(MapKind kind, const MapRow& a, const MapRow& b) {
  return a.file == b.file && a.oldReference == b.oldReference &&
         (kind == MapKind::References || (a.section == b.section && a.x == b.x && a.y == b.y &&
                                          a.partName == b.partName && a.oldBlock == b.oldBlock));
}

// Two rows that name the same thing must agree on what it becomes.
std::string FindConflict(const ReferenceMap& map) {
  NameIndex firstRow;
  firstRow.reserve(map.rows.size());
  for (size_t i = 0; i < map.rows.size(); ++i) {
    const MapRow& row = map.rows[i];
    const uint32_t first = firstRow.addFirstKeyed(
        HashOfWhatIsRenamed(map.kind, row), static_cast<uint32_t>(i),
        [&](uint32_t at) { return RenameTheSame(map.kind, map.rows[at], row); });
    const MapRow& earlier = map.rows[first];
    if (earlier.newReference != row.newReference || earlier.newBlock != row.newBlock) {
      return LineError(row.line, "maps " + std::string(row.oldReference) + " otherwise than line " +
                                     std::to_string(earlier.line));
    }
  }
  return {};
}

}  // namespace

std::string_view MapTexts::keep(std::string_view text) {
  if (text.empty()) {
    return {};
  }
  if (text.size() > capacity_ - used_) {
    constexpr size_t kBlock = 64 * 1024;
    capacity_ = std::max(kBlock, text.size());
    blocks_.push_back(std::make_unique_for_overwrite<char[]>(capacity_));
    used_ = 0;
  }
  char* kept = blocks_.back().get() + used_;
  std::copy(text.begin(), text.end(), kept);
  used_ += text.size();
  return {kept, text.size()};
}

MapReadResult ReadReferenceMap(std::string_view csv, bool reverse, const MapTextToFile& toFile) {
  constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  if (csv.starts_with(kByteOrderMark)) {
    csv.remove_prefix(kByteOrderMark.size());
  }
  // Whether the whole text splits at `delimiter`, with its header (none for a text of blank
  // lines) and the line of the first fault.
  struct Split {
    bool whole = false;
    std::optional<std::vector<std::string>> header;
    size_t records = 0;
    size_t errorLine = 0;
  };
  const auto split = [&](char delimiter) {
    Split result;
    CsvReader reader(csv, delimiter);
    CsvRecord record;
    while (reader.next(record)) {
      if (!result.header) {
        result.header = record.fields;
      }
      ++result.records;
    }
    result.errorLine = reader.errorLine();
    result.whole = result.errorLine == 0;
    return result;
  };
  const auto namesBothReferences = [&](const Split& tried) {
    return tried.header && RowReader(*tried.header, toFile).namesBothReferences();
  };
  // Spreadsheets in many locales save CSV with semicolons: a header that names both
  // reference columns only when split at semicolons says that the map uses them.
  char delimiter = ',';
  Split tried = split(',');
  if (!tried.whole || !namesBothReferences(tried)) {
    Split bySemicolon = split(';');
    if (bySemicolon.whole && namesBothReferences(bySemicolon)) {
      delimiter = ';';
      tried = std::move(bySemicolon);
    }
  }
  if (!tried.whole) {
    return {std::nullopt,
            LineError(tried.errorLine, "a quoted field is not closed as it should be")};
  }
  if (!tried.header) {
    return {std::nullopt, "the map has no header row"};
  }
  RowReader reader(*tried.header, toFile);
  if (const char* missing = reader.missingReferenceColumn()) {
    return {std::nullopt, std::string("the map has no column ") + missing};
  }
  ReferenceMap map;
  map.kind = reader.namesComponents() ? MapKind::Components : MapKind::References;
  map.restoresRecord = reverse && map.kind == MapKind::Components;
  const size_t width = tried.header->size();
  // A million rows of 96 bytes, not grown one by one, and faulted in on another core.
  ReserveLarge(map.rows, tried.records - 1);
  CsvReader rows(csv, delimiter);
  CsvRecord record;
  rows.next(record);  // the header
  while (rows.next(record)) {
    if (record.fields.size() != width) {
      return {std::nullopt,
              LineError(record.line, "the row has " + std::to_string(record.fields.size()) +
                                         " fields, the header " + std::to_string(width))};
    }
    MapRow row;
    std::string error = reader.read(record, map.kind, row, map.texts);
    if (reverse) {
      std::swap(row.oldReference, row.newReference);
      std::swap(row.oldBlock, row.newBlock);
    }
    if (error.empty() && (row.oldReference.empty() || row.newReference.empty())) {
      error = "an empty reference";
    }
    if (error.empty() && row.newReference.size() > kMaxReferenceLength) {
      error = "the new reference " + std::string(row.newReference) + " is longer than 8 characters";
    }
    // A record gives back what the file held, whatever it was.
    const auto unfit = [](char c) {
      const auto byte = static_cast<unsigned char>(c);
      return byte <= 0x20 || byte == 0x7F;
    };
    if (error.empty() && !map.restoresRecord &&
        std::any_of(row.newReference.begin(), row.newReference.end(), unfit)) {
      error = "the new reference \"" + std::string(row.newReference) +
              "\" holds a blank or a control character";
    }
    if (!error.empty()) {
      return {std::nullopt, LineError(row.line, error)};
    }
    map.rows.push_back(std::move(row));
  }
  if (std::string conflict = FindConflict(map); !conflict.empty()) {
    return {std::nullopt, conflict};
  }
  return {std::move(map), {}};
}

}  // namespace kerro

namespace kerro {

namespace {

bool SameFile(std::string_view named, const std::string& path) {
  if (named == path) {
    return true;
  }
  const PathParts a = SplitPath(named);
  const PathParts b = SplitPath(path);
  return a.baseName == b.baseName && a.extension == b.extension;
}

// The section of the file at `path` that a row names, if it names one there. A file of
// several sections is saved as FILE, FILE-01 ...: a row of FILE's second section names
// the first section of FILE-01 too.
std::optional<int> SectionNamedIn(const MapRow& row, const std::string& path) {
  if (row.file.empty() || SameFile(row.file, path)) {
    return row.section;
  }
  if (row.section > 0 &&
      SameFile(SchematicDocument::SectionFileName(std::string(row.file), row.section), path)) {
    return 0;
  }
  return std::nullopt;
}

// The same, for rows one after another: the rows of a report name their file and section
// in runs, and the answer for the last row's is kept.
class SectionsNamedIn {
 public:
  explicit SectionsNamedIn(const std::string& path) : path_(path) {}

  std::optional<int> of(const MapRow& row) {
    if (!askedSection_ || row.file != sectionFile_ || row.section != section_) {
      askedSection_ = true;
      sectionFile_ = row.file;
      section_ = row.section;
      sectionNamed_ = SectionNamedIn(row, path_);
    }
    return sectionNamed_;
  }

  // Whether a row of a reference map names the file.
  bool names(const MapRow& row) {
    if (!askedFile_ || row.file != file_) {
      askedFile_ = true;
      file_ = row.file;
      fileNamed_ = row.file.empty() || SameFile(row.file, path_);
    }
    return fileNamed_;
  }

 private:
  const std::string& path_;
  bool askedSection_ = false;
  std::string_view sectionFile_;
  int section_ = 0;
  std::optional<int> sectionNamed_;
  bool askedFile_ = false;
  std::string_view file_;
  bool fileNamed_ = false;
};

// Calls `each(i, hash)` for each i below `count`, with hashOf(i), having started the
// look-up of that hash in `index` a few calls before: a million look-ups in no order of
// the index's miss the cache.
template <typename HashOf, typename Each>
void LookUpAhead(size_t count, const NameIndex& index, const HashOf& hashOf, const Each& each) {
  std::vector<uint32_t> hashes(count);
  for (size_t i = 0; i < count; ++i) {
    hashes[i] = hashOf(i);
  }
  constexpr size_t kAhead = kLookupsInFlight;
  for (size_t i = 0; i < count; ++i) {
    if (i + kAhead < count) {
      index.prefetch(hashes[i + kAhead]);
    }
    each(i, hashes[i]);
  }
}

// What MatchRows gives an entry that no row names.
constexpr uint32_t kNoRow = UINT32_MAX;

// The row that renames each entry, or kNoRow: the first that names it. Rows are counted
// in 32 bits, as the index finds them.
std::vector<uint32_t> MatchRows(const ReferenceMap& map, const std::string& path,
                                const SchematicDocument& document, std::vector<bool>& rowMatched) {
  const auto entries = document.entries();
  std::vector<uint32_t> rowOf(entries.size(), kNoRow);
  NameIndex rowsHere;
  rowsHere.reserve(map.rows.size());
  SectionsNamedIn here(path);
  if (map.kind == MapKind::References) {
    std::vector<bool> namedHere(map.rows.size());
    for (size_t i = 0; i < map.rows.size(); ++i) {
      namedHere[i] = here.names(map.rows[i]);
    }
    const auto oldReferenceAt = [&](uint32_t at) { return map.rows[at].oldReference; };
    LookUpAhead(
        map.rows.size(), rowsHere,
        [&](size_t i) { return NameIndex::Hash(map.rows[i].oldReference); },
        [&](size_t i, uint32_t hash) {
          if (namedHere[i]) {
            rowsHere.addFirstKeyed(hash, static_cast<uint32_t>(i), [&](uint32_t at) {
              return oldReferenceAt(at) == map.rows[i].oldReference;
            });
          }
        });
    LookUpAhead(
        entries.size(), rowsHere, [&](size_t e) { return NameIndex::Hash(entries[e].reference()); },
        [&](size_t e, uint32_t hash) {
          const int64_t row = rowsHere.findKeyed(
              hash, [&](uint32_t at) { return oldReferenceAt(at) == entries[e].reference(); });
          if (row >= 0) {
            rowOf[e] = static_cast<uint32_t>(row);
          }
        });
  } else {
    std::vector<int> sectionOf(map.rows.size());  // the section here that a row names, or -1
    for (size_t i = 0; i < map.rows.size(); ++i) {
      sectionOf[i] = here.of(map.rows[i]).value_or(-1);
    }
    // Whether row `at` names the component of this section, position, part, reference and
    // block.
    const auto names = [&](uint32_t at, int section, int32_t x, int32_t y,
                           std::string_view partName, std::string_view reference, int block) {
      const MapRow& row = map.rows[at];
      return sectionOf[at] == section && row.x == x && row.y == y && row.partName == partName &&
             row.oldReference == reference && row.oldBlock == block;
    };
    LookUpAhead(
        map.rows.size(), rowsHere,
        [&](size_t i) {
          const MapRow& row = map.rows[i];
          return HashOfComponent(sectionOf[i], row.x, row.y, row.partName, row.oldReference,
                                 row.oldBlock);
        },
        [&](size_t i, uint32_t hash) {
          const MapRow& row = map.rows[i];
          if (sectionOf[i] >= 0) {
            rowsHere.addFirstKeyed(hash, static_cast<uint32_t>(i), [&](uint32_t at) {
              return names(at, sectionOf[i], row.x, row.y, row.partName, row.oldReference,
                           row.oldBlock);
            });
          }
        });
    LookUpAhead(
        entries.size(), rowsHere,
        [&](size_t e) {
          const ComponentEntry& entry = entries[e];
          return HashOfComponent(entry.section(), entry.storedX(), entry.y(), entry.partName(),
                                 entry.reference(), entry.block());
        },
        [&](size_t e, uint32_t hash) {
          const ComponentEntry& entry = entries[e];
          const int64_t row = rowsHere.findKeyed(hash, [&](uint32_t at) {
            return names(at, entry.section(), entry.storedX(), entry.y(), entry.partName(),
                         entry.reference(), entry.block());
          });
          if (row >= 0) {
            rowOf[e] = static_cast<uint32_t>(row);
          }
        });
  }
  for (const uint32_t row : rowOf) {
    if (row != kNoRow) {
      rowMatched[row] = true;
    }
  }
  return rowOf;
}

// What the duplicate rule asks of a component: its reference, tag, part and block.
struct Annotated {
  std::string reference;
  std::string_view packageTag;
  std::string_view partName;
  uint8_t block = 0;
};

Annotated AnnotationOf(const ComponentEntry& entry) {
  return {std::string(entry.reference()), entry.packageTag(), entry.partName(), entry.block()};
}

// True if two components carry one reference where they should not, by the checker's
// rules (annotation_check.h): parts that cannot be blocks of one package, or one block
// twice. Power symbols, empty and unnumbered references clash with nothing.
bool Clash(const Annotated& a, const Annotated& b) {
  if (a.reference != b.reference || a.reference.empty() || UnnumberedPrefix(a.reference)) {
    return false;
  }
  const PartRole roleA = PartRoleOf(a.partName);
  const PartRole roleB = PartRoleOf(b.partName);
  if (roleA == PartRole::PowerSymbol || roleB == PartRole::PowerSymbol) {
    return false;
  }
  if (a.packageTag != b.packageTag) {
    return true;
  }
  if (roleA == PartRole::PowerBlock || roleB == PartRole::PowerBlock) {
    return false;
  }
  return a.partName != b.partName || a.block == b.block;
}

// The first pair of components, one of them renamed, that clash now and did not before.
std::optional<std::pair<size_t, size_t>> NewClash(std::span<const ComponentEntry> entries,
                                                  const std::vector<size_t>& renamed,
                                                  const std::vector<Annotated>& before) {
  // The components that carry each reference a renamed one carries now, in file order: the
  // references are numbered by their first renamed carrier, and the carriers of each are
  // counted, then placed.
  NameIndex groupOf;
  groupOf.reserve(renamed.size());
  std::vector<size_t> firstCarrier;  // per group: a renamed component that carries it
  const auto referenceOf = [&](uint32_t group) { return entries[firstCarrier[group]].reference(); };
  for (const size_t e : renamed) {
    if (groupOf.addFirst(entries[e].reference(), static_cast<uint32_t>(firstCarrier.size()),
                         referenceOf)) {
      firstCarrier.push_back(e);
    }
  }
  std::vector<int64_t> carrierGroup(entries.size());
  std::vector<size_t> groupStart(firstCarrier.size() + 1, 0);
  for (size_t e = 0; e < entries.size(); ++e) {
    const std::string_view reference = entries[e].reference();
    carrierGroup[e] = groupOf.find(reference, NameIndex::Hash(reference), referenceOf);
    if (carrierGroup[e] >= 0) {
      ++groupStart[static_cast<size_t>(carrierGroup[e]) + 1];
    }
  }
  for (size_t g = 0; g < firstCarrier.size(); ++g) {
    groupStart[g + 1] += groupStart[g];
  }
  std::vector<size_t> carriers(groupStart.back());
  std::vector<size_t> placed(groupStart.begin(), groupStart.end() - 1);
  for (size_t e = 0; e < entries.size(); ++e) {
    if (carrierGroup[e] >= 0) {
      carriers[placed[static_cast<size_t>(carrierGroup[e])]++] = e;
    }
  }
  const auto beforeOf = [&](size_t e) {
    const auto at = std::lower_bound(renamed.begin(), renamed.end(), e);
    return at != renamed.end() && *at == e ? before[static_cast<size_t>(at - renamed.begin())]
                                           : AnnotationOf(entries[e]);
  };
  for (const size_t e : renamed) {
    const Annotated now = AnnotationOf(entries[e]);
    const auto group = static_cast<size_t>(carrierGroup[e]);
    for (size_t c = groupStart[group]; c < groupStart[group + 1]; ++c) {
      const size_t other = carriers[c];
      if (other != e && Clash(now, AnnotationOf(entries[other])) &&
          !Clash(beforeOf(e), beforeOf(other))) {
        return std::pair(std::min(e, other), std::max(e, other));
      }
    }
  }
  return std::nullopt;
}

// The reference field and block of one entry, to put back.
struct SavedFields {
  size_t entry = 0;
  std::array<uint8_t, 1 + kReferenceCapacity> reference{};
  uint8_t block = 0;
};

// Writes a reference that a run's record gives back. The run wrote its longer reference
// over the bytes after the old one; those were zeros on a clean board, and the record
// holds nothing else of them.
void RestoreReference(std::string_view text, std::span<uint8_t> field) {
  const size_t lengthByte = field.empty() || (field[0] & 0x80) != 0 ? 0 : field[0];
  const size_t written = std::min(lengthByte, field.size() - 1);
  StoreReference(text, field);
  for (size_t i = 1 + std::min(text.size(), kMaxReferenceLength); i <= written; ++i) {
    field[i] = 0;
  }
}

}  // namespace

std::optional<MapRefusal> ApplyReferenceMap(const ReferenceMap& map, const std::string& path,
                                            SchematicDocument& document,
                                            std::vector<bool>& rowMatched) {
  rowMatched.resize(map.rows.size(), false);
  const std::vector<uint32_t> rowOf = MatchRows(map, path, document, rowMatched);
  const auto entries = document.entries();
  // What the renamed components were, to check the result by and to put back should it be
  // refused; a record given back is never refused, and needs neither.
  const bool mayBeRefused = !map.restoresRecord;
  std::vector<SavedFields> saved;
  std::vector<size_t> renamed;
  std::vector<Annotated> before;
  if (mayBeRefused) {
    const auto count = static_cast<size_t>(
        std::count_if(rowOf.begin(), rowOf.end(), [](uint32_t row) { return row != kNoRow; }));
    saved.reserve(count);
    renamed.reserve(count);
    before.reserve(count);
  }
  for (size_t e = 0; e < entries.size(); ++e) {
    if (rowOf[e] == kNoRow) {
      continue;
    }
    if (mayBeRefused) {
      SavedFields& fields = saved.emplace_back(SavedFields{e, {}, entries[e].block()});
      std::ranges::copy(entries[e].referenceField(), fields.reference.begin());
      renamed.push_back(e);
      before.push_back(AnnotationOf(entries[e]));
    }
    const MapRow& row = map.rows[rowOf[e]];
    if (map.restoresRecord) {
      RestoreReference(row.newReference, entries[e].referenceField());
    } else {
      StoreReference(row.newReference, entries[e].referenceField());
    }
    if (map.kind == MapKind::Components) {
      entries[e].setBlock(static_cast<uint8_t>(row.newBlock));
    }
  }
  // A run's record gives back what the board held, duplicates included.
  if (!mayBeRefused) {
    return std::nullopt;
  }
  const std::optional<std::pair<size_t, size_t>> clash = NewClash(entries, renamed, before);
  if (!clash) {
    return std::nullopt;
  }
  MapRefusal refusal{std::string(entries[clash->second].reference()), clash->second, clash->first};
  for (const SavedFields& fields : saved) {
    std::copy(fields.reference.begin(), fields.reference.end(),
              entries[fields.entry].referenceField().begin());
    entries[fields.entry].setBlock(fields.block);
  }
  return refusal;
}

std::vector<std::string> LaterSectionFiles(const ReferenceMap& map, const std::string& path,
                                           int sectionsThere) {
  std::vector<std::string> files;
  for (const MapRow& row : map.rows) {
    if (row.file.empty() || row.section < sectionsThere || !SameFile(row.file, path)) {
      continue;
    }
    std::string file = SchematicDocument::SectionFileName(path, row.section);
    if (std::find(files.begin(), files.end(), file) == files.end()) {
      files.push_back(std::move(file));
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

}  // namespace kerro
