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
    return stepped("read", path, [&] { return real_.readFile(path); });
  }

  std::optional<std::vector<uint8_t>> readFileShared(const std::string& path) override {
    return stepped("read", path, [&] { return real_.readFileShared(path); });
  }

  bool hasContent(const std::string& path, std::span<const uint8_t> bytes) override {
    return stepped("verify", path, [&] { return real_.hasContent(path, bytes); });
  }

  bool writeFile(const std::string& path, std::span<const uint8_t> bytes) override {
    return writing(path, bytes, [&] { return real_.writeFile(path, bytes); });
  }

  bool writeTemporary(const std::string& path, std::span<const uint8_t> bytes,
                      const std::string& permissionsOf) override {
    return writing(path, bytes, [&] { return real_.writeTemporary(path, bytes, permissionsOf); });
  }

  bool writeTemporaryUnflushed(const std::string& path, std::span<const uint8_t> bytes,
                               const std::string& permissionsOf) override {
    return writing(path, bytes,
                   [&] { return real_.writeTemporaryUnflushed(path, bytes, permissionsOf); });
  }

  bool flushTemporariesVerified(std::span<const kerro::TemporaryBytes> temporaries) override {
    std::string paths;
    for (const kerro::TemporaryBytes& temporary : temporaries) {
      paths += (paths.empty() ? "" : " ") + temporary.path;
    }
    return stepped("flush", paths, [&] { return real_.flushTemporariesVerified(temporaries); });
  }

  bool removeUnlessLocked(const std::string& path) override {
    return stepped("remove", path, [&] { return real_.removeUnlessLocked(path); });
  }

  bool removeFile(const std::string& path) override {
    return stepped("remove", path, [&] { return real_.removeFile(path); });
  }

  bool renameFile(const std::string& from, const std::string& to) override {
    return stepped("rename", from + " " + to, [&] { return real_.renameFile(from, to); });
  }

  bool linkFile(const std::string& from, const std::string& to) override {
    return stepped("link", from + " " + to, [&] { return real_.linkFile(from, to); });
  }

  bool renameFileUnflushed(const std::string& from, const std::string& to) override {
    return stepped("rename", from + " " + to, [&] { return real_.renameFileUnflushed(from, to); });
  }

  bool linkFileUnflushed(const std::string& from, const std::string& to) override {
    return stepped("link", from + " " + to, [&] { return real_.linkFileUnflushed(from, to); });
  }

  void flushFolderOf(const std::string& path) override { real_.flushFolderOf(path); }

  bool replaceWithBackup(const std::string& replacement, const std::string& target,
                         const std::string& backup) override {
    return stepped("replace", replacement + " " + target + " " + backup,
                   [&] { return real_.replaceWithBackup(replacement, target, backup); });
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

  // Does `call` as step `operation` of `what`.
  template <typename Call>
  auto stepped(const char* operation, const std::string& what, Call call) -> decltype(call()) {
    const bool dies = step(operation, what);
    auto result = call();
    afterStep(dies);
    return result;
  }

  // A write step: killed "during" it, the process first writes half the bytes to `path`.
  template <typename Call>
  bool writing(const std::string& path, std::span<const uint8_t> bytes, Call call) {
    const bool dies = step("write", path);
    if (dies && mode_ == "during") {
      WriteHalf(path, bytes);
    }
    const bool ok = call();
    afterStep(dies);
    return ok;
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
