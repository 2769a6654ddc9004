#pragma once
// The files of a design: one schematic, or several numbered as one (as if they were the
// sections of one file, in the order given). Every file is loaded before any is numbered,
// and numbered before any is written. Then the files are replaced one by one, each safely
// with its own backup (see safe_save.h); a failure stops the rest, and the result names
// which files were replaced and which were left as they were.

#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "platform/file_system.h"
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
  std::string failedBecause;                 // and why (SchematicDocument::loadError)

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

// The same for files that one call names to be numbered each on its own: each is read in
// turn, and only its section count is kept. A file that cannot be read is passed over.
std::optional<std::pair<std::string, std::string>> FindSharedFile(
    FileSystem& fileSystem, std::span<const std::string> paths);

struct DesignSave {
  std::vector<std::string> replaced;  // in order
  std::vector<std::string> left;      // the failed file first, then those not tried
  bool ok() const { return left.empty(); }
};

// Replaces each file whose `toWrite` is true with its document in turn, keeping its
// previous content under its backup name, and stops at the first failure. A read-only file
// (MayReplace) is found before any file is replaced, and then none is. A file not written
// is neither replaced nor left.
DesignSave SaveDesign(FileSystem& fileSystem, const LoadedDesign& loaded,
                      const std::vector<bool>& toWrite);

}  // namespace kerro
