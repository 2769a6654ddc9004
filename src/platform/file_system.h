#pragma once
// Every file operation of the program goes through this interface, so that tests can
// inject a failure at any step without touching the disk. Only the programs' `main`
// functions create the real file system and pass it down.
//
// Temporary files are written beside the file they will replace, under a short name of
// at most 11 characters ("~" and six characters drawn from the target's file name, then
// ".KR" and a slot digit), so that every path that can be loaded leaves room for its
// temporaries (a Windows folder holds names of 12 characters at most past its 247).
// While a run writes a temporary it keeps it locked; the next run for the same target
// removes every temporary of that target that no one holds, those of killed runs. Where
// the system can (Linux), a temporary gets its name only once its bytes are written, so a
// run killed before then leaves nothing.
//
// What is on the disk once a call returns, should the power fail right after: a
// temporary's bytes and permission bits (writeTemporary, or flushTemporariesVerified
// after writeTemporaryUnflushed), a rename and a link, with the folder that holds the new
// name (for their unflushed forms, once flushFolderOf returns). A temporary's own name, a
// removal and writeFile's replacement of a file's bytes may still be lost. The safe save
// (renumber/safe_save.h) relies on exactly this, and the crash model
// (testing/crash_model_file_system.h) gives a power loss no more than this.

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kerro {

// A temporary file and the bytes written to it.
struct TemporaryBytes {
  std::string path;
  std::span<const uint8_t> bytes;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // Reads the whole file while holding it exclusively, so that no other process can write
  // it meanwhile. Returns nullopt if the file cannot be opened, locked or read in full.
  virtual std::optional<std::vector<uint8_t>> readFile(const std::string& path) = 0;

  // Reads the whole file while other readers may hold it too, as the editor's own tools
  // read its text files. Returns nullopt if the file cannot be opened or read in full.
  virtual std::optional<std::vector<uint8_t>> readFileShared(const std::string& path) = 0;

  // Creates or truncates `path`, writes `bytes` and flushes them to the disk. Returns false
  // if any of that fails; the file may then exist with partial content.
  virtual bool writeFile(const std::string& path, std::span<const uint8_t> bytes) = 0;

  // Creates `path`, which must not exist, gives it the permission bits (read, write,
  // execute for owner, group and others) of the file at `permissionsOf` where one is
  // there and files have such bits, writes `bytes` and flushes bytes and bits together,
  // and keeps the file locked until it is renamed or removed through this file system
  // (or the process ends). Returns false, leaving no file of its own, if any of that
  // fails. Set-user-id, set-group-id and sticky bits are not carried over.
  virtual bool writeTemporary(const std::string& path, std::span<const uint8_t> bytes,
                              const std::string& permissionsOf) = 0;

  // writeTemporary, but the bytes and bits need not be on the disk yet: they are once
  // flushTemporariesVerified has returned true for the file. A save of many files flushes
  // them side by side. The default is writeTemporary itself, which flushes at once.
  virtual bool writeTemporaryUnflushed(const std::string& path, std::span<const uint8_t> bytes,
                                       const std::string& permissionsOf) {
    return writeTemporary(path, bytes, permissionsOf);
  }

  // Flushes each temporary (written by writeTemporaryUnflushed and still held) and
  // compares it with its bytes, as hasContent does. Returns true only once every one is
  // on the disk and holds exactly its bytes; on false the temporaries are still there, for
  // the caller to remove. A file system may flush the files side by side and compare
  // while the flushes are under way: both see the bytes the system holds for a file.
  virtual bool flushTemporariesVerified(std::span<const TemporaryBytes> temporaries);

  // Removes the file at `path` unless some process holds it locked. On POSIX an empty file
  // may be one that a run has just created and not locked yet: it is removed only once it
  // is older than kFreshTemporarySeconds (Windows holds a file from its creation). Returns
  // true if it was removed.
  virtual bool removeUnlessLocked(const std::string& path) = 0;

  // Returns false if the file could not be removed (also when it does not exist).
  virtual bool removeFile(const std::string& path) = 0;

  // Renames `from` to `to`, replacing a file at `to`. Returns false on failure.
  virtual bool renameFile(const std::string& from, const std::string& to) = 0;

  // renameFile and linkFile, but the new name may still be lost until flushFolderOf is
  // called for it: a save that moves many names in one folder flushes the folder once.
  // The defaults are renameFile and linkFile themselves, which flush at once.
  virtual bool renameFileUnflushed(const std::string& from, const std::string& to) {
    return renameFile(from, to);
  }
  virtual bool linkFileUnflushed(const std::string& from, const std::string& to) {
    return linkFile(from, to);
  }
  // Makes every name made or moved so far in the folder that holds `path` durable.
  virtual void flushFolderOf(const std::string& path) { (void)path; }

  virtual bool exists(const std::string& path) = 0;
  // Why `path` cannot be read, in words, after a read failed: "no such file", "is a
  // folder", "permission denied", "held by another program". The default knows no more.
  virtual std::string whyUnreadable(const std::string& path) {
    (void)path;
    return "cannot be read";
  }

  // True if `first` and `second` name one existing file: the same path, another spelling of
  // it, or a link to it. The default compares the paths as they are written.
  virtual bool sameFile(const std::string& first, const std::string& second) {
    return first == second;
  }

  // The names in the folder `path` ("" for the current folder), "." and ".." left out, in
  // no particular order. Returns nullopt if the folder cannot be read, and where names
  // never need looking up by listing (the default: Windows folders ignore case already).
  virtual std::optional<std::vector<std::string>> listFolder(const std::string& path) {
    (void)path;
    return std::nullopt;
  }

  // True if the file at `path` can be read (exclusively, as readFile) and holds exactly
  // `bytes`. A file system may compare piece by piece, without a second copy in memory.
  virtual bool hasContent(const std::string& path, std::span<const uint8_t> bytes) {
    const auto content = readFile(path);
    return content && std::equal(content->begin(), content->end(), bytes.begin(), bytes.end());
  }

  // Gives the file at `from` the further name `to`, which must not exist, so that both
  // names hold the same file. Returns false on failure and where the file system has no
  // such links (the default).
  virtual bool linkFile(const std::string& from, const std::string& to) {
    (void)from;
    (void)to;
    return false;
  }

  // The path of the file that `path` names once every symbolic link on the way is
  // followed (a chain of links, with relative or absolute targets): a save replaces that
  // file and leaves the links as they are. Returns `path` unchanged where nothing is there
  // to follow, and where the file system has no symbolic links (the default).
  virtual std::string resolveLinks(const std::string& path) { return path; }

  // True if a file is at `path` that its user has marked as not to be changed: on POSIX,
  // one that the user may not write, or that grants no one write permission (root may
  // write any file, yet such a file is still meant to stay as it is). A rename replaces a
  // file without asking for write permission on it, so the save refuses such a file.
  // False where nothing is there, and where the system itself keeps a read-only file from
  // being replaced (the default; Windows).
  virtual bool isReadOnly(const std::string& path) {
    (void)path;
    return false;
  }

  // Puts `replacement` at `target` and the file now at `target` at `backup`, replacing
  // what is there; the save calls it where the file system has no links. The default
  // renames `target` over `backup`, then `replacement` over `target`: in between no file
  // is at `target` (the previous content is whole at `backup`). When the second rename
  // fails, the previous content is put back at `target` if it can be. Windows does both
  // in one call. Returns false on failure; `replacement` may then still be there.
  virtual bool replaceWithBackup(const std::string& replacement, const std::string& target,
                                 const std::string& backup);

  // Creates the folder at `path` and every missing folder above it, as the user's own
  // settings folder may need. Returns true if the folder is there afterwards, false if it
  // could not be made (or a file of that name is in the way), and false where the file
  // system makes no folders (the default).
  virtual bool createFolders(const std::string& path) {
    (void)path;
    return false;
  }

  // True where the system's own profile functions read and write INI files on this file
  // system: the real one on Windows.
  virtual bool hasSystemProfiles() const { return false; }

  // Replaces the file at `path` with `bytes` through a temporary beside it, so that a
  // failed write leaves the previous file whole. Returns false on failure.
  bool replaceFile(const std::string& path, std::span<const uint8_t> bytes);
};

// The file system of the machine, with this platform's locking rules.
std::unique_ptr<FileSystem> CreateRealFileSystem();

inline constexpr int kTemporarySlots = 8;

// How long an empty temporary may belong to a run that has created it and not yet locked
// it. Older ones were left by a run that died.
inline constexpr int kFreshTemporarySeconds = 10;

// The name of temporary `slot` (0 to kTemporarySlots - 1) for `target`, in its folder.
std::string TemporaryName(const std::string& target, int slot);

// Removes the temporaries for `target` that no one holds and returns the first free name,
// or nullopt when live runs hold every slot.
std::optional<std::string> FreeTemporaryName(FileSystem& fileSystem, const std::string& target);

}  // namespace kerro
