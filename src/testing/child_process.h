#pragma once
// Other processes for tests on the real disk: a holder of a file lock, and a child process
// in which limits (file size, an unprivileged user) apply without touching the test runner.
// Only POSIX systems have them so far; elsewhere ChildProcessesSupported() is false and the
// tests that need them skip.

#include <cstdint>
#include <functional>
#include <string>

namespace kerro::testing {

bool ChildProcessesSupported();

// Runs `body` in a child process and returns the child's exit status, or -1 if it could not
// be started or did not exit normally. The child leaves with _exit, so no destructor of the
// parent's objects runs in it.
int RunInChildProcess(const std::function<int()>& body);

// For the child process: ignore SIGXFSZ and let no file grow past `bytes`, so that a write
// beyond fails as on a full disk. Returns false if the limit cannot be set.
bool LimitFileSize(uint64_t bytes);

bool RunningAsRoot();

// For the child process: become the unprivileged user "nobody" if running as root, so that
// folder permissions apply. Returns false if that fails; true at once when not root.
bool DropRootPrivileges();

// Another process holds an exclusive lock on a file for the lifetime of this object.
class FileLockedByChild {
 public:
  explicit FileLockedByChild(const std::string& path);
  FileLockedByChild(const FileLockedByChild&) = delete;
  FileLockedByChild& operator=(const FileLockedByChild&) = delete;
  ~FileLockedByChild();

  // True once the child holds the lock.
  bool holding() const { return holding_; }

 private:
  int pid_ = -1;
  int release_ = -1;  // closing this pipe end tells the child to let go
  bool holding_ = false;
};

}  // namespace kerro::testing
