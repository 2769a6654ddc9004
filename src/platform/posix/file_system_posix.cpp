#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include "platform/file_system.h"
#include "platform/memory.h"
#include "platform/paths.h"

namespace kerro {

namespace {

// Closes the descriptor when it goes out of scope.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  Descriptor(Descriptor&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  ~Descriptor() {
    if (fd_ >= 0) {
      ::close(fd_);
    }
  }
  int get() const { return fd_; }
  // Closes now and reports whether the close succeeded (it can report a late write error).
  bool close() {
    int fd = fd_;
    fd_ = -1;
    return ::close(fd) == 0;
  }

 private:
  int fd_;
};

// Another process holding the lock makes the open fail, as a share mode of 0 does on Windows.
bool LockExclusively(int fd) {
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno != EINTR) {
      return false;
    }
  }
  return true;
}

// Writes go in pieces of 1 MiB: one write of a whole large image takes the kernel about
// twice as long as the same bytes in pieces (measured on ext4 with 61 MB). Reads and
// read-back comparisons use the same piece size.
constexpr size_t kPiece = size_t{1} << 20;

// Every so many bytes written, the disk is asked to start on them, so that it works while
// the rest is still being written and the flush at the end waits only for the last part.
constexpr size_t kStartWriteback = size_t{8} << 20;

bool WriteAll(int fd, std::span<const uint8_t> bytes) {
  size_t done = 0;
  size_t started = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, std::min(kPiece, bytes.size() - done));
    if (n < 0) {
      if (errno == EINTR) {
        continue;
      }
      return false;
    }
    done += static_cast<size_t>(n);
#if defined(__linux__)
    if (done - started >= kStartWriteback) {
      // Only a hint: the flush that follows is what makes the bytes durable.
      ::sync_file_range(fd, static_cast<off_t>(started), static_cast<off_t>(done - started),
                        SYNC_FILE_RANGE_WRITE);
      started = done;
    }
#endif
  }
  return true;
}

// Makes a rename durable; a failure here is not a failure of the rename itself.
void SyncDirectoryOf(const std::string& path) {
  std::string directory = DirectoryOf(path);
  if (directory.empty()) {
    directory = ".";
  }
  int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
}

// Reads the rest of a regular file of `size` bytes. Returns nullopt on an error or when
// the file holds fewer bytes.
std::optional<std::vector<uint8_t>> ReadAll(int fd, size_t size) {
  std::vector<uint8_t> bytes;
  ReserveLarge(bytes, size);
  size_t done = 0;
  while (done < size) {
    // The buffer grows a piece at a time, each zeroed just before the read fills it:
    // zeroing it whole first would write the whole image out to memory once more.
    if (done == bytes.size()) {
      bytes.resize(std::min(size, done + kPiece));
    }
    ssize_t n = ::read(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return std::nullopt;  // an error, or fewer bytes than the file's length
    }
    done += static_cast<size_t>(n);
  }
  return bytes;
}

// The size of the regular file open at `fd`, or nullopt for anything else.
std::optional<size_t> RegularFileSize(int fd) {
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    return std::nullopt;
  }
  return static_cast<size_t>(info.st_size);
}

// True if the file open at `fd`, read from its start, holds exactly `bytes`.
bool HoldsExactly(int fd, std::span<const uint8_t> bytes) {
  const std::optional<size_t> size = RegularFileSize(fd);
  if (!size || *size != bytes.size() || ::lseek(fd, 0, SEEK_SET) != 0) {
    return false;
  }
  // A piece that fits the caches: the comparison follows the read while it is hot.
  std::vector<uint8_t> piece(std::min(kPiece, bytes.size()));
  size_t done = 0;
  while (done < bytes.size()) {
    const size_t wanted = std::min(piece.size(), bytes.size() - done);
    ssize_t n = ::read(fd, piece.data(), wanted);
    if (n < 0 && errno == EINTR) {
      continue;
    }
    if (n <= 0) {
      return false;  // an error, or fewer bytes than the file's length
    }
    if (!std::equal(piece.begin(), piece.begin() + n,
                    bytes.begin() + static_cast<ptrdiff_t>(done))) {
      return false;
    }
    done += static_cast<size_t>(n);
  }
  // Nothing may follow: a file that grew since fstat is not the file that was written.
  uint8_t extra = 0;
  ssize_t n = 0;
  do {
    n = ::read(fd, &extra, 1);
  } while (n < 0 && errno == EINTR);
  return n == 0;
}

class PosixFileSystem final : public FileSystem {
 public:
  std::optional<std::vector<uint8_t>> readFile(const std::string& path) override {
    Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0 || !LockExclusively(file.get())) {
      return std::nullopt;
    }
    const std::optional<size_t> size = RegularFileSize(file.get());
    return size ? ReadAll(file.get(), *size) : std::nullopt;
  }

  std::optional<std::vector<uint8_t>> readFileShared(const std::string& path) override {
    Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) {
      return std::nullopt;
    }
    const std::optional<size_t> size = RegularFileSize(file.get());
    return size ? ReadAll(file.get(), *size) : std::nullopt;
  }

  bool hasContent(const std::string& path, std::span<const uint8_t> bytes) override {
    // A temporary of ours is read back through the descriptor that holds its lock.
    if (const auto held = held_.find(path); held != held_.end()) {
      return HoldsExactly(held->second.get(), bytes);
    }
    Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    return file.get() >= 0 && LockExclusively(file.get()) && HoldsExactly(file.get(), bytes);
  }

  bool writeFile(const std::string& path, std::span<const uint8_t> bytes) override {
    Descriptor file(::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666));
    if (file.get() < 0 || !LockExclusively(file.get())) {
      return false;
    }
    // Truncate only once the lock is held, so a file another process holds is left alone.
    if (::ftruncate(file.get(), 0) != 0 || !WriteAll(file.get(), bytes) ||
        ::fsync(file.get()) != 0) {
      return false;
    }
    return file.close();
  }

  bool writeTemporary(const std::string& path, std::span<const uint8_t> bytes,
                      const std::string& permissionsOf) override {
    if (!writeTemporaryUnflushed(path, bytes, permissionsOf)) {
      return false;
    }
    if (::fsync(held_.at(path).get()) != 0) {
      removeFile(path);
      return false;
    }
    return true;
  }

  bool writeTemporaryUnflushed(const std::string& path, std::span<const uint8_t> bytes,
                               const std::string& permissionsOf) override {
    std::optional<Descriptor> file = createAndWrite(path, bytes, permissionsOf);
    if (!file) {
      return false;
    }
    held_.emplace(path, std::move(*file));
    return true;
  }

  // The flushes wait for the disk while the comparisons read what the system holds for
  // the files: a few threads flush, this one compares and then flushes what is left.
  // Flushes of many small files side by side share the file system's journal commits.
  bool flushTemporariesVerified(std::span<const TemporaryBytes> temporaries) override {
    std::vector<int> descriptors;
    descriptors.reserve(temporaries.size());
    for (const TemporaryBytes& file : temporaries) {
      const auto held = held_.find(file.path);
      if (held == held_.end()) {
        return false;
      }
      descriptors.push_back(held->second.get());
    }
    std::vector<uint8_t> flushed(descriptors.size(), 0);  // each written by one thread
    std::atomic<size_t> next{0};
    const auto flushTheRest = [&descriptors, &flushed, &next] {
      for (size_t i; (i = next.fetch_add(1)) < descriptors.size();) {
        flushed[i] = ::fsync(descriptors[i]) == 0 ? 1 : 0;
      }
    };
    bool same = true;
    {
      // A few flushes under way at once are enough for the journal to gather them.
      constexpr size_t kFlushThreads = 8;
      std::vector<std::jthread> flushers;
      flushers.reserve(kFlushThreads);
      try {
        while (flushers.size() < std::min(kFlushThreads, descriptors.size())) {
          flushers.emplace_back(flushTheRest);
        }
      } catch (const std::system_error&) {
        // No thread to spare: this one flushes what the others do not take.
      }
      for (size_t i = 0; i < descriptors.size() && same; ++i) {
        same = HoldsExactly(descriptors[i], temporaries[i].bytes);
      }
      flushTheRest();
    }  // every flush is done here
    return same && std::all_of(flushed.begin(), flushed.end(), [](uint8_t done) { return done; });
  }

  bool removeUnlessLocked(const std::string& path) override {
    Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.get() < 0 || !LockExclusively(file.get())) {
      return false;
    }
    // An empty file may be one that another run has just created and not yet locked; one
    // that stayed empty for long was left by a run that died right after creating it.
    struct stat info {};
    if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
      return false;
    }
    if (info.st_size == 0) {
      const time_t now = ::time(nullptr);
      const time_t age = now >= info.st_mtime ? now - info.st_mtime : info.st_mtime - now;
      if (age < kFreshTemporarySeconds) {
        return false;
      }
    }
    return ::unlink(path.c_str()) == 0;
  }

  bool removeFile(const std::string& path) override {
    const bool removed = ::unlink(path.c_str()) == 0;
    held_.erase(path);
    return removed;
  }

  bool renameFile(const std::string& from, const std::string& to) override {
    const bool renamed = renameFileUnflushed(from, to);
    if (renamed) {
      SyncDirectoryOf(to);
    }
    return renamed;
  }

  bool renameFileUnflushed(const std::string& from, const std::string& to) override {
    const bool renamed = ::rename(from.c_str(), to.c_str()) == 0;
    // The lock goes only once the temporary name is gone.
    if (renamed) {
      held_.erase(from);
    }
    return renamed;
  }

  void flushFolderOf(const std::string& path) override { SyncDirectoryOf(path); }

  // The new name is locked from its first moment: the file is locked (waiting for a
  // reader that holds it) before the link is made, and stays locked until the new name
  // is renamed or removed, so that no other run takes it for one a killed run left.
  bool linkFile(const std::string& from, const std::string& to) override {
    const bool linked = linkFileUnflushed(from, to);
    if (linked) {
      SyncDirectoryOf(to);
    }
    return linked;
  }

  bool linkFileUnflushed(const std::string& from, const std::string& to) override {
    Descriptor file(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) {
      return false;
    }
    while (::flock(file.get(), LOCK_EX) != 0) {
      if (errno != EINTR) {
        return false;
      }
    }
    if (::link(from.c_str(), to.c_str()) != 0) {
      return false;
    }
    held_.emplace(to, std::move(file));
    return true;
  }

  // Only a path whose last name is a link changes; realpath then follows the whole chain
  // and gives the target's folder as well, so that the save works beside the target.
  std::string resolveLinks(const std::string& path) override {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) {
      return path;
    }
    std::unique_ptr<char, void (*)(void*)> resolved(::realpath(path.c_str(), nullptr), &std::free);
    return resolved ? std::string(resolved.get()) : path;
  }

  bool isReadOnly(const std::string& path) override {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
      return false;
    }
    return (info.st_mode & 0222) == 0 || ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0;
  }

  bool sameFile(const std::string& first, const std::string& second) override {
    struct stat firstInfo {};
    struct stat secondInfo {};
    if (::stat(first.c_str(), &firstInfo) != 0 || ::stat(second.c_str(), &secondInfo) != 0) {
      return first == second;
    }
    return firstInfo.st_dev == secondInfo.st_dev && firstInfo.st_ino == secondInfo.st_ino;
  }

  std::string whyUnreadable(const std::string& path) override {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
      return errno == ENOENT || errno == ENOTDIR ? "no such file" : std::strerror(errno);
    }
    if (S_ISDIR(status.st_mode)) {
      return "is a folder";
    }
    if (!S_ISREG(status.st_mode)) {
      return "not a regular file";
    }
    Descriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) {
      return errno == EACCES ? "permission denied" : std::strerror(errno);
    }
    if (!LockExclusively(file.get())) {
      return "held by another program";
    }
    return "cannot be read";
  }

  bool exists(const std::string& path) override {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
  }

  // Each missing folder is made with mode 0777 less the umask, as mkdir -p makes them. A
  // folder made meanwhile by another process counts as made.
  bool createFolders(const std::string& path) override {
    if (path.empty()) {
      return false;
    }
    for (size_t end = path.find('/', 1);; end = path.find('/', end + 1)) {
      const std::string folder = path.substr(0, end);
      if (::mkdir(folder.c_str(), 0777) != 0 && errno != EEXIST) {
        return false;
      }
      if (end == std::string::npos) {
        break;
      }
    }
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
  }

  std::optional<std::vector<std::string>> listFolder(const std::string& path) override {
    std::unique_ptr<DIR, int (*)(DIR*)> folder(::opendir(path.empty() ? "." : path.c_str()),
                                               &::closedir);
    if (!folder) {
      return std::nullopt;
    }
    std::vector<std::string> names;
    errno = 0;
    while (const dirent* entry = ::readdir(folder.get())) {
      const std::string_view name = entry->d_name;
      if (name != "." && name != "..") {
        names.emplace_back(name);
      }
    }
    if (errno != 0) {
      return std::nullopt;
    }
    return names;
  }

 private:
  // Creates the temporary, locks it, gives it the bits of `permissionsOf` and writes the
  // bytes, all but the flush. Returns nullopt, leaving no file, on any failure.
  static std::optional<Descriptor> createAndWrite(const std::string& path,
                                                  std::span<const uint8_t> bytes,
                                                  const std::string& permissionsOf) {
    // Set-user-id and the like are not carried over: the new file may belong to another
    // user than the one it replaces.
    struct stat model {};
    const bool hasModel = !permissionsOf.empty() && ::stat(permissionsOf.c_str(), &model) == 0;
    const std::optional<mode_t> bits =
        hasModel ? std::optional(model.st_mode & 0777) : std::nullopt;
    std::optional<Descriptor> file;
    if (const Unnamed made = writeUnnamedThenName(path, bytes, bits, file);
        made != Unnamed::Unsupported) {
      return made == Unnamed::Named ? std::move(file) : std::nullopt;
    }
    // Read and write: the read-back goes through this descriptor, which holds the lock.
    Descriptor named(::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (named.get() < 0) {
      return std::nullopt;
    }
    // The bits go before the flush, so that the disk never holds the new bytes under the
    // default bits.
    if (!LockExclusively(named.get()) || (bits && ::fchmod(named.get(), *bits) != 0) ||
        !WriteAll(named.get(), bytes)) {
      ::unlink(path.c_str());
      return std::nullopt;
    }
    return named;
  }

  enum class Unnamed { Named, Failed, Unsupported };

  // Where the system makes files without a name (Linux, on most file systems), the
  // temporary is written that way, locked from the start, and linked to its name only
  // once its bytes are in: a run killed before then leaves nothing behind. A file named
  // first and killed before its lock or its first byte would be left empty, and the next
  // run could not tell it from one that another run has only just created.
  static Unnamed writeUnnamedThenName(const std::string& path, std::span<const uint8_t> bytes,
                                      std::optional<mode_t> bits, std::optional<Descriptor>& file) {
#if defined(__linux__) && defined(O_TMPFILE)
    std::string folder = DirectoryOf(path);
    if (folder.empty()) {
      folder = ".";
    }
    Descriptor unnamed(::open(folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666));
    if (unnamed.get() < 0) {
      return Unnamed::Unsupported;  // a file system without them, or an older kernel
    }
    if (!LockExclusively(unnamed.get()) || (bits && ::fchmod(unnamed.get(), *bits) != 0) ||
        !WriteAll(unnamed.get(), bytes)) {
      return Unnamed::Failed;  // nothing has a name yet, so nothing is left
    }
    // Without the capability to link a descriptor itself, the link goes through /proc.
    const std::string self = "/proc/self/fd/" + std::to_string(unnamed.get());
    if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) != 0) {
      return errno == ENOENT && ::access(self.c_str(), F_OK) != 0 ? Unnamed::Unsupported
                                                                  : Unnamed::Failed;
    }
    file.emplace(std::move(unnamed));
    return Unnamed::Named;
#else
    (void)path;
    (void)bytes;
    (void)bits;
    (void)file;
    return Unnamed::Unsupported;
#endif
  }

  // Temporaries written by this run, open and locked until they are renamed or removed.
  std::map<std::string, Descriptor> held_;
};

}  // namespace

std::unique_ptr<FileSystem> CreateRealFileSystem() {
  return std::make_unique<PosixFileSystem>();
}

}  // namespace kerro
