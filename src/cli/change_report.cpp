#include "cli/change_report.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <cstring>

#include "cli/plain_words.h"
#include "platform/memory.h"

namespace kerro {

namespace {

// Whether a character, or each of a word of them, goes into a CSV field as it is: a field
// with a comma, a quote or a line end is quoted.
constexpr auto kPlainInCsv = [](auto word) {
  return !HasByte(word, ',') && !HasByte(word, '"') && !HasByte(word, '\r') && !HasByte(word, '\n');
};

bool NeedsQuotes(std::string_view text) {
  return std::any_of(text.begin(), text.end(),
                     [](char c) { return !kPlainInCsv(static_cast<uint8_t>(c)); });
}

// Whether a character, or each of a word of them, is shown as it is: control characters
// are shown as \xNN.
constexpr auto kShownAsIs = [](auto word) {
  return !HasByteBelow(word, 0x20) && !HasByte(word, 0x7F);
};

constexpr size_t kMostPerPrintableByte = 4;  // \xNN

// Writes `text` at `out`, control characters as \xNN, and returns the end: a pointer that
// moves, where appending a character at a time to a string checks its room each time.
char* PutPrintable(char* out, std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  const size_t plain = PutPlainWords(out, text, kShownAsIs);
  out += plain;
  for (const char c : text.substr(plain)) {
    const auto byte = static_cast<uint8_t>(c);
    if (!kShownAsIs(byte)) {
      *out++ = '\\';
      *out++ = 'x';
      *out++ = kHex[byte >> 4];
      *out++ = kHex[byte & 0xF];
    } else {
      *out++ = c;
    }
  }
  return out;
}

void AppendPrintable(std::string& out, std::string_view text) {
  const size_t start = out.size();
  out.resize(start + kMostPerPrintableByte * text.size());
  out.resize(static_cast<size_t>(PutPrintable(out.data() + start, text) - out.data()));
}

char* PutText(char* out, std::string_view text) {
  return std::copy(text.begin(), text.end(), out);
}

constexpr size_t kMostDigits = 20;  // a sign and 19 digits

// The numbers of a change are small: positions, sections and blocks. Up to four digits
// are written at once, from a table of digit pairs; longer ones by std::to_chars.
char* PutNumber(char* out, int64_t value) {
  static constexpr auto kPairs = [] {
    std::array<char, 200> pairs{};
    for (size_t i = 0; i < 100; ++i) {
      pairs[2 * i] = static_cast<char>('0' + i / 10);
      pairs[2 * i + 1] = static_cast<char>('0' + i % 10);
    }
    return pairs;
  }();
  if (value < 0 || value >= 10000) {
    return std::to_chars(out, out + kMostDigits, value).ptr;
  }
  const auto number = static_cast<size_t>(value);
  if (number < 10) {
    *out = static_cast<char>('0' + number);
    return out + 1;
  }
  if (number < 100) {
    std::memcpy(out, &kPairs[2 * number], 2);
    return out + 2;
  }
  const size_t high = number / 100;
  const size_t low = number % 100;
  if (high < 10) {
    *out = static_cast<char>('0' + high);
    std::memcpy(out + 1, &kPairs[2 * low], 2);
    return out + 3;
  }
  std::memcpy(out, &kPairs[2 * high], 2);
  std::memcpy(out + 2, &kPairs[2 * low], 2);
  return out + 4;
}

constexpr size_t kMostPerCsvByte = 2;  // a double quote doubled

// Writes one field at `out`, quoted when it must be, and returns the end.
char* PutCsvField(char* out, std::string_view text) {
  const size_t plain = PutPlainWords(out, text, kPlainInCsv);
  if (plain == text.size()) {
    return out + plain;
  }
  // What the words copied is plain: only the rest can need quotes, or need copying.
  const std::string_view rest = text.substr(plain);
  if (!NeedsQuotes(rest)) {
    return PutText(out + plain, rest);
  }
  *out++ = '"';
  for (const char c : text) {
    if (c == '"') {
      *out++ = '"';
    }
    *out++ = c;
  }
  *out++ = '"';
  return out;
}

}  // namespace

std::string CsvField(std::string_view text) {
  std::string field(kMostPerCsvByte * text.size() + 2, '\0');
  field.resize(static_cast<size_t>(PutCsvField(field.data(), text) - field.data()));
  return field;
}

ShownTexts::ShownTexts(const ComponentChange& change, const TextShown& shown)
    : views_{change.partName, change.packageTag, change.oldReference, change.newReference} {
  if (shown) {
    for (size_t i = 0; i < views_.size(); ++i) {
      converted_[i] = shown(views_[i]);
      views_[i] = converted_[i];
    }
  }
}

std::string FormatChangesCsv(std::span<const FileChanges> files, const TextShown& shown) {
  constexpr std::string_view kHeader =
      "file,section,x,y,part,tag,old_reference,new_reference,old_block,new_block\r\n";
  // The room the longest row of a path and four texts of these sizes can take.
  const auto mostFor = [](size_t pathSize, std::span<const size_t, 4> textSizes) {
    constexpr size_t kNumbers = 5;
    constexpr size_t kMostSeparators = 16;  // commas and the line end
    size_t most = pathSize + kNumbers * kMostDigits + kMostSeparators;
    for (const size_t size : textSizes) {
      most += kMostPerCsvByte * size + 2;
    }
    return most;
  };
  // A million changes make a document of tens of megabytes: made in one piece, it is not
  // copied as it grows. A row's numbers and separators mostly take less than 32 bytes;
  // beyond that, the room of the longest row is kept, which each row is written into. Of
  // that room, only what the rows take for certain (each number a digit) is advised as a
  // large buffer: advice has every page of its range provided, and the rest of the room
  // is mostly never written.
  size_t size = kHeader.size();
  size_t fewest = kHeader.size();
  size_t largestRow = 0;
  for (const FileChanges& file : files) {
    for (const ComponentChange& change : file.changes) {
      const std::array<size_t, 4> textSizes = {change.partName.size(), change.packageTag.size(),
                                               change.oldReference.size(),
                                               change.newReference.size()};
      const size_t texts =
          file.path.size() + textSizes[0] + textSizes[1] + textSizes[2] + textSizes[3];
      constexpr size_t kFewestOthers = 16;  // five digits, nine commas and the line end
      size += texts + 32;
      fewest += texts + kFewestOthers;
      largestRow = std::max(largestRow, mostFor(kMostPerCsvByte * file.path.size() + 2, textSizes));
    }
  }
  std::string csv;
  csv.reserve(size + largestRow);
  AdviseLargeBuffer(csv.data(), fewest);
  csv += kHeader;
  for (const FileChanges& file : files) {
    const std::string path = CsvField(file.path);
    for (const ComponentChange& change : file.changes) {
      // A row is written at a moving pointer straight onto the document, in room for the
      // longest row these texts can make. Written elsewhere and then copied on, each row
      // would be read back while its narrow writes are still on their way.
      const ShownTexts shownTexts(change, shown);
      const std::array<std::string_view, 4>& texts = *shownTexts;
      const std::array<size_t, 4> textSizes = {texts[0].size(), texts[1].size(), texts[2].size(),
                                               texts[3].size()};
      const size_t start = csv.size();
      csv.resize(start + mostFor(path.size(), textSizes));
      char* out = PutText(csv.data() + start, path);
      for (const int64_t number :
           {int64_t{change.section} + 1, int64_t{change.x}, int64_t{change.y}}) {
        *out++ = ',';
        out = PutNumber(out, number);
      }
      for (const std::string_view text : texts) {
        *out++ = ',';
        out = PutCsvField(out, text);
      }
      for (const int64_t number : {int64_t{change.oldBlock}, int64_t{change.newBlock}}) {
        *out++ = ',';
        out = PutNumber(out, number);
      }
      out = PutText(out, "\r\n");
      csv.resize(static_cast<size_t>(out - csv.data()));
    }
  }
  return csv;
}

std::string Printable(std::string_view text) {
  std::string shown;
  shown.reserve(text.size());
  AppendPrintable(shown, text);
  return shown;
}

void AppendChangeLine(std::string& line, std::string_view path, const ComponentChange& change,
                      const TextShown& shown) {
  // Written in place into room for the longest line these texts can make: a million lines
  // cost less so than a million times a dozen appends.
  const ShownTexts shownTexts(change, shown);
  const std::array<std::string_view, 4>& texts = *shownTexts;
  constexpr size_t kNumbers = 5;
  constexpr size_t kMostWords = 64;
  size_t most = kMostPerPrintableByte * path.size() + kNumbers * kMostDigits + kMostWords;
  for (const std::string_view text : texts) {
    most += kMostPerPrintableByte * text.size();
  }
  const size_t start = line.size();
  line.resize(start + most);
  char* out = PutPrintable(line.data() + start, path);
  out = PutNumber(PutText(out, ": section "), int64_t{change.section} + 1);
  out = PutNumber(PutText(out, " at ("), change.x);
  out = PutNumber(PutText(out, ", "), change.y);
  out = PutPrintable(PutText(out, ") "), texts[0]);
  out = PutPrintable(PutText(out, " ["), texts[1]);
  out = PutPrintable(PutText(out, "]: "), texts[2]);
  out = PutPrintable(PutText(out, " -> "), texts[3]);
  if (change.oldBlock != change.newBlock) {
    out = PutNumber(PutText(out, ", block "), change.oldBlock);
    out = PutNumber(PutText(out, " -> "), change.newBlock);
  }
  line.resize(static_cast<size_t>(out - line.data()));
}

}  // namespace kerro
