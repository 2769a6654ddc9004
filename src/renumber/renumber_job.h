#pragma once
// The renumbering job: check the values, load the schematic, renumber it in memory, keep
// the previous content under the backup name and write the result under the path.
//
// Steps, in this order: initial (1 to 1000), step (1 to 20), an empty path (nothing is
// done), load, a path that is its own backup name (refused as a write error before any
// file is touched), renumber, safe save.
//
// Files are replaced safely (see safe_save.h): every output file is first written beside
// its target under a temporary name, flushed and read back; only then does the schematic
// get its backup name (as a second name where the file system has links, else by a rename)
// and each temporary is renamed into place.
// Any failure reports WriteError, leaves the previous content at the path or at the backup
// name and removes every temporary file. A read-only file (FileSystem::isReadOnly) is
// refused as a write error, untouched; the new files keep the permission bits of those
// they replace.
//
// A path that is a symbolic link (or a chain of them) is read and replaced where it leads:
// the backup is named after that file and made beside it, and the link stays a link.
// Messages name the path as given.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "library/library_set.h"
#include "platform/file_system.h"
#include "platform/paths.h"
#include "renumber/numbering.h"

namespace kerro {

class SchematicDocument;

enum class JobOutcome {
  InitialOutOfRange,  // message 103
  StepOutOfRange,     // message 104
  EmptyPath,          // nothing is shown
  ReadError,          // message 102 with the path
  WriteError,         // message 106 with the path
  OutOfNumbers,       // message 109 with the path and the prefix; nothing was written
  Finished,           // message 105
};

struct JobRequest {
  std::string path;
  int initial = 1;
  int step = 1;
  NumberingMode mode = NumberingMode::Plain;
  // False renumbers in memory only and touches no file (dry run, check).
  bool writeFiles = true;
  // True fills JobResult::changes.
  bool collectChanges = false;
  // An edit that runs on the loaded document instead of numbering (a was/is map, for
  // one); the rest of the job is the same. The range checks of initial and step stay.
  std::function<void(SchematicDocument&)> edit;
};

// One component whose reference or block the job changed.
struct ComponentChange {
  int section = 0;  // 0 for the first section
  int32_t x = 0;    // position on its sheet, as stored in the record
  int32_t y = 0;
  std::string partName;
  std::string packageTag;
  std::string oldReference;
  std::string newReference;
  int oldBlock = 0;
  int newBlock = 0;
};

struct JobResult {
  JobOutcome outcome = JobOutcome::Finished;
  // The path that a read or write error names.
  std::string errorPath;
  // Where a prefix ran out of numbers.
  std::optional<NumberShortage> shortage;
  // Components whose reference or block the job changed (or, without writeFiles, would
  // change), in file order. Filled only when the request asks for it.
  std::vector<ComponentChange> changes;
};

struct JobContext {
  FileSystem& fileSystem;
  LibraryErrorHandler onLibraryError;
  // Where a part library that TOSK.INI lists is looked for by its file name when it is not
  // found at the listed path (kerro-cli --lib-dir).
  std::vector<std::string> libraryFolders = {};
};

JobResult RenumberJob(const JobRequest& request, JobContext& context);

// Numbers a loaded design; in library-guided mode with the part libraries that the TOSK.INI
// found for `settingsPath` lists, loaded first and released at the end (a design without
// components loads none). Every job numbers through here.
std::optional<NumberShortage> NumberWithLibraries(std::span<SchematicDocument* const> design,
                                                  const DesignNumbering& numbering,
                                                  const std::string& settingsPath,
                                                  JobContext& context);

// The backup path of a schematic path: the first character after the extension's dot
// becomes "$" (SHEET.CE2 gives SHEET.$E2, A.X gives A.$); a path without extension, or
// with a lone dot, gets ".$". A path whose extension already starts with "$" is its own
// backup name. On Windows a double-byte first character is replaced whole.
std::string MakeBackupName(const std::string& path, PathStyle style = kNativePathStyle);

}  // namespace kerro
