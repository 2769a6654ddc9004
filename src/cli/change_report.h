#pragma once
// The change list of kerro-cli, as lines for people and as CSV for programs.
//
// CSV (RFC 4180): the header row
//   file,section,x,y,part,tag,old_reference,new_reference,old_block,new_block
// then one row per changed component, in the order of the files and, within a file, of
// the components. `section` counts from 1; x and y are the positions stored in the record
// (without the 5000 per section). A field holding a comma, a double quote, CR or LF is
// enclosed in double quotes, with each double quote doubled. Rows end with CR LF. Texts
// are the file's bytes unless shown otherwise.

#include <array>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "renumber/component_changes.h"

namespace kerro {

// How a text of a schematic goes out: converted to UTF-8, or, where empty, as its bytes.
using TextShown = std::function<std::string(std::string_view)>;

// The texts of a change as they go out: part, tag, old and new reference.
class ShownTexts {
 public:
  ShownTexts(const ComponentChange& change, const TextShown& shown);
  const std::array<std::string_view, 4>& operator*() const { return views_; }

 private:
  std::array<std::string, 4> converted_;  // only where the texts are converted
  std::array<std::string_view, 4> views_;
};

// The whole CSV document, header row included.
std::string FormatChangesCsv(std::span<const FileChanges> files, const TextShown& shown = {});

// One field, quoted when it must be.
std::string CsvField(std::string_view text);

// Appends one line (without its end) describing a change for a terminal.
void AppendChangeLine(std::string& line, std::string_view path, const ComponentChange& change,
                      const TextShown& shown = {});

// The text with control characters shown as \xNN, so that a hostile file cannot send
// terminal control sequences.
std::string Printable(std::string_view text);

}  // namespace kerro
