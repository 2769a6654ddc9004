#pragma once
// A power-loss model of a disk, for testing that a save never loses a byte.
//
// The disk holds names that point to files (so that a file may have several names); a
// file has bytes, permission bits and a time of its last change. CrashModelFileSystem
// works on such a disk as the POSIX file system works on a real one, call for call, and
// logs every operation that changes it: creating a name, writing bytes, setting bits,
// renaming, linking, removing, and flushing a file or a folder.
//
// What a power loss may leave (ForEachCrashState): the disk as it was before the first
// logged operation, with the operations done so far applied in their order, except that
// each operation not yet made durable may be lost, independently of the others. Bytes and
// bits of a file are durable once that file is flushed; a name (created, renamed, linked,
// removed) once its folder is. A write that may be lost may also have reached the disk
// half done. This is more than most file systems would do, never less: a save that keeps
// its promises here keeps them on any disk that honours its flushes.
//
// The model follows FileSystem's own promise of durability (platform/file_system.h):
// writeTemporary flushes the file (writeTemporaryUnflushed leaves that to
// flushTemporariesVerified), renameFile and linkFile flush the folder of the new
// name, their unflushed forms leave that to flushFolderOf, removals are not flushed. Locks are
// those of this one process: a temporary it wrote is held until renamed or removed; after a power
// loss nothing is held.

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace kerro::testing {

struct DiskFile {
  std::vector<uint8_t> bytes;
  uint32_t mode = 0644;
  int64_t changedAt = 0;  // seconds on the model's clock
};

struct DiskState {
  std::map<std::string, int> names;  // path -> file
  std::map<int, DiskFile> files;
  int nextFile = 1;

  const DiskFile* at(const std::string& path) const;
  std::optional<std::vector<uint8_t>> content(const std::string& path) const;
  // Adds or replaces the file at `path`.
  void put(const std::string& path, std::vector<uint8_t> bytes, uint32_t mode = 0644,
           int64_t changedAt = 0);
  // The names and what they hold, for telling states apart and for messages.
  std::string describe() const;
};

enum class DiskOperationKind {
  Create,
  Write,
  SetMode,
  FlushFile,
  Rename,
  Link,
  Remove,
  FlushFolder
};

struct DiskOperation {
  DiskOperationKind kind = DiskOperationKind::Create;
  std::string path;       // the name; for Rename and Link the old one; for FlushFolder the folder
  std::string otherPath;  // Rename and Link: the new name
  int file = 0;           // Create, Write, SetMode, FlushFile
  std::vector<uint8_t> bytes;
  uint32_t mode = 0;
  int64_t at = 0;
};

class CrashModelFileSystem final : public FileSystem {
 public:
  explicit CrashModelFileSystem(DiskState start, bool hasLinks = true, int64_t now = 1000);

  std::optional<std::vector<uint8_t>> readFile(const std::string& path) override;
  std::optional<std::vector<uint8_t>> readFileShared(const std::string& path) override;
  bool writeFile(const std::string& path, std::span<const uint8_t> bytes) override;
  bool writeTemporary(const std::string& path, std::span<const uint8_t> bytes,
                      const std::string& permissionsOf) override;
  bool writeTemporaryUnflushed(const std::string& path, std::span<const uint8_t> bytes,
                               const std::string& permissionsOf) override;
  bool flushTemporariesVerified(std::span<const TemporaryBytes> temporaries) override;
  bool removeUnlessLocked(const std::string& path) override;
  bool removeFile(const std::string& path) override;
  bool renameFile(const std::string& from, const std::string& to) override;
  bool linkFile(const std::string& from, const std::string& to) override;
  bool renameFileUnflushed(const std::string& from, const std::string& to) override;
  bool linkFileUnflushed(const std::string& from, const std::string& to) override;
  void flushFolderOf(const std::string& path) override;
  bool exists(const std::string& path) override;
  bool sameFile(const std::string& first, const std::string& second) override;
  bool isReadOnly(const std::string& path) override;
  std::optional<std::vector<std::string>> listFolder(const std::string& path) override;

  // The disk as a reader sees it now.
  const DiskState& state() const { return state_; }
  // The operations that changed it, in order.
  const std::vector<DiskOperation>& log() const { return log_; }
  // Moves the clock on; each operation also moves it by one second.
  void wait(int64_t seconds) { now_ += seconds; }

 private:
  void record(DiskOperation operation);

  DiskState state_;
  bool hasLinks_;
  int64_t now_;
  std::vector<DiskOperation> log_;
  std::map<std::string, int> held_;  // temporaries this process holds, by name
};

// Applies one operation to a disk; `half` stores only the first half of a write.
void ApplyDiskOperation(DiskState& state, const DiskOperation& operation, bool half = false);

// True if, once the last of `operations` is done, a power loss can lose no operation but
// a removal (which FileSystem never flushes).
bool OnlyRemovalsMayBeLost(std::span<const DiskOperation> operations);

// Calls `visit` once for each distinct state that a power loss after each prefix of
// `operations` (none, the first, the first two ... all) can leave on the disk that was
// `start`. `visit` gets the state and the number of operations done. Returns the number
// of distinct states, or -1 when some moment has more than `maxPending` operations that
// may be lost (too many states to try).
int ForEachCrashState(const DiskState& start, std::span<const DiskOperation> operations,
                      const std::function<void(const DiskState&, size_t done)>& visit,
                      int maxPending = 16);

}  // namespace kerro::testing
