#include "testing/child_process.h"

#ifndef _WIN32
#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace kerro::testing {

#ifndef _WIN32

namespace {

constexpr uid_t kNobody = 65534;

int WaitFor(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) {
      return -1;
    }
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

bool ChildProcessesSupported() {
  return true;
}

int RunInChildProcess(const std::function<int()>& body) {
  pid_t pid = ::fork();
  if (pid < 0) {
    return -1;
  }
  if (pid == 0) {
    ::_exit(body());
  }
  return WaitFor(pid);
}

bool LimitFileSize(uint64_t bytes) {
  if (::signal(SIGXFSZ, SIG_IGN) == SIG_ERR) {
    return false;
  }
  struct rlimit limit {};
  limit.rlim_cur = static_cast<rlim_t>(bytes);
  limit.rlim_max = static_cast<rlim_t>(bytes);
  return ::setrlimit(RLIMIT_FSIZE, &limit) == 0;
}

bool RunningAsRoot() {
  return ::geteuid() == 0;
}

bool DropRootPrivileges() {
  if (!RunningAsRoot()) {
    return true;
  }
  return ::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0 &&
         ::geteuid() == kNobody;
}

FileLockedByChild::FileLockedByChild(const std::string& path) {
  int ready[2];
  int release[2];
  if (::pipe(ready) != 0) {
    return;
  }
  if (::pipe(release) != 0) {
    ::close(ready[0]);
    ::close(ready[1]);
    return;
  }
  pid_t pid = ::fork();
  if (pid == 0) {
    ::close(ready[0]);
    ::close(release[1]);
    int fd = ::open(path.c_str(), O_RDONLY);
    char held = (fd >= 0 && ::flock(fd, LOCK_EX) == 0) ? 1 : 0;
    if (::write(ready[1], &held, 1) != 1) {
      ::_exit(1);
    }
    char ignored = 0;
    while (::read(release[0], &ignored, 1) < 0 && errno == EINTR) {
    }
    ::_exit(0);
  }
  ::close(ready[1]);
  ::close(release[0]);
  release_ = release[1];
  if (pid < 0) {
    ::close(ready[0]);
    return;
  }
  pid_ = pid;
  char held = 0;
  ssize_t n = 0;
  while ((n = ::read(ready[0], &held, 1)) < 0 && errno == EINTR) {
  }
  holding_ = n == 1 && held == 1;
  ::close(ready[0]);
}

FileLockedByChild::~FileLockedByChild() {
  if (release_ >= 0) {
    ::close(release_);
  }
  if (pid_ > 0) {
    WaitFor(pid_);
  }
}

#else

bool ChildProcessesSupported() {
  return false;
}

int RunInChildProcess(const std::function<int()>&) {
  return -1;
}

bool LimitFileSize(uint64_t) {
  return false;
}

bool RunningAsRoot() {
  return false;
}

bool DropRootPrivileges() {
  return false;
}

FileLockedByChild::FileLockedByChild(const std::string&) {}

FileLockedByChild::~FileLockedByChild() = default;

#endif

}  // namespace kerro::testing
