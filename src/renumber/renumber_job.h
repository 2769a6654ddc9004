#pragma once
// The renumbering job, the one that every front end and every option runs: check the
// values, load the schematic (or the files of a design, numbered as one), renumber in
// memory, keep the previous content under the backup name and write the result under the
// path.
//
// Steps, in this order: initial (1 to 1000), step (1 to 20), an empty path (nothing is
// done), load every file, a file that is its own backup name (refused as a write error
// before any file is touched), files whose outputs would meet, renumber (or the request's
// edit), safe save of each file in turn.
//
// Files are replaced safely (see safe_save.h): every output file is first written beside
// its target under a temporary name, flushed and read back; only then does the schematic
// get its backup name (as a second name where the file system has links, else by a rename)
// and each temporary is renamed into place.
// Any failure reports WriteError, leaves the previous content at the path or at the backup
// name and removes every temporary file. A read-only file (FileSystem::isReadOnly) is
// refused as a write error, untouched; the new files keep the permission bits of those
// they replace. A prefix that runs out of numbers stops the job before anything is
// written.
//
// A path that is a symbolic link (or a chain of them) is read and replaced where it leads:
// the backup is named after that file and made beside it, and the link stays a link.
// Messages name the path as given.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "library/library_set.h"
#include "platform/file_system.h"
#include "renumber/backup_name.h"
#include "renumber/component_changes.h"
#include "renumber/design_files.h"
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
  SharedFile,         // two files of the design would write one file; nothing was written
  Finished,           // message 105
};

// What a job did, or without writeFiles would do, to one file of its design.
struct FileSummary {
  std::string path;  // as given
  int sections = 1;  // the file is written as path, path-01, ... for several
  size_t referencesChanged = 0;
  size_t blocksChanged = 0;
  bool written = false;
};

// A design as the job holds it once it is numbered (or edited), before anything is saved:
// what a preview of the run draws. Valid only during the call that receives it.
struct NumberedDesign {
  std::span<const std::string> paths;  // as given, one per document
  std::span<const SchematicDocument> documents;
  // Per document: the reference and block each component held before the run.
  std::span<const ChangeRecorder> before;
  NumberingMode mode = NumberingMode::Plain;
  const NumberingControls* controls = nullptr;
};

struct JobRequest {
  // The schematic; with `together`, the first file of the design.
  std::string path;
  int initial = 1;
  int step = 1;
  NumberingMode mode = NumberingMode::Plain;
  // False renumbers in memory only and touches no file (dry run, check).
  bool writeFiles = true;
  // True fills JobResult::changes.
  bool collectChanges = false;
  // True fills JobResult::summaries.
  bool summarize = false;
  // An edit that runs on the loaded document instead of numbering (a was/is map, for
  // one); the rest of the job is the same. The range checks of initial and step stay.
  std::function<void(SchematicDocument&)> edit;
  // kerro-cli's numbering controls; off, numbering is the dialog's.
  NumberingControls controls;
  // Further files numbered with `path` as one design, in this order, each once.
  std::vector<std::string> together;
  // Called once the design is numbered (or edited) and before anything is saved, also
  // without writeFiles. A job that stops before (a prefix out of numbers) does not call it.
  std::function<void(const NumberedDesign&)> inspect;
  // With writeFiles and collectChanges: called with the change list once it is made and
  // before any file is touched, so that a record of the run can reach the disk first
  // (kerro-cli's report). Returns nullopt to go on, or the path of a file it could not
  // write: the job then stops there as a write error naming that path.
  std::function<std::optional<std::string>(std::span<const FileChanges>)> beforeWrite;
};

struct JobResult {
  JobOutcome outcome = JobOutcome::Finished;
  // The path that a read or write error names.
  std::string errorPath;
  // Why a read error happened, in words (SchematicDocument::loadError): kerro-cli adds it
  // to the message.
  std::string errorCause;
  // Components whose reference or block the job changed (or, without writeFiles, would
  // change), per file in the order of the design. Filled only when the request asks.
  std::vector<FileChanges> changes;
  // Where a prefix ran out of numbers.
  std::optional<NumberShortage> shortage;
  // Two files whose outputs would meet.
  std::optional<std::pair<std::string, std::string>> sharedFile;
  // The files the job wrote, or without writeFiles would write, as given: those whose
  // references or blocks change, and every file of several sections, which the save splits.
  // A file that would not change is not written at all, so its backup stays as it was.
  std::vector<std::string> written;
  // Which files were replaced and which were left as they were.
  DesignSave save;
  // Per file of the design, in order, when the request asks.
  std::vector<FileSummary> summaries;
};

struct JobContext {
  FileSystem& fileSystem;
  LibraryErrorHandler onLibraryError;
  // Where a part library that TOSK.INI lists is looked for by its file name when it is not
  // found at the listed path (kerro-cli --lib-dir).
  std::vector<std::string> libraryFolders = {};
  // A part library that cannot be loaded stops the job before anything is written, as a
  // read error naming the library and why (kerro-cli); otherwise it is reported to
  // onLibraryError and numbering goes on without libraries (the dialog).
  bool libraryFailureStops = false;
};

JobResult RenumberJob(const JobRequest& request, JobContext& context);

// A request to number `files` (the first, then the others as one design) as `numbering`
// says; everything else as JobRequest's defaults.
JobRequest NumberingRequest(std::span<const std::string> files, const DesignNumbering& numbering);

// Numbers a loaded design; in library-guided mode with the part libraries that the TOSK.INI
// found for `settingsPath` lists, loaded first and released at the end (a design without
// components loads none).
struct LibraryNumbering {
  std::optional<NumberShortage> shortage;
  // With JobContext::libraryFailureStops: the library that could not be loaded; nothing
  // was numbered then.
  std::optional<LibrarySet::LibraryFailure> libraryFailure;
};
LibraryNumbering NumberWithLibraries(std::span<SchematicDocument* const> design,
                                     const DesignNumbering& numbering,
                                     const std::string& settingsPath, JobContext& context,
                                     std::vector<DocumentChanges>* changedDocuments = nullptr);

}  // namespace kerro
