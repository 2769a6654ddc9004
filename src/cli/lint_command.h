#pragma once
// kerro-cli --lint: checks the annotation of schematic files and writes nothing.
//
// One line per finding, in file order:
//   FILE: section S at (X, Y) PART [TAG] REF block B: FINDING: DETAIL
//   FILE: library fails to load: "LIBPATH"
// and with --report the same findings as CSV (RFC 4180 quoting, CR LF line ends):
//   file,section,x,y,part,tag,reference,block,finding,detail
// where a library that fails to load leaves section to block empty and gives its path as
// the detail.

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/change_report.h"
#include "cli/cli.h"
#include "cli/machine_output.h"

namespace kerro {

struct LintRequest {
  std::vector<std::string> files;
  // Check the parts against the libraries listed in TOSK.INI, as library-guided
  // numbering loads them.
  bool withLibraries = false;
  // Where a listed library not found at its path is looked for by file name.
  std::vector<std::string> libraryFolders = {};
  // All files as one design, so that a reference is checked across them; otherwise each
  // file on its own.
  bool together = false;
  // --sheet-base in use: a package must not span two sheets.
  bool sheetRanges = false;
  bool quiet = false;
  // The CSV's path, "-" for standard output; empty for none.
  std::string report;
  // Text lines, or one JSON document, workflow commands, a SARIF log.
  OutputFormat format = OutputFormat::Text;
};

// Returns the exit status: 3 if the report could not be written, else 1 if a file could
// not be read, else 5 if there is any finding, else 0.
int RunLint(const LintRequest& request, const TextShown& shown, CliEnvironment& environment);

}  // namespace kerro
