// kerro-cli for the crash-safety tests, never installed: the same program, but every file
// operation goes through a file system that reports, delays or dies at chosen steps.
//
// Environment:
//   KERRO_STEP_TRACE=1        print "step N OPERATION PATH" to the error stream before
//                             each operation
//   KERRO_STEP_DELAY_MS=M     sleep M milliseconds before each operation
//   KERRO_STEP_KILL_AT=N      at operation N (from 0) the process kills itself with SIGKILL:
//   KERRO_STEP_KILL_MODE=     "before" it (default), "after" it, or "during" it, which
//                             for a write leaves the first half of the bytes in the file
// Operations are counted over reads, read-back comparisons, writes, removes, renames and
// links; existence tests are not counted.

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "cli/cli.h"

namespace {

long EnvironmentNumber(const char* name, long otherwise) {
  const char* text = std::getenv(name);
  return text != nullptr && *text != '\0' ? std::strtol(text, nullptr, 10) : otherwise;
}

// Dies with the first half of the bytes in the file.
void WriteHalf(const std::string& path, std::span<const uint8_t> bytes) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
  if (fd >= 0) {
    const ssize_t ignored = ::write(fd, bytes.data(), bytes.size() / 2);
    (void)ignored;
  }
  ::kill(::getpid(), SIGKILL);
}

class SteppedFileSystem final : public kerro::FileSystem {
 public:
  explicit SteppedFileSystem(kerro::FileSystem& real) : real_(real) {
    trace_ = EnvironmentNumber("KERRO_STEP_TRACE", 0) != 0;
    delayMs_ = EnvironmentNumber("KERRO_STEP_DELAY_MS", 0);
    killAt_ = EnvironmentNumber("KERRO_STEP_KILL_AT", -1);
    const char* mode = std::getenv("KERRO_STEP_KILL_MODE");
    mode_ = mode != nullptr ? mode : "before";
  }

  std::optional<std::vector<uint8_t>> readFile(const std::string& path) override {
    const bool dies = step("read", path);
    auto bytes = real_.readFile(path);
    afterStep(dies);
    return bytes;
  }

  std::optional<std::vector<uint8_t>> readFileShared(const std::string& path) override {
    const bool dies = step("read", path);
    auto bytes = real_.readFileShared(path);
    afterStep(dies);
    return bytes;
  }

  bool hasContent(const std::string& path, std::span<const uint8_t> bytes) override {
    const bool dies = step("verify", path);
    const bool same = real_.hasContent(path, bytes);
    afterStep(dies);
    return same;
  }

  bool writeFile(const std::string& path, std::span<const uint8_t> bytes) override {
    const bool dies = step("write", path);
    if (dies && mode_ == "during") {
      WriteHalf(path, bytes);
    }
    const bool ok = real_.writeFile(path, bytes);
    afterStep(dies);
    return ok;
  }

  bool writeTemporary(const std::string& path, std::span<const uint8_t> bytes,
                      const std::string& permissionsOf) override {
    const bool dies = step("write", path);
    if (dies && mode_ == "during") {
      WriteHalf(path, bytes);
    }
    const bool ok = real_.writeTemporary(path, bytes, permissionsOf);
    afterStep(dies);
    return ok;
  }

  bool writeTemporaryUnflushed(const std::string& path, std::span<const uint8_t> bytes,
                               const std::string& permissionsOf) override {
    const bool dies = step("write", path);
    if (dies && mode_ == "during") {
      WriteHalf(path, bytes);
    }
    const bool ok = real_.writeTemporaryUnflushed(path, bytes, permissionsOf);
    afterStep(dies);
    return ok;
  }

  bool flushTemporariesVerified(std::span<const kerro::TemporaryBytes> temporaries) override {
    std::string paths;
    for (const kerro::TemporaryBytes& temporary : temporaries) {
      paths += (paths.empty() ? "" : " ") + temporary.path;
    }
    const bool dies = step("flush", paths);
    const bool ok = real_.flushTemporariesVerified(temporaries);
    afterStep(dies);
    return ok;
  }

  bool removeUnlessLocked(const std::string& path) override {
    const bool dies = step("remove", path);
    const bool ok = real_.removeUnlessLocked(path);
    afterStep(dies);
    return ok;
  }

  bool removeFile(const std::string& path) override {
    const bool dies = step("remove", path);
    const bool ok = real_.removeFile(path);
    afterStep(dies);
    return ok;
  }

  bool renameFile(const std::string& from, const std::string& to) override {
    const bool dies = step("rename", from + " " + to);
    const bool ok = real_.renameFile(from, to);
    afterStep(dies);
    return ok;
  }

  bool linkFile(const std::string& from, const std::string& to) override {
    const bool dies = step("link", from + " " + to);
    const bool ok = real_.linkFile(from, to);
    afterStep(dies);
    return ok;
  }

  bool renameFileUnflushed(const std::string& from, const std::string& to) override {
    const bool dies = step("rename", from + " " + to);
    const bool ok = real_.renameFileUnflushed(from, to);
    afterStep(dies);
    return ok;
  }

  bool linkFileUnflushed(const std::string& from, const std::string& to) override {
    const bool dies = step("link", from + " " + to);
    const bool ok = real_.linkFileUnflushed(from, to);
    afterStep(dies);
    return ok;
  }

  void flushFolderOf(const std::string& path) override { real_.flushFolderOf(path); }

  bool replaceWithBackup(const std::string& replacement, const std::string& target,
                         const std::string& backup) override {
    const bool dies = step("replace", replacement + " " + target + " " + backup);
    const bool ok = real_.replaceWithBackup(replacement, target, backup);
    afterStep(dies);
    return ok;
  }

  bool exists(const std::string& path) override { return real_.exists(path); }

  bool sameFile(const std::string& first, const std::string& second) override {
    return real_.sameFile(first, second);
  }

  std::string resolveLinks(const std::string& path) override { return real_.resolveLinks(path); }

  bool isReadOnly(const std::string& path) override { return real_.isReadOnly(path); }

  std::optional<std::vector<std::string>> listFolder(const std::string& path) override {
    return real_.listFolder(path);
  }

  bool hasSystemProfiles() const override { return real_.hasSystemProfiles(); }

 private:
  // Returns true if the process is to die at this operation.
  bool step(const char* operation, const std::string& what) {
    const long index = count_++;
    if (trace_) {
      std::fprintf(stderr, "step %ld %s %s\n", index, operation, what.c_str());
      std::fflush(stderr);
    }
    if (delayMs_ > 0) {
      std::this_thread::sleep_for(std::chrono::milliseconds(delayMs_));
    }
    const bool dies = index == killAt_;
    if (dies && mode_ == "before") {
      ::kill(::getpid(), SIGKILL);
    }
    return dies;
  }

  void afterStep(bool dies) {
    if (dies) {
      ::kill(::getpid(), SIGKILL);
    }
  }

  kerro::FileSystem& real_;
  bool trace_ = false;
  long delayMs_ = 0;
  long killAt_ = -1;
  std::string mode_;
  long count_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  const std::unique_ptr<kerro::FileSystem> real = kerro::CreateRealFileSystem();
  SteppedFileSystem fileSystem(*real);
  kerro::CliEnvironment environment{fileSystem, std::cout, std::cerr};
  return kerro::RunCli(arguments, environment);
}
