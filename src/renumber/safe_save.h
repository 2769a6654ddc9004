#pragma once
// Replacing a schematic on disk without ever losing its previous content.
//
// Order of the file operations:
//   1. every output file (the path and, for several sections, path-01, path-02 ...) is
//      written to a temporary file beside it, with the permission bits of the file it
//      replaces; once all are written they are flushed to disk (side by side where the
//      file system can) and read back for comparison;
//   2. where the file system has links (POSIX; NTFS), every output file that replaces a
//      file is linked to a temporary name that is then renamed over its own backup name
//      (path -> backupPath, path-01 -> backupPath-01 ...), so the target keeps its file;
//   3. the temporaries are renamed into place, the later sections first, so that the path
//      receives new content only when everything else is done.
//   The names of steps 2 and 3 are flushed once per step rather than once per name (they
//   all lie in two folders at most): the backups before any target changes, the later
//   sections before the path.
//   Without links, steps 2 and 3 become one replaceWithBackup per file (two renames, or
//   ReplaceFile on Windows), the path first: between its two renames a file's previous
//   content is at its backup name only (see docs/RELIABILITY.md).
// A failure in step 1 or 2 leaves every target untouched. A failure in step 3 leaves the
// target that failed, and those not yet done (with links the path among them), with
// their previous content. Every temporary file is removed on failure. A read-only file is refused
// before step 1.
//
// With links, a power loss at any moment leaves a whole file at each target (its previous
// content or the new one) and at each backup name (the old backup or the target's previous
// content), with the permission bits that go with those bytes. Temporaries have short
// names and stay locked while they are written (see file_system.h): two runs on one file
// at once never write into each other's temporaries, and the next save of a file removes
// those a killed run left.

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
// file it replaces; a new section file those of the file at `path`. A section file that
// is there already keeps its previous content at its own backup name.
bool SaveWithBackup(FileSystem& fileSystem, const SchematicDocument& document,
                    const std::string& path, const std::string& backupPath);

}  // namespace kerro
