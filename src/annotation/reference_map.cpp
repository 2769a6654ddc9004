#include "annotation/reference_map.h"

#include <algorithm>
#include <charconv>
#include <map>
#include <set>
#include <tuple>
#include <unordered_map>

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

// Splits CSV text into records, fields separated by `delimiter`. Blanks around a field,
// quoted or not, are not part of it. Returns false, with the line, on a quote left open
// or text after a closing quote.
bool SplitCsv(std::string_view text, char delimiter, std::vector<CsvRecord>& records,
              size_t& errorLine) {
  size_t line = 1;
  size_t at = 0;
  const auto skipBlanks = [&] {
    while (at < text.size() && IsBlank(text[at])) {
      ++at;
    }
  };
  while (at < text.size()) {
    CsvRecord record{line, {}};
    std::string field;
    bool recordEnded = false;
    while (!recordEnded) {
      field.clear();
      const size_t fieldStart = at;
      skipBlanks();
      if (at < text.size() && text[at] == '"') {
        const size_t quoteLine = line;
        for (++at;; ++at) {
          if (at >= text.size()) {
            errorLine = quoteLine;
            return false;
          }
          if (text[at] == '"') {
            if (at + 1 < text.size() && text[at + 1] == '"') {
              field += '"';
              ++at;
              continue;
            }
            ++at;
            break;
          }
          line += text[at] == '\n' ? 1 : 0;
          field += text[at];
        }
        skipBlanks();
      } else {
        at = fieldStart;
        while (at < text.size() && text[at] != delimiter && text[at] != '\r' && text[at] != '\n') {
          field += text[at++];
        }
        while (!field.empty() && IsBlank(field.back())) {
          field.pop_back();
        }
        const size_t first = field.find_first_not_of(" \t");
        field.erase(0, first == std::string::npos ? field.size() : first);
      }
      record.fields.push_back(field);
      if (at < text.size() && text[at] == delimiter) {
        ++at;
        continue;
      }
      if (at + 1 < text.size() && text[at] == '\r' && text[at + 1] == '\n') {
        ++at;
      }
      if (at < text.size() && text[at] != '\r' && text[at] != '\n') {
        errorLine = line;  // text after a closing quote
        return false;
      }
      at += at < text.size() ? 1 : 0;
      ++line;
      recordEnded = true;
    }
    const bool blank = record.fields.size() == 1 && record.fields[0].empty();
    if (!blank) {
      records.push_back(std::move(record));
    }
  }
  return true;
}

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
    for (size_t i = 0; i < header.size(); ++i) {
      columns_.try_emplace(Trimmed(header[i]), i);
    }
  }

  bool has(const std::string& column) const { return columns_.contains(column); }

  // Fills `row` from `record`; returns the error, or empty.
  std::string read(const CsvRecord& record, MapKind kind, MapRow& row) const {
    row.line = record.line;
    if (has("file")) {
      row.file = record.fields[columns_.at("file")];
    }
    std::string error;
    if (!text(record, "old_reference", row.oldReference, error) ||
        !text(record, "new_reference", row.newReference, error)) {
      return error;
    }
    if (kind == MapKind::References) {
      return {};
    }
    const auto section = number(record, "section", 1, kMaxSections);
    const auto x = number(record, "x", INT16_MIN, INT16_MAX);
    const auto y = number(record, "y", INT16_MIN, INT16_MAX);
    const auto oldBlock = number(record, "old_block", 0, UINT8_MAX);
    const auto newBlock = number(record, "new_block", 0, UINT8_MAX);
    if (!section || !x || !y || !oldBlock || !newBlock) {
      return "a section, position or block that is not a number in its range";
    }
    row.section = static_cast<int>(*section - 1);
    row.x = static_cast<int32_t>(*x);
    row.y = static_cast<int32_t>(*y);
    row.oldBlock = static_cast<int>(*oldBlock);
    row.newBlock = static_cast<int>(*newBlock);
    if (!text(record, "part", row.partName, error)) {
      return error;
    }
    return {};
  }

 private:
  bool text(const CsvRecord& record, const std::string& column, std::string& out,
            std::string& error) const {
    const std::string& field = record.fields[columns_.at(column)];
    const std::optional<std::string> bytes = toFile_ ? toFile_(field) : std::optional(field);
    if (!bytes) {
      error = "the " + column + " has no form in the file's encoding";
      return false;
    }
    out = *bytes;
    return true;
  }

  std::optional<int64_t> number(const CsvRecord& record, const std::string& column, int64_t low,
                                int64_t high) const {
    return WholeNumber(record.fields[columns_.at(column)], low, high);
  }

  const MapTextToFile& toFile_;
  std::map<std::string, size_t> columns_;
};

// Two rows that name the same thing must agree on what it becomes.
std::string FindConflict(const ReferenceMap& map) {
  using Key = std::tuple<std::string, int, int32_t, int32_t, std::string, std::string, int>;
  std::map<Key, const MapRow*> seen;
  for (const MapRow& row : map.rows) {
    const Key key = map.kind == MapKind::References
                        ? Key{row.file, 0, 0, 0, {}, row.oldReference, 0}
                        : Key{row.file,     row.section,      row.x,       row.y,
                              row.partName, row.oldReference, row.oldBlock};
    const auto [first, isNew] = seen.try_emplace(key, &row);
    if (!isNew && (first->second->newReference != row.newReference ||
                   first->second->newBlock != row.newBlock)) {
      return LineError(row.line, "maps " + row.oldReference + " otherwise than line " +
                                     std::to_string(first->second->line));
    }
  }
  return {};
}

}  // namespace

MapReadResult ReadReferenceMap(std::string_view csv, bool reverse, const MapTextToFile& toFile) {
  constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
  if (csv.starts_with(kByteOrderMark)) {
    csv.remove_prefix(kByteOrderMark.size());
  }
  // Spreadsheets in many locales save CSV with semicolons: a header that names both
  // reference columns only when split at semicolons says that the map uses them.
  const auto namesBothReferences = [&](const std::vector<CsvRecord>& split) {
    if (split.empty()) {
      return false;
    }
    const RowReader header(split.front().fields, toFile);
    return header.has("old_reference") && header.has("new_reference");
  };
  std::vector<CsvRecord> records;
  size_t errorLine = 0;
  bool split = SplitCsv(csv, ',', records, errorLine);
  if (!split || !namesBothReferences(records)) {
    std::vector<CsvRecord> bySemicolon;
    size_t semicolonErrorLine = 0;
    if (SplitCsv(csv, ';', bySemicolon, semicolonErrorLine) && namesBothReferences(bySemicolon)) {
      records = std::move(bySemicolon);
      split = true;
    }
  }
  if (!split) {
    return {std::nullopt, LineError(errorLine, "a quoted field is not closed as it should be")};
  }
  if (records.empty()) {
    return {std::nullopt, "the map has no header row"};
  }
  const RowReader reader(records.front().fields, toFile);
  for (const char* column : {"old_reference", "new_reference"}) {
    if (!reader.has(column)) {
      return {std::nullopt, std::string("the map has no column ") + column};
    }
  }
  ReferenceMap map;
  map.kind = MapKind::Components;
  for (const char* column : {"section", "x", "y", "part", "old_block", "new_block"}) {
    map.kind = reader.has(column) ? map.kind : MapKind::References;
  }
  map.restoresRecord = reverse && map.kind == MapKind::Components;
  const size_t width = records.front().fields.size();
  for (size_t i = 1; i < records.size(); ++i) {
    if (records[i].fields.size() != width) {
      return {std::nullopt,
              LineError(records[i].line, "the row has " + std::to_string(records[i].fields.size()) +
                                             " fields, the header " + std::to_string(width))};
    }
    MapRow row;
    std::string error = reader.read(records[i], map.kind, row);
    if (reverse) {
      std::swap(row.oldReference, row.newReference);
      std::swap(row.oldBlock, row.newBlock);
    }
    if (error.empty() && (row.oldReference.empty() || row.newReference.empty())) {
      error = "an empty reference";
    }
    if (error.empty() && row.newReference.size() > kMaxReferenceLength) {
      error = "the new reference " + row.newReference + " is longer than 8 characters";
    }
    // A record gives back what the file held, whatever it was.
    const auto unfit = [](char c) {
      const auto byte = static_cast<unsigned char>(c);
      return byte <= 0x20 || byte == 0x7F;
    };
    if (error.empty() && !map.restoresRecord &&
        std::any_of(row.newReference.begin(), row.newReference.end(), unfit)) {
      error = "the new reference \"" + row.newReference + "\" holds a blank or a control character";
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

bool SameFile(const std::string& named, const std::string& path) {
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
      SameFile(SchematicDocument::SectionFileName(row.file, row.section), path)) {
    return 0;
  }
  return std::nullopt;
}

// The row that renames each entry, if any.
std::vector<std::optional<size_t>> MatchRows(const ReferenceMap& map, const std::string& path,
                                             const SchematicDocument& document,
                                             std::vector<bool>& rowMatched) {
  const auto entries = document.entries();
  std::vector<std::optional<size_t>> rowOf(entries.size());
  if (map.kind == MapKind::References) {
    std::unordered_map<std::string_view, size_t> byOldReference;
    for (size_t i = 0; i < map.rows.size(); ++i) {
      if (map.rows[i].file.empty() || SameFile(map.rows[i].file, path)) {
        byOldReference.try_emplace(map.rows[i].oldReference, i);
      }
    }
    for (size_t e = 0; e < entries.size(); ++e) {
      if (auto found = byOldReference.find(entries[e].reference()); found != byOldReference.end()) {
        rowOf[e] = found->second;
      }
    }
  } else {
    using Key = std::tuple<int, int32_t, int32_t, std::string_view, std::string_view, int>;
    std::map<Key, size_t> byComponent;
    for (size_t i = 0; i < map.rows.size(); ++i) {
      const MapRow& row = map.rows[i];
      if (const std::optional<int> section = SectionNamedIn(row, path)) {
        byComponent.try_emplace(
            Key{*section, row.x, row.y, row.partName, row.oldReference, row.oldBlock}, i);
      }
    }
    for (size_t e = 0; e < entries.size(); ++e) {
      const Key key{entries[e].section(),  entries[e].storedX(),   entries[e].y(),
                    entries[e].partName(), entries[e].reference(), entries[e].block()};
      if (auto found = byComponent.find(key); found != byComponent.end()) {
        rowOf[e] = found->second;
      }
    }
  }
  for (const std::optional<size_t>& row : rowOf) {
    if (row) {
      rowMatched[*row] = true;
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
  std::unordered_map<std::string, std::vector<size_t>> carriers;
  for (const size_t e : renamed) {
    carriers.try_emplace(std::string(entries[e].reference()));
  }
  for (size_t e = 0; e < entries.size(); ++e) {
    if (const auto found = carriers.find(std::string(entries[e].reference()));
        found != carriers.end()) {
      found->second.push_back(e);
    }
  }
  const auto beforeOf = [&](size_t e) {
    const auto at = std::lower_bound(renamed.begin(), renamed.end(), e);
    return at != renamed.end() && *at == e ? before[static_cast<size_t>(at - renamed.begin())]
                                           : AnnotationOf(entries[e]);
  };
  for (const size_t e : renamed) {
    const Annotated now = AnnotationOf(entries[e]);
    for (const size_t other : carriers.at(now.reference)) {
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
  std::vector<uint8_t> reference;
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
  const std::vector<std::optional<size_t>> rowOf = MatchRows(map, path, document, rowMatched);
  const auto entries = document.entries();
  std::vector<SavedFields> saved;
  std::vector<size_t> renamed;
  std::vector<Annotated> before;
  for (size_t e = 0; e < entries.size(); ++e) {
    if (!rowOf[e]) {
      continue;
    }
    const auto field = entries[e].referenceField();
    saved.push_back({e, {field.begin(), field.end()}, entries[e].block()});
    renamed.push_back(e);
    before.push_back(AnnotationOf(entries[e]));
    const MapRow& row = map.rows[*rowOf[e]];
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
  if (map.restoresRecord) {
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
