#include "renumber/safe_save.h"

#include <optional>
#include <vector>

namespace kerro {

namespace {

struct PendingFile {
  std::string target;
  std::string temporary;
};

void RemoveTemporaries(FileSystem& fileSystem, const std::vector<PendingFile>& files) {
  for (const PendingFile& file : files) {
    if (fileSystem.exists(file.temporary)) {
      fileSystem.removeFile(file.temporary);
    }
  }
}

// Writes and flushes the bytes to a temporary beside `target`, gives it the permission
// bits of the file it replaces (of `model` where nothing is there yet), then reads them
// back: a disk can accept a write and still hold something else afterwards. Adds the
// temporary to `files` once it exists.
bool WriteVerified(FileSystem& fileSystem, const std::string& target, const std::string& model,
                   std::span<const uint8_t> bytes, std::vector<PendingFile>& files) {
  std::optional<std::string> temporary = FreeTemporaryName(fileSystem, target);
  if (!temporary || !fileSystem.writeTemporary(*temporary, bytes)) {
    return false;
  }
  files.push_back({target, std::move(*temporary)});
  const std::string& permissionsFrom = fileSystem.exists(target) ? target : model;
  return fileSystem.copyPermissions(permissionsFrom, files.back().temporary) &&
         fileSystem.hasContent(files.back().temporary, bytes);
}

// Renames every temporary into place, the later sections first: the path itself is the
// last name to receive new content.
bool RenameIntoPlace(FileSystem& fileSystem, const std::vector<PendingFile>& files) {
  for (size_t i = files.size(); i-- > 0;) {
    if (!fileSystem.renameFile(files[i].temporary, files[i].target)) {
      return false;
    }
  }
  return true;
}

// Links the schematic to a free temporary name beside its backup. Returns the name, or
// nullopt when live runs hold every name or another run keeps taking them, and an empty
// name where the file system has no links.
std::optional<std::string> LinkToTemporary(FileSystem& fileSystem, const std::string& path,
                                           const std::string& backupPath) {
  bool failedOnAFreeName = false;
  for (int attempt = 0; attempt < kTemporarySlots; ++attempt) {
    std::optional<std::string> name = FreeTemporaryName(fileSystem, backupPath);
    if (!name) {
      return std::nullopt;
    }
    if (fileSystem.linkFile(path, *name)) {
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

// Where the file system has links, the schematic gets its backup name as a second name
// and keeps its path until the new content replaces it: no moment leaves the path, or the
// backup name, without a whole file. Returns nullopt, having changed nothing, where the
// file system has no links.
std::optional<bool> SaveWithLink(FileSystem& fileSystem, const std::string& path,
                                 const std::string& backupPath,
                                 const std::vector<PendingFile>& files) {
  const std::optional<std::string> backupTemporary = LinkToTemporary(fileSystem, path, backupPath);
  if (!backupTemporary) {
    return false;  // renaming instead is safe only for one run at a time
  }
  if (backupTemporary->empty()) {
    return std::nullopt;
  }
  if (!fileSystem.renameFile(*backupTemporary, backupPath)) {
    fileSystem.removeFile(*backupTemporary);
    return false;
  }
  // A rename between two names of one file succeeds and changes nothing (the backup may
  // already be this file, linked by another run): the temporary name is then still there.
  if (fileSystem.exists(*backupTemporary)) {
    fileSystem.removeFile(*backupTemporary);
  }
  // On failure the path still holds the previous content, as does the backup.
  return RenameIntoPlace(fileSystem, files);
}

// Without links the schematic is renamed to its backup name first.
bool SaveByRename(FileSystem& fileSystem, const std::string& path, const std::string& backupPath,
                  const std::vector<PendingFile>& files) {
  // A backup that exists but cannot be removed would make the rename below replace it or
  // fail depending on the system; stop while the schematic is still untouched.
  if (fileSystem.exists(backupPath) && !fileSystem.removeFile(backupPath)) {
    return false;
  }
  if (!fileSystem.renameFile(path, backupPath)) {
    return false;
  }
  if (!RenameIntoPlace(fileSystem, files)) {
    // The path is still free here: put the previous content back first.
    fileSystem.renameFile(backupPath, path);
    return false;
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
  std::vector<PendingFile> files;
  bool saved = true;
  for (int i = 0; i < document.sectionCount() && saved; ++i) {
    const std::string target = SchematicDocument::SectionFileName(path, i);
    saved = WriteVerified(fileSystem, target, path, document.sectionBytes(i), files);
  }
  if (saved) {
    const std::optional<bool> linked = SaveWithLink(fileSystem, path, backupPath, files);
    saved = linked ? *linked : SaveByRename(fileSystem, path, backupPath, files);
  }
  if (!saved) {
    RemoveTemporaries(fileSystem, files);
  }
  return saved;
}

}  // namespace kerro
