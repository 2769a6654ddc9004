#pragma once
// Jobs over a design: one schematic file numbered with controls, or several numbered as
// one (as if they were the sections of one file, in the order given). Every file is loaded
// and numbered before any is written. Then the files are replaced one by one, each safely
// with its own backup (see safe_save.h); a failure stops the rest, and the result names
// which files were replaced and which were left as they were.

#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "platform/file_system.h"
#include "renumber/renumber_design.h"
#include "renumber/renumber_job.h"
#include "schematic/schematic_document.h"

namespace kerro {

// The files of a design, loaded.
struct LoadedDesign {
  std::vector<std::string> paths;  // as given; messages name these
  // The files read and replaced: each path with its symbolic links followed, so that a
  // link stays a link and its target, with the backup and temporaries beside it, changes.
  std::vector<std::string> files;
  std::vector<SchematicDocument> documents;  // one per path that loaded, in order
  std::string failedPath;                    // the first file that could not be read

  bool complete() const { return failedPath.empty(); }
  // The documents, for a pass over all of them.
  std::vector<SchematicDocument*> design();
};

// Loads every file, in order, and stops at the first one that cannot be read. Every job
// loads through here: this is where a path given through a link becomes its target.
LoadedDesign LoadDesign(FileSystem& fileSystem, std::span<const std::string> paths);

// Two files of the design whose outputs would meet: a section file or backup name of one
// is a file or backup name of the other. Nothing may be written then.
std::optional<std::pair<std::string, std::string>> FindSharedFile(const LoadedDesign& loaded);

struct DesignSave {
  std::vector<std::string> replaced;  // in order
  std::vector<std::string> left;      // the failed file first, then those not tried
  bool ok() const { return left.empty(); }
};

// Replaces each file with its document in turn, keeping its previous content under its
// backup name, and stops at the first failure. A read-only file (MayReplace) is found
// before any file is replaced, and then none is.
DesignSave SaveDesign(FileSystem& fileSystem, const LoadedDesign& loaded);

enum class DesignOutcome {
  Finished,
  ReadError,     // `errorPath` could not be read; nothing was written
  WriteError,    // `errorPath` could not be written; see `save`
  OutOfNumbers,  // see `shortage`; nothing was written
  SharedFile,    // see `sharedFile`; nothing was written
};

struct DesignRequest {
  std::vector<std::string> paths;  // each once
  DesignNumbering numbering;
  bool writeFiles = true;  // false numbers in memory only
  bool collectChanges = false;
};

struct DesignResult {
  DesignOutcome outcome = DesignOutcome::Finished;
  std::string errorPath;
  std::optional<NumberShortage> shortage;
  std::optional<std::pair<std::string, std::string>> sharedFile;
  DesignSave save;
  // Per path, in order, when asked for: the components whose reference or block changed.
  std::vector<std::vector<ComponentChange>> changes;
};

// Library-guided numbering reads the TOSK.INI found for the first file.
DesignResult RenumberDesignJob(const DesignRequest& request, JobContext& context);

}  // namespace kerro
