#pragma once
// Replacing a schematic on disk without ever losing its previous content.
//
// Order of the file operations:
//   1. every output file (the path and, for several sections, path-01, path-02 ...) is
//      written to a temporary file beside it, flushed to disk and read back for comparison;
//   2. where the file system has links (POSIX), the schematic is linked to a temporary
//      name that is then renamed over the backup name, so the path keeps its file; where
//      it has none, the old backup is removed and the schematic renamed to its backup name;
//   3. the temporaries of the later sections are renamed into place, the first section's
//      last, so that the path receives new content only when everything else is done.
// A failure in step 1 or 2 leaves the schematic untouched. A failure in step 3 leaves the
// previous content at the path (with links) or moves the backup back to the path where it
// can; if that fails too, the previous content stays at the backup name. Every temporary
// file is removed on failure. A read-only file is refused before step 1.
//
// With links, a process killed at any moment leaves a whole file at the path (the previous
// content or the new one) and at the backup name (the old backup or the previous content).
// Temporaries have short names and stay locked while they are written (see
// file_system.h): two runs on one file at once never write into each other's
// temporaries, and the next save of a file removes those a killed run left.

#include <string>

#include "platform/file_system.h"
#include "schematic/schematic_document.h"

namespace kerro {

// False if a file that saving the document under `path` would replace (the path, or a
// later section's file) is read-only (see FileSystem::isReadOnly).
bool MayReplace(FileSystem& fileSystem, const SchematicDocument& document, const std::string& path);

// Saves the loaded document under `path`, keeping the file now at `path` under
// `backupPath`, which must differ from `path`. Returns false on any failure, and before
// touching any file where the document may not replace its files (MayReplace).
// `path` names the file itself, not a symbolic link to it (FileSystem::resolveLinks):
// a link there would be replaced by a file. Each new file gets the permission bits of the
// file it replaces; a new section file those of the file at `path`.
bool SaveWithBackup(FileSystem& fileSystem, const SchematicDocument& document,
                    const std::string& path, const std::string& backupPath);

}  // namespace kerro
