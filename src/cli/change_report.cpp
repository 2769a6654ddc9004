#include "cli/change_report.h"

#include <charconv>
#include <cstdint>

namespace kerro {

namespace {

bool NeedsQuotes(std::string_view text) {
  for (const char c : text) {
    if (c == ',' || c == '"' || c == '\r' || c == '\n') {
      return true;
    }
  }
  return false;
}

void AppendCsvField(std::string& out, std::string_view text) {
  if (!NeedsQuotes(text)) {
    out += text;
    return;
  }
  out += '"';
  for (const char c : text) {
    if (c == '"') {
      out += '"';
    }
    out += c;
  }
  out += '"';
}

void AppendNumber(std::string& out, int64_t value) {
  char digits[24];
  const char* end = std::to_chars(digits, digits + sizeof digits, value).ptr;
  out.append(digits, static_cast<size_t>(end - digits));
}

void AppendPrintable(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      const char escaped[] = {'\\', 'x', kHex[byte >> 4], kHex[byte & 0xF]};
      out.append(escaped, sizeof escaped);
    } else {
      out += c;
    }
  }
}

}  // namespace

std::string CsvField(std::string_view text) {
  std::string field;
  AppendCsvField(field, text);
  return field;
}

std::string FormatChangesCsv(std::span<const FileChanges> files) {
  constexpr std::string_view kHeader =
      "file,section,x,y,part,tag,old_reference,new_reference,old_block,new_block\r\n";
  // A million changes make a document of tens of megabytes: made in one piece, it is not
  // copied as it grows. A row's numbers and separators mostly take less than 32 bytes.
  size_t size = kHeader.size();
  for (const FileChanges& file : files) {
    for (const ComponentChange& change : file.changes) {
      size += file.path.size() + change.partName.size() + change.packageTag.size() +
              change.oldReference.size() + change.newReference.size() + 32;
    }
  }
  std::string csv;
  csv.reserve(size);
  csv += kHeader;
  for (const FileChanges& file : files) {
    const std::string path = CsvField(file.path);
    for (const ComponentChange& change : file.changes) {
      csv += path;
      for (const int64_t number :
           {int64_t{change.section} + 1, int64_t{change.x}, int64_t{change.y}}) {
        csv += ',';
        AppendNumber(csv, number);
      }
      for (const std::string* text :
           {&change.partName, &change.packageTag, &change.oldReference, &change.newReference}) {
        csv += ',';
        AppendCsvField(csv, *text);
      }
      for (const int64_t number : {int64_t{change.oldBlock}, int64_t{change.newBlock}}) {
        csv += ',';
        AppendNumber(csv, number);
      }
      csv += "\r\n";
    }
  }
  return csv;
}

void ShowTexts(std::vector<ComponentChange>& changes,
               const std::function<std::string(std::string_view)>& shown) {
  for (ComponentChange& change : changes) {
    for (std::string* text :
         {&change.partName, &change.packageTag, &change.oldReference, &change.newReference}) {
      *text = shown(*text);
    }
  }
}

std::string Printable(std::string_view text) {
  std::string shown;
  shown.reserve(text.size());
  AppendPrintable(shown, text);
  return shown;
}

void AppendChangeLine(std::string& line, std::string_view path, const ComponentChange& change) {
  AppendPrintable(line, path);
  for (const auto& [before, number] :
       {std::pair<std::string_view, int64_t>{": section ", int64_t{change.section} + 1},
        {" at (", change.x},
        {", ", change.y}}) {
    line += before;
    AppendNumber(line, number);
  }
  for (const auto& [before, text] :
       {std::pair<std::string_view, const std::string*>{") ", &change.partName},
        {" [", &change.packageTag},
        {"]: ", &change.oldReference},
        {" -> ", &change.newReference}}) {
    line += before;
    AppendPrintable(line, *text);
  }
  if (change.oldBlock != change.newBlock) {
    line += ", block ";
    AppendNumber(line, change.oldBlock);
    line += " -> ";
    AppendNumber(line, change.newBlock);
  }
}

}  // namespace kerro
