#include "renumber/safe_save.h"

#include <optional>
#include <vector>

namespace kerro {

namespace {

// One file that the save writes: a section's file, its temporary and its backup name.
struct PendingFile {
  std::string target;
  std::string backup;
  std::string temporary;
  bool replaces = false;  // a file is at `target` now, and goes to `backup`
};

void RemoveTemporaries(FileSystem& fileSystem, const std::vector<PendingFile>& files) {
  for (const PendingFile& file : files) {
    if (!file.temporary.empty() && fileSystem.exists(file.temporary)) {
      fileSystem.removeFile(file.temporary);
    }
  }
}

// Writes the bytes, with the permission bits of the file it replaces (of `model` where
// nothing is there yet), to a temporary beside the target; they are flushed and read back
// once every file is written.
bool WriteTemporary(FileSystem& fileSystem, const std::string& model,
                    std::span<const uint8_t> bytes, PendingFile& file) {
  std::optional<std::string> temporary = FreeTemporaryName(fileSystem, file.target);
  file.replaces = fileSystem.exists(file.target);
  if (!temporary ||
      !fileSystem.writeTemporaryUnflushed(*temporary, bytes, file.replaces ? file.target : model)) {
    return false;
  }
  file.temporary = std::move(*temporary);
  return true;
}

// Links the target to a free temporary name beside its backup. Returns the name, or
// nullopt when live runs hold every name or another run keeps taking them, and an empty
// name where the file system has no links.
std::optional<std::string> LinkToTemporary(FileSystem& fileSystem, const PendingFile& file) {
  bool failedOnAFreeName = false;
  for (int attempt = 0; attempt < kTemporarySlots; ++attempt) {
    std::optional<std::string> name = FreeTemporaryName(fileSystem, file.backup);
    if (!name) {
      return std::nullopt;
    }
    if (fileSystem.linkFileUnflushed(file.target, *name)) {
      return name;
    }
    // Another run may have taken the name and renamed it away again: only a second
    // failure on a name that nobody holds says that the file system has no links.
    if (!fileSystem.exists(*name)) {
      if (failedOnAFreeName) {
        return std::string();
      }
      failedOnAFreeName = true;
    }
  }
  return std::nullopt;
}

// Gives the file at the target its backup name as a second name, so that the target
// keeps its file until the new content replaces it. Returns nullopt, having changed
// nothing, where the file system has no links. The new names are durable only once their
// folder is flushed.
std::optional<bool> LinkBackup(FileSystem& fileSystem, const PendingFile& file) {
  const std::optional<std::string> linked = LinkToTemporary(fileSystem, file);
  if (!linked) {
    return false;  // renaming instead is safe only for one run at a time
  }
  if (linked->empty()) {
    return std::nullopt;
  }
  if (!fileSystem.renameFileUnflushed(*linked, file.backup)) {
    fileSystem.removeFile(*linked);
    return false;
  }
  // A rename between two names of one file succeeds and changes nothing (the backup may
  // already be this file, linked by another run): the temporary name is then still there.
  if (fileSystem.exists(*linked)) {
    fileSystem.removeFile(*linked);
  }
  return true;
}

// Where the file system has links, every file the save replaces first gets its backup
// name as a second name; then the temporaries are renamed into place, the later sections
// first, so that the path receives new content only when everything else is done. No
// moment leaves a target or a backup name without a whole file. The names of one step
// share a folder, which is flushed once at the step's end: each backup name is durable
// before any target changes, and every section before the path. Returns nullopt, having
// changed nothing, where the file system has no links.
std::optional<bool> SaveWithLinks(FileSystem& fileSystem, const std::vector<PendingFile>& files) {
  bool linksChecked = false;
  for (const PendingFile& file : files) {
    if (!file.replaces) {
      continue;
    }
    const std::optional<bool> linked = LinkBackup(fileSystem, file);
    if (!linked) {
      return linksChecked ? std::optional(false) : std::nullopt;
    }
    if (!*linked) {
      return false;
    }
    linksChecked = true;
  }
  if (!linksChecked) {
    return std::nullopt;  // nothing to keep: a rename is as good
  }
  // Every section's name is its path's, or its backup's, with a number added.
  fileSystem.flushFolderOf(files.front().backup);
  for (size_t i = files.size(); i-- > 1;) {
    if (!fileSystem.renameFileUnflushed(files[i].temporary, files[i].target)) {
      fileSystem.flushFolderOf(files.front().target);
      return false;  // this target, and those not yet done, hold their previous content
    }
  }
  if (files.size() > 1) {
    fileSystem.flushFolderOf(files.front().target);
  }
  return fileSystem.renameFile(files.front().temporary, files.front().target);
}

// Without links each file goes to its backup name as its replacement takes its place;
// for each file the moment in between leaves its previous content at the backup name
// only (see replaceWithBackup). The path goes first: its backup name is the one another
// program most likely holds, and a held backup then stops the save before any file has
// changed.
bool SaveByRename(FileSystem& fileSystem, const std::vector<PendingFile>& files) {
  for (const PendingFile& file : files) {
    const bool placed = file.replaces
                            ? fileSystem.replaceWithBackup(file.temporary, file.target, file.backup)
                            : fileSystem.renameFile(file.temporary, file.target);
    if (!placed) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool MayReplace(FileSystem& fileSystem, const SchematicDocument& document,
                const std::string& path) {
  for (int i = 0; i < document.sectionCount(); ++i) {
    if (fileSystem.isReadOnly(SchematicDocument::SectionFileName(path, i))) {
      return false;
    }
  }
  return true;
}

bool SaveWithBackup(FileSystem& fileSystem, const SchematicDocument& document,
                    const std::string& path, const std::string& backupPath) {
  if (!document.isLoaded() || path == backupPath || !MayReplace(fileSystem, document, path)) {
    return false;
  }
  std::vector<PendingFile> files(static_cast<size_t>(document.sectionCount()));
  std::vector<TemporaryBytes> written;
  bool saved = true;
  for (int i = 0; i < document.sectionCount() && saved; ++i) {
    PendingFile& file = files[static_cast<size_t>(i)];
    file.target = SchematicDocument::SectionFileName(path, i);
    file.backup = SchematicDocument::SectionFileName(backupPath, i);
    saved = WriteTemporary(fileSystem, path, document.sectionBytes(i), file);
    if (saved) {
      written.push_back({file.temporary, document.sectionBytes(i)});
    }
  }
  // A disk can accept a write and still hold something else afterwards.
  saved = saved && fileSystem.flushTemporariesVerified(written);
  if (saved) {
    const std::optional<bool> linked = SaveWithLinks(fileSystem, files);
    saved = linked ? *linked : SaveByRename(fileSystem, files);
  }
  if (!saved) {
    RemoveTemporaries(fileSystem, files);
  }
  return saved;
}

}  // namespace kerro
