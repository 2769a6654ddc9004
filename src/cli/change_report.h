#pragma once
// The change list of kerro-cli, as lines for people and as CSV for programs.
//
// CSV (RFC 4180): the header row
//   file,section,x,y,part,tag,old_reference,new_reference,old_block,new_block
// then one row per changed component, in the order of the files and, within a file, of
// the components. `section` counts from 1; x and y are the positions stored in the record
// (without the 5000 per section). A field holding a comma, a double quote, CR or LF is
// enclosed in double quotes, with each double quote doubled. Rows end with CR LF. Texts
// are the file's bytes unless converted with ShowTexts first.

#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "renumber/component_changes.h"

namespace kerro {

// The whole CSV document, header row included.
std::string FormatChangesCsv(std::span<const FileChanges> files);

// One field, quoted when it must be.
std::string CsvField(std::string_view text);

// Appends one line (without its end) describing a change for a terminal.
void AppendChangeLine(std::string& line, std::string_view path, const ComponentChange& change);

// Replaces the texts of each change (part, tag, references) by what `shown` makes of them.
void ShowTexts(std::vector<ComponentChange>& changes,
               const std::function<std::string(std::string_view)>& shown);

// The text with control characters shown as \xNN, so that a hostile file cannot send
// terminal control sequences.
std::string Printable(std::string_view text);

}  // namespace kerro
