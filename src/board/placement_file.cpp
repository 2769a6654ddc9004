#include "board/placement_file.h"

#include <algorithm>
#include <array>
#include <functional>
#include <limits>
#include <span>
#include <utility>

#include "platform/memory.h"

namespace kerro {

namespace {

constexpr int64_t kLargestLength = 1'000'000 * kNanometresPerMillimetre;

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// Letters and digits only, in lower case: "Center-X (mm)" gives "centerxmm".
std::string Normalized(std::string_view name) {
  std::string normalized;
  for (const char c : name) {
    const char lower = Lower(c);
    if ((lower >= 'a' && lower <= 'z') || IsDigit(lower)) {
      normalized.push_back(lower);
    }
  }
  return normalized;
}

std::string_view Trimmed(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) {
    text.remove_prefix(1);
  }
  while (!text.empty() && IsBlank(text.back())) {
    text.remove_suffix(1);
  }
  return text;
}

struct UnitName {
  std::string_view name;
  int64_t nanometres;
};

constexpr std::array<UnitName, 7> kUnits = {{{"mm", kNanometresPerMillimetre},
                                             {"mil", kNanometresPerMil},
                                             {"mils", kNanometresPerMil},
                                             {"thou", kNanometresPerMil},
                                             {"in", kNanometresPerInch},
                                             {"inch", kNanometresPerInch},
                                             {"inches", kNanometresPerInch}}};

// The length of the longest name of `names`, whose `nameOf(name)` gives each's text.
template <typename Names, typename NameOf>
constexpr size_t LongestOf(const Names& names, const NameOf& nameOf) {
  size_t longest = 0;
  for (const auto& name : names) {
    longest = std::max(longest, nameOf(name).size());
  }
  return longest;
}
constexpr auto kItself = [](std::string_view name) { return name; };

constexpr size_t kLongestUnitName =
    LongestOf(kUnits, [](const UnitName& unit) { return unit.name; });

std::optional<int64_t> UnitOf(std::string_view lowerName) {
  for (const UnitName& unit : kUnits) {
    if (unit.name == lowerName) {
      return unit.nanometres;
    }
  }
  return std::nullopt;
}

// One field of a line: its text (quotes taken off) and where its bytes stand. The text is
// the file's own bytes, or for a quoted field the line's scratch text.
struct Field {
  std::string_view text;
  size_t at = 0;  // offset in the file of the text's bytes (inside quotes)
  size_t length = 0;
  bool quoted = false;
};

struct Line {
  std::string_view text;  // without its line end
  size_t at = 0;          // offset in the file
  size_t number = 0;      // from 1
};

// The lines of the file, read one at a time: a copy goes on from where it was made.
class Lines {
 public:
  explicit Lines(std::string_view bytes) : bytes_(bytes) {
    if (bytes_.substr(0, 3) == "\xEF\xBB\xBF") {
      at_ = 3;
    }
  }

  bool next(Line& line) {
    if (at_ >= bytes_.size()) {
      return false;
    }
    size_t end = bytes_.find('\n', at_);
    const size_t next = end == std::string_view::npos ? bytes_.size() : end + 1;
    end = end == std::string_view::npos ? bytes_.size() : end;
    std::string_view text = bytes_.substr(at_, end - at_);
    if (!text.empty() && text.back() == '\r') {
      text.remove_suffix(1);
    }
    line = {text, at_, number_++};
    at_ = next;
    return true;
  }

  // At most the number of lines still to be read.
  size_t left() const {
    const std::string_view rest = bytes_.substr(std::min(at_, bytes_.size()));
    return static_cast<size_t>(std::count(rest.begin(), rest.end(), '\n')) + 1;
  }

 private:
  std::string_view bytes_;
  size_t at_ = 0;
  size_t number_ = 1;
};

// Splits a line at `separator`, or at runs of blanks when it is 0. Returns false, with
// `error` set, for a quote that does not close or text after a closing quote.
// Quoted texts, without their doubled quotes, are gathered in `unquoted`, which the fields'
// texts then view: it never grows past the line, so those views stay valid until the next
// line is split.
bool SplitLine(const Line& line, char separator, std::vector<Field>& fields, std::string& unquoted,
               std::string& error) {
  fields.clear();
  unquoted.clear();
  unquoted.reserve(line.text.size());
  const std::string_view text = line.text;
  const auto isSeparator = [separator](char c) {
    return separator == 0 ? IsBlank(c) : c == separator;
  };
  const auto isPadding = [separator](char c) { return IsBlank(c) && c != separator; };
  size_t i = 0;
  if (separator == 0) {
    while (i < text.size() && IsBlank(text[i])) {
      ++i;
    }
    if (i == text.size()) {
      return true;
    }
  }
  while (true) {
    while (i < text.size() && isPadding(text[i])) {
      ++i;
    }
    Field field;
    if (i < text.size() && text[i] == '"') {
      field.quoted = true;
      field.at = line.at + i + 1;
      size_t j = i + 1;
      bool closed = false;
      const size_t start = unquoted.size();
      while (j < text.size()) {
        if (text[j] == '"') {
          if (j + 1 < text.size() && text[j + 1] == '"') {
            unquoted.push_back('"');
            j += 2;
            continue;
          }
          closed = true;
          break;
        }
        unquoted.push_back(text[j++]);
      }
      field.text = std::string_view(unquoted).substr(start);
      if (!closed) {
        error = "line " + std::to_string(line.number) + ": a quote that does not close";
        return false;
      }
      field.length = j - (i + 1);
      i = j + 1;
      while (separator != 0 && i < text.size() && isPadding(text[i])) {
        ++i;
      }
      if (i < text.size() && !isSeparator(text[i])) {
        error = "line " + std::to_string(line.number) + ": text after a closing quote";
        return false;
      }
    } else {
      size_t end = i;
      while (end < text.size() && !isSeparator(text[end])) {
        ++end;
      }
      const std::string_view raw = Trimmed(text.substr(i, end - i));
      field.text = raw;
      field.at = line.at + static_cast<size_t>(raw.data() - text.data());
      field.length = raw.size();
      i = end;
    }
    fields.push_back(field);
    if (separator == 0) {
      while (i < text.size() && IsBlank(text[i])) {
        ++i;
      }
      if (i == text.size()) {
        return true;
      }
    } else {
      if (i >= text.size()) {
        return true;
      }
      ++i;  // past the separator
    }
  }
}

// The separator the header uses most often outside quotes: tab, then semicolon, then comma
// where counts are equal.
char SeparatorOf(std::string_view header) {
  size_t tabs = 0;
  size_t semicolons = 0;
  size_t commas = 0;
  bool quoted = false;
  for (const char c : header) {
    if (c == '"') {
      quoted = !quoted;
    } else if (!quoted) {
      tabs += c == '\t';
      semicolons += c == ';';
      commas += c == ',';
    }
  }
  if (tabs >= semicolons && tabs >= commas && tabs > 0) {
    return '\t';
  }
  if (semicolons >= commas && semicolons > 0) {
    return ';';
  }
  return ',';
}

struct Column {
  std::optional<size_t> index;
  size_t rank = std::numeric_limits<size_t>::max();  // place of its name in the list
  int64_t unit = 0;                                  // of numbers without one; 0 for none
};

struct Columns {
  Column reference;
  Column x;
  Column y;
  Column side;
  size_t count = 0;  // fields of the header
};

constexpr std::array<std::string_view, 4> kReferenceNames = {"ref", "reference", "designator",
                                                             "refdes"};
constexpr std::array<std::string_view, 5> kXNames = {"posx", "x", "midx", "centerx", "refx"};
constexpr std::array<std::string_view, 5> kYNames = {"posy", "y", "midy", "centery", "refy"};
constexpr std::array<std::string_view, 3> kSideNames = {"side", "layer", "tb"};

template <size_t N>
void Consider(Column& column, const std::array<std::string_view, N>& names, std::string_view name,
              int64_t unit, size_t index) {
  for (size_t rank = 0; rank < N; ++rank) {
    if (names[rank] == name && rank < column.rank) {
      column = {index, rank, unit};
    }
  }
}

Columns ColumnsOf(const std::vector<Field>& header) {
  Columns columns;
  columns.count = header.size();
  for (size_t index = 0; index < header.size(); ++index) {
    const std::string name = Normalized(header[index].text);
    Consider(columns.reference, kReferenceNames, name, 0, index);
    Consider(columns.side, kSideNames, name, 0, index);
    Consider(columns.x, kXNames, name, 0, index);
    Consider(columns.y, kYNames, name, 0, index);
    // A name that ends in a unit: PosX(mm), X [mil].
    for (const UnitName& unit : kUnits) {
      if (name.size() > unit.name.size() && name.ends_with(unit.name)) {
        const std::string_view bare(name.data(), name.size() - unit.name.size());
        Consider(columns.x, kXNames, bare, unit.nanometres, index);
        Consider(columns.y, kYNames, bare, unit.nanometres, index);
      }
    }
  }
  return columns;
}

bool Recognised(const Columns& columns) {
  return columns.reference.index && columns.x.index && columns.y.index;
}

std::string MissingColumn(const Columns& columns, size_t line) {
  const std::string where = "line " + std::to_string(line) + ": ";
  if (!columns.reference.index) {
    return where + "no reference column (Ref, Reference, Designator, RefDes)";
  }
  if (!columns.x.index) {
    return where + "no x column (PosX, X, Mid X, Center-X, Ref X)";
  }
  return where + "no y column (PosY, Y, Mid Y, Center-Y, Ref Y)";
}

// The unit that a comment such as "## Unit = mm, Angle = deg." gives, if any.
std::optional<int64_t> UnitInComment(std::string_view comment) {
  std::string lower;
  for (const char c : comment) {
    lower.push_back(Lower(c));
  }
  const size_t at = lower.find("unit");
  if (at == std::string::npos) {
    return std::nullopt;
  }
  size_t i = at + 4;
  if (i < lower.size() && lower[i] == 's') {
    ++i;
  }
  while (i < lower.size() && (IsBlank(lower[i]) || lower[i] == '=' || lower[i] == ':')) {
    ++i;
  }
  size_t end = i;
  while (end < lower.size() && lower[end] >= 'a' && lower[end] <= 'z') {
    ++end;
  }
  return UnitOf(std::string_view(lower).substr(i, end - i));
}

constexpr std::array<std::string_view, 7> kTopNames = {"top", "t",        "front",  "f",
                                                       "fcu", "toplayer", "topside"};
constexpr std::array<std::string_view, 7> kBottomNames = {
    "bottom", "b", "bot", "back", "bcu", "bottomlayer", "bottomside"};
constexpr size_t kLongestSideName =
    std::max(LongestOf(kTopNames, kItself), LongestOf(kBottomNames, kItself));

// As Normalized, but without a text of its own for each row: a side longer than the
// longest name is none.
std::optional<BoardSide> SideOf(std::string_view text) {
  std::array<char, kLongestSideName> name{};
  size_t length = 0;
  for (const char c : text) {
    const char lower = Lower(c);
    if ((lower >= 'a' && lower <= 'z') || IsDigit(lower)) {
      if (length == name.size()) {
        return std::nullopt;
      }
      name[length++] = lower;
    }
  }
  const std::string_view normalized(name.data(), length);
  const auto named = [normalized](std::string_view known) { return known == normalized; };
  if (std::any_of(kTopNames.begin(), kTopNames.end(), named)) {
    return BoardSide::Top;
  }
  if (std::any_of(kBottomNames.begin(), kBottomNames.end(), named)) {
    return BoardSide::Bottom;
  }
  return std::nullopt;
}

std::string Shown(std::string_view text) {
  std::string shown;
  for (const char c : text.substr(0, 40)) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      constexpr char kHex[] = "0123456789ABCDEF";
      shown += "\\x";
      shown.push_back(kHex[byte >> 4]);
      shown.push_back(kHex[byte & 15]);
    } else {
      shown.push_back(c);
    }
  }
  return "\"" + shown + (text.size() > 40 ? "...\"" : "\"");
}

// The rows read so far by reference, to find a reference on two rows: open addressing
// over a hash and a row index, for placement files of a million rows. A row is looked at
// only when its hash matches, since each look at a row read long ago misses the cache.
class RowsByReference {
 public:
  // Room for `expected` rows without growing.
  explicit RowsByReference(size_t expected) {
    size_t slots = 1024;
    while (slots < 2 * expected) {
      slots *= 2;
    }
    ReserveLarge(slots_, slots);
    slots_.resize(slots);
  }

  // Notes rows[from] onwards, in order, until one has the reference of an earlier row:
  // returns that row and the earlier one. The look-ups of a batch are started together,
  // since on a file of a million rows each one misses the cache.
  std::optional<std::pair<size_t, size_t>> addRows(const std::vector<PlacementRow>& rows,
                                                   size_t from) {
    constexpr size_t kBatch = kLookupsInFlight;
    std::array<uint32_t, kBatch> hashes{};
    for (size_t first = from; first < rows.size(); first += kBatch) {
      const size_t count = std::min(kBatch, rows.size() - first);
      while (2 * (count_ + count) > slots_.size()) {
        grow();
      }
      for (size_t i = 0; i < count; ++i) {
        hashes[i] = static_cast<uint32_t>(std::hash<std::string_view>{}(rows[first + i].reference));
        PrefetchForRead(&slots_[hashes[i] & (slots_.size() - 1)]);
      }
      for (size_t i = 0; i < count; ++i) {
        if (const std::optional<size_t> earlier = earlierOrAdd(rows, first + i, hashes[i])) {
          return std::pair(first + i, *earlier);
        }
      }
    }
    return std::nullopt;
  }

 private:
  struct Slot {
    uint32_t hash = 0;
    uint32_t row = 0;  // row index + 1; 0 for an empty slot
  };

  // The earlier row that has the reference of `rows[row]`, or nullopt after noting it.
  std::optional<size_t> earlierOrAdd(const std::vector<PlacementRow>& rows, size_t row,
                                     uint32_t hash) {
    for (size_t at = hash & (slots_.size() - 1);; at = (at + 1) & (slots_.size() - 1)) {
      const Slot slot = slots_[at];
      if (slot.row == 0) {
        slots_[at] = {hash, static_cast<uint32_t>(row + 1)};
        ++count_;
        return std::nullopt;
      }
      if (slot.hash == hash && rows[slot.row - 1].reference == rows[row].reference) {
        return slot.row - 1;
      }
    }
  }

  void grow() {
    std::vector<Slot> old(2 * slots_.size());
    old.swap(slots_);
    for (const Slot& slot : old) {
      if (slot.row == 0) {
        continue;
      }
      size_t at = slot.hash & (slots_.size() - 1);
      while (slots_[at].row != 0) {
        at = (at + 1) & (slots_.size() - 1);
      }
      slots_[at] = slot;
    }
  }

  std::vector<Slot> slots_;  // a power of two, at most half full
  size_t count_ = 0;
};

// Rows are checked for repeated references in batches of this many.
constexpr size_t kRowsCheckedTogether = 64;

// What LengthIn gives for a text that is not a length. Returned in one register: a
// std::optional of 64 bits is put together on the stack and read back whole right after
// its flag byte is stored, which stalls every call.
constexpr int64_t kNotALength = std::numeric_limits<int64_t>::min();

// The fraction's part of a length, rounded to the nearest nanometre: each division by a
// constant becomes a multiplication, where one by a variable scale is a long division.
int64_t RoundedFraction(int64_t scaled, size_t fractionDigits) {
  switch (fractionDigits) {
    case 0:
      return scaled;
    case 1:
      return (scaled + 5) / 10;
    case 2:
      return (scaled + 50) / 100;
    case 3:
      return (scaled + 500) / 1'000;
    case 4:
      return (scaled + 5'000) / 10'000;
    case 5:
      return (scaled + 50'000) / 100'000;
    case 6:
      return (scaled + 500'000) / 1'000'000;
    case 7:
      return (scaled + 5'000'000) / 10'000'000;
    case 8:
      return (scaled + 50'000'000) / 100'000'000;
    default:
      return (scaled + 500'000'000) / 1'000'000'000;
  }
}

int64_t LengthIn(std::string_view text, int64_t unitNanometres) {
  text = Trimmed(text);
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  // Whole part, at most 9 digits; fraction to 9 digits, further digits do not count.
  int64_t whole = 0;
  int64_t fraction = 0;
  size_t fractionDigits = 0;
  size_t digits = 0;
  size_t i = 0;
  for (; i < text.size() && IsDigit(text[i]); ++i, ++digits) {
    if (digits == 9) {
      return kNotALength;
    }
    whole = whole * 10 + (text[i] - '0');
  }
  if (i < text.size() && (text[i] == '.' || text[i] == ',')) {
    for (++i; i < text.size() && IsDigit(text[i]); ++i, ++digits) {
      if (fractionDigits < 9) {
        fraction = fraction * 10 + (text[i] - '0');
        ++fractionDigits;
      }
    }
  }
  if (digits == 0) {
    return kNotALength;
  }
  // Most numbers carry no unit; one that does is looked up in lower case. A unit longer
  // than the longest known one is none.
  const std::string_view unitText = Trimmed(text.substr(i));
  int64_t unit = unitNanometres;
  if (!unitText.empty()) {
    std::array<char, kLongestUnitName> lower{};
    if (unitText.size() > lower.size()) {
      return kNotALength;
    }
    for (size_t k = 0; k < unitText.size(); ++k) {
      lower[k] = Lower(unitText[k]);
    }
    const std::optional<int64_t> named = UnitOf({lower.data(), unitText.size()});
    if (!named) {
      return kNotALength;
    }
    unit = *named;
  }
  if (unit <= 0 || unit > kNanometresPerInch) {
    return kNotALength;
  }
  // Within 10^9 * 2.54 * 10^7 each, so no product overflows.
  const int64_t length = whole * unit + RoundedFraction(fraction * unit, fractionDigits);
  if (length > kLargestLength) {
    return kNotALength;
  }
  return negative ? -length : length;
}

// Reads the rows after the header. Returns the error, or an empty text.
std::string ReadRows(Lines lines, char separator, const Columns& columns, int64_t defaultUnit,
                     std::vector<PlacementRow>& rows) {
  const size_t most = lines.left();
  RowsByReference byReference(most);
  ReserveLarge(rows, most);
  std::vector<Field> fields;
  std::string unquoted;
  std::string error;
  // A reference on two rows is found up to a batch of rows after it is read. Any other
  // fault found meanwhile stands later in the file, so the repeat is reported first.
  size_t checked = 0;
  const auto repeated = [&]() -> std::string {
    const std::optional<std::pair<size_t, size_t>> repeat = byReference.addRows(rows, checked);
    checked = rows.size();
    if (!repeat) {
      return {};
    }
    const PlacementRow& row = rows[repeat->first];
    return "line " + std::to_string(row.line) + ": " + Shown(row.reference) + " is on line " +
           std::to_string(rows[repeat->second].line) + " too";
  };
  const auto firstFault = [&repeated](std::string fault) {
    std::string repeat = repeated();
    return repeat.empty() ? fault : repeat;
  };
  Line line;
  while (lines.next(line)) {
    if (separator == 0 && !line.text.empty() && line.text.front() == '#') {
      continue;
    }
    if (!SplitLine(line, separator, fields, unquoted, error)) {
      return firstFault(error);
    }
    if (std::all_of(fields.begin(), fields.end(),
                    [](const Field& field) { return field.text.empty(); })) {
      continue;
    }
    const auto where = [&line] { return "line " + std::to_string(line.number) + ": "; };
    const auto fieldAt = [&](const Column& column) -> const Field* {
      return column.index && *column.index < fields.size() ? &fields[*column.index] : nullptr;
    };
    if (separator == 0 && fields.size() != columns.count) {
      // A value with blanks in it, unquoted, would shift every column after it.
      return firstFault(where() + std::to_string(fields.size()) + " fields where the header has " +
                        std::to_string(columns.count) + " (a value with blanks needs quotes)");
    }
    const Field* reference = fieldAt(columns.reference);
    if (reference == nullptr || reference->text.empty()) {
      return firstFault(where() + "a row with no reference");
    }
    PlacementRow row;
    row.reference = reference->text;
    row.line = line.number;
    row.referenceAt = reference->at;
    row.referenceLength = reference->length;
    row.referenceQuoted = reference->quoted;
    for (const auto& [column, value] :
         {std::pair{&columns.x, &row.x}, std::pair{&columns.y, &row.y}}) {
      const Field* field = fieldAt(*column);
      if (field == nullptr || field->text.empty()) {
        return firstFault(where() + "a row with no position (" + Shown(row.reference) + ")");
      }
      const int64_t length = LengthIn(field->text, column->unit != 0 ? column->unit : defaultUnit);
      if (length == kNotALength) {
        return firstFault(where() + Shown(field->text) + " is not a position");
      }
      *value = length;
    }
    if (columns.side.index) {
      const Field* field = fieldAt(columns.side);
      const std::optional<BoardSide> side = field ? SideOf(field->text) : std::nullopt;
      if (!side) {
        return firstFault(where() + (field ? Shown(field->text) : std::string("\"\"")) +
                          " is not a side (top or bottom)");
      }
      row.side = *side;
    }
    rows.push_back(std::move(row));
    if (rows.size() - checked >= kRowsCheckedTogether) {
      if (std::string repeat = repeated(); !repeat.empty()) {
        return repeat;
      }
    }
  }
  return repeated();
}

}  // namespace

std::optional<int64_t> ParseLength(std::string_view text, int64_t unitNanometres) {
  const int64_t length = LengthIn(text, unitNanometres);
  return length == kNotALength ? std::nullopt : std::optional<int64_t>(length);
}

PlacementReadResult ReadPlacement(std::string_view bytes) {
  Lines lines(bytes);
  Lines atFirst = lines;
  Line first;
  do {
    atFirst = lines;
    if (!lines.next(first)) {
      return {std::nullopt, "line 1: no header row"};
    }
  } while (Trimmed(first.text).empty());
  std::vector<Field> fields;
  std::string unquoted;
  std::string error;
  std::vector<PlacementRow> rows;
  if (first.text.front() != '#') {
    const char separator = SeparatorOf(first.text);
    if (!SplitLine(first, separator, fields, unquoted, error)) {
      return {std::nullopt, error};
    }
    const Columns columns = ColumnsOf(fields);
    if (!Recognised(columns)) {
      return {std::nullopt, MissingColumn(columns, first.number)};
    }
    error = ReadRows(lines, separator, columns, kNanometresPerMillimetre, rows);
  } else {
    // The text form: the last "#" line before the first row whose names give the columns.
    std::optional<Columns> columns;
    int64_t unit = kNanometresPerMillimetre;
    Lines rest = atFirst;
    Line line;
    for (Lines here = rest; rest.next(line); here = rest) {
      const std::string_view text = Trimmed(line.text);
      if (text.empty()) {
        continue;
      }
      if (text.front() != '#') {
        rest = here;  // the first row
        break;
      }
      if (const std::optional<int64_t> commentUnit = UnitInComment(text)) {
        unit = *commentUnit;
      }
      Line header = line;
      const size_t marks = line.text.find_first_not_of('#');
      header.text = line.text.substr(std::min(marks, line.text.size()));
      header.at = line.at + (line.text.size() - header.text.size());
      if (SplitLine(header, 0, fields, unquoted, error) && Recognised(ColumnsOf(fields))) {
        columns = ColumnsOf(fields);
      }
    }
    if (!columns) {
      return {std::nullopt, "line " + std::to_string(first.number) +
                                ": no header line (\"# Ref ... PosX PosY\") before the rows"};
    }
    error = ReadRows(rest, 0, *columns, unit, rows);
  }
  if (!error.empty()) {
    return {std::nullopt, error};
  }
  return {std::move(rows), {}};
}

std::vector<ReferenceSpan> ReferenceSpansOf(std::span<const PlacementRow> rows) {
  constexpr uint64_t kAnyOffset = (uint64_t{1} << 63) - 1;  // more than any file holds
  std::vector<ReferenceSpan> spans;
  ReserveLarge(spans, rows.size());
  for (const PlacementRow& row : rows) {
    spans.push_back({.at = row.referenceAt & kAnyOffset,
                     .quoted = row.referenceQuoted,
                     .length = row.referenceLength});
  }
  return spans;
}

std::string RenamePlacement(std::string_view bytes, std::span<const ReferenceSpan> spans,
                            const std::function<std::string_view(size_t)>& newNameOf) {
  std::string renamed;
  renamed.reserve(bytes.size());
  size_t copied = 0;
  for (size_t row = 0; row < spans.size(); ++row) {
    const ReferenceSpan& span = spans[row];
    const std::string_view newName = newNameOf(row);
    if (newName.empty() || span.at < copied || span.at + span.length > bytes.size()) {
      continue;
    }
    // Within the bytes, so both ends fit a size_t.
    const auto at = static_cast<size_t>(span.at);
    renamed.append(bytes.substr(copied, at - copied));
    for (const char c : newName) {
      if (c == '"' && span.quoted) {
        renamed.push_back('"');
      }
      renamed.push_back(c);
    }
    copied = at + static_cast<size_t>(span.length);
  }
  renamed.append(bytes.substr(copied));
  return renamed;
}

}  // namespace kerro
