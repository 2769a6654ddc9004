#include "cli/change_report.h"

#include <cstdio>

namespace kerro {

std::string CsvField(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
    return std::string(text);
  }
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') {
      quoted += '"';
    }
    quoted += c;
  }
  quoted += '"';
  return quoted;
}

std::string FormatChangesCsv(const std::vector<FileChanges>& files) {
  std::string csv = "file,section,x,y,part,tag,old_reference,new_reference,old_block,new_block\r\n";
  for (const FileChanges& file : files) {
    for (const ComponentChange& change : file.changes) {
      csv += CsvField(file.path);
      for (const std::string& field :
           {std::to_string(change.section + 1), std::to_string(change.x), std::to_string(change.y),
            CsvField(change.partName), CsvField(change.packageTag), CsvField(change.oldReference),
            CsvField(change.newReference), std::to_string(change.oldBlock),
            std::to_string(change.newBlock)}) {
        csv += ',';
        csv += field;
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
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
      shown += escaped;
    } else {
      shown += c;
    }
  }
  return shown;
}

std::string DescribeChange(const std::string& path, const ComponentChange& change) {
  std::string line = Printable(path) + ": section " + std::to_string(change.section + 1) + " at (" +
                     std::to_string(change.x) + ", " + std::to_string(change.y) + ") " +
                     Printable(change.partName) + " [" + Printable(change.packageTag) +
                     "]: " + Printable(change.oldReference) + " -> " +
                     Printable(change.newReference);
  if (change.oldBlock != change.newBlock) {
    line += ", block " + std::to_string(change.oldBlock) + " -> " + std::to_string(change.newBlock);
  }
  return line;
}

}  // namespace kerro
