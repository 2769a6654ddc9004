// The real kerro-cli on the real disk, killed at every step of a save and run twice at
// once. After any of that the previous content must be whole at the path or at the backup
// name, the path must hold a whole file, and a further run must finish.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <filesystem>
#include <map>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "testing/test_support.h"

extern char** environ;

namespace kerro {
namespace {

using testing::ComponentRecord;
using testing::ReadBytes;
using testing::SchematicBuilder;
using testing::TempFolder;
using testing::WriteBytes;
using Bytes = std::vector<uint8_t>;

struct Exit {
  bool killed = false;  // ended by SIGKILL
  int status = -1;      // exit status when it exited
};

class Program {
 public:
  // Starts `program` with `arguments` and the extra environment `variables`.
  Program(const std::string& program, const std::vector<std::string>& arguments,
          const std::map<std::string, std::string>& variables = {}) {
    std::vector<std::string> argumentTexts = {program};
    argumentTexts.insert(argumentTexts.end(), arguments.begin(), arguments.end());
    std::vector<std::string> environmentTexts;
    for (char** entry = environ; *entry != nullptr; ++entry) {
      environmentTexts.emplace_back(*entry);
    }
    for (const auto& [name, value] : variables) {
      environmentTexts.push_back(name + "=" + value);
    }
    std::vector<char*> argv = Pointers(argumentTexts);
    std::vector<char*> envp = Pointers(environmentTexts);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    if (::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), envp.data()) != 0) {
      pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
  }
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;
  ~Program() { wait(); }

  bool started() const { return pid_ > 0; }
  void kill() {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
    }
  }
  Exit wait() {
    if (pid_ > 0) {
      int status = 0;
      while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
      }
      pid_ = -1;
      exit_.killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
      exit_.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    return exit_;
  }

 private:
  static std::vector<char*> Pointers(std::vector<std::string>& texts) {
    std::vector<char*> pointers;
    for (std::string& text : texts) {
      pointers.push_back(text.data());
    }
    pointers.push_back(nullptr);
    return pointers;
  }

  pid_t pid_ = -1;
  Exit exit_;
};

Exit RunProgram(const std::string& program, const std::vector<std::string>& arguments,
                const std::map<std::string, std::string>& variables = {}) {
  Program child(program, arguments, variables);
  EXPECT_TRUE(child.started());
  return child.wait();
}

// A board; over two sheets a save writes two files.
Bytes Board(int sheets) {
  SchematicBuilder builder;
  builder.header();
  for (int i = 0; i < 40; ++i) {
    const std::string reference = (i % 2 == 0 ? "R" : "C") + std::to_string(90 - i);
    builder.component({.x = static_cast<int16_t>(i * 10),
                       .packageTag = i % 2 == 0 ? "RES" : "CAP",
                       .reference = reference,
                       .partName = i % 2 == 0 ? "RES" : "CAP"});
    builder.fixedRecord(2).variableRecord(40, 30);
  }
  if (sheets == 2) {
    builder.header();
    builder.component({.packageTag = "RES", .reference = "R7", .partName = "RES"});
  }
  return builder.bytes();
}

std::optional<Bytes> Content(const std::string& path) {
  if (!std::filesystem::exists(path)) {
    return std::nullopt;
  }
  return ReadBytes(path);
}

// The files of a board and what a finished run leaves in them.
struct Expected {
  Bytes original;
  Bytes oldBackup;
  std::map<std::string, Bytes> results;  // per argument set: the path's new content
};

class CrashSafety : public ::testing::Test {
 protected:
  void SetUp() override {
    expected_.original = Board(2);
    expected_.oldBackup = {9, 9, 9};
  }

  std::string path() const { return folder_.file("BOARD.CE2"); }
  std::string backup() const { return folder_.file("BOARD.$E2"); }

  void reset() {
    for (const std::string& name : folder_.list()) {
      std::filesystem::remove(folder_.file(name));
    }
    WriteBytes(path(), expected_.original);
    WriteBytes(backup(), expected_.oldBackup);
  }

  // The first section's content after finished runs with these initial values, one after
  // the other. A second run sees only the first section, the others having gone to files
  // of their own, and may number it differently; and a shorter reference leaves the
  // characters of a longer one behind it in the field.
  Bytes resultOf(std::vector<int> initials) {
    TempFolder scratch;
    const std::string file = scratch.file("BOARD.CE2");
    WriteBytes(file, expected_.original);
    for (int initial : initials) {
      EXPECT_EQ(RunProgram(KERRO_CLI, {"-q", "-i", std::to_string(initial), file}).status, 0);
    }
    return ReadBytes(file);
  }

  // Names left in the folder other than the board's own files (a section file that a save
  // replaced keeps its previous content at its backup name).
  std::vector<std::string> strays() const {
    std::vector<std::string> left;
    for (const std::string& name : folder_.list()) {
      if (name != "BOARD.CE2" && name != "BOARD.$E2" && name != "BOARD.CE2-01" &&
          name != "BOARD.$E2-01") {
        left.push_back(name);
      }
    }
    return left;
  }

  TempFolder folder_;
  Expected expected_;
};

// Counts the file operations of one undisturbed run of the stepped program.
int CountSteps(const std::string& folder, const std::string& path) {
  const std::string trace = folder + "/trace.txt";
  Program child("/bin/sh", {"-c", std::string("KERRO_STEP_TRACE=1 '") + KERRO_CLI_STEPPED +
                                      "' -q '" + path + "' 2>'" + trace + "'"});
  EXPECT_EQ(child.wait().status, 0);
  const Bytes text = ReadBytes(trace);
  std::filesystem::remove(trace);
  return static_cast<int>(std::count(text.begin(), text.end(), '\n'));
}

TEST_F(CrashSafety, KilledAtEveryStepOfASave) {
  const Bytes result = resultOf({1});
  const Bytes rerunResult = resultOf({1, 1});
  reset();
  const int steps = CountSteps(folder_.path(), path());
  ASSERT_GE(steps, 6) << "read, two temporaries with read-backs, the backup, the renames";

  for (const char* mode : {"before", "during", "after"}) {
    for (int step = 0; step < steps; ++step) {
      SCOPED_TRACE(std::string("killed ") + mode + " step " + std::to_string(step));
      reset();
      const Exit exit = RunProgram(
          KERRO_CLI_STEPPED, {"-q", path()},
          {{"KERRO_STEP_KILL_AT", std::to_string(step)}, {"KERRO_STEP_KILL_MODE", mode}});
      ASSERT_TRUE(exit.killed);

      const auto atPath = Content(path());
      const auto atBackup = Content(backup());
      EXPECT_TRUE(atPath == expected_.original || atBackup == expected_.original)
          << "the previous content is lost";
      EXPECT_TRUE(atPath == expected_.original || atPath == result)
          << "the path holds no whole file";
      EXPECT_TRUE(atBackup == expected_.oldBackup || atBackup == expected_.original)
          << "the backup holds no whole earlier content";

      const Exit rerun = RunProgram(KERRO_CLI, {"-q", path()});
      EXPECT_EQ(rerun.status, 0) << "a rerun after the kill fails";
      const auto pathAfter = Content(path());
      EXPECT_TRUE(pathAfter == (atPath == result ? rerunResult : result));
      EXPECT_EQ(Content(backup()), atPath);
      EXPECT_EQ(strays(), std::vector<std::string>{}) << "the rerun left a temporary behind";
    }
  }
}

TEST_F(CrashSafety, KilledAtRandomMomentsOfASlowSave) {
  const Bytes result = resultOf({1});
  const Bytes rerunResult = resultOf({1, 1});
  std::mt19937 random(20261208);
  std::uniform_int_distribution<int> delay(0, 40);
  for (int round = 0; round < 25; ++round) {
    const int afterMs = delay(random);
    SCOPED_TRACE("killed after " + std::to_string(afterMs) + " ms");
    reset();
    {
      Program child(KERRO_CLI_STEPPED, {"-q", path()}, {{"KERRO_STEP_DELAY_MS", "3"}});
      ASSERT_TRUE(child.started());
      std::this_thread::sleep_for(std::chrono::milliseconds(afterMs));
      child.kill();
      child.wait();
    }
    const auto atPath = Content(path());
    const auto atBackup = Content(backup());
    EXPECT_TRUE(atPath == expected_.original || atBackup == expected_.original);
    EXPECT_TRUE(atPath == expected_.original || atPath == result);
    const auto backupBefore = Content(backup());
    EXPECT_EQ(RunProgram(KERRO_CLI, {"-q", path()}).status, 0);
    const Bytes& rerun = atPath == result ? rerunResult : result;
    EXPECT_EQ(Content(path()), rerun);
    // A rerun that changes nothing writes nothing, and the backup stays as it was.
    EXPECT_EQ(Content(backup()), rerun == atPath ? backupBefore : atPath);
    EXPECT_EQ(strays(), std::vector<std::string>{}) << "the rerun left a temporary behind";
  }
}

// Two runs with different initial values start together on one file. Either may fail
// with a read or write error; the path ends as the whole result of one of them and the
// backup as one whole earlier content.
TEST_F(CrashSafety, TwoRunsAtOnce) {
  // One sheet: a run that reads the other's result then sees the same board.
  expected_.original = Board(1);
  const Bytes first = resultOf({1});
  const Bytes second = resultOf({500});
  ASSERT_NE(first, second);
  // A run that reads the other's result.
  const Bytes firstAfterSecond = resultOf({500, 1});
  const Bytes secondAfterFirst = resultOf({1, 500});
  auto isResult = [&](const std::optional<Bytes>& bytes, bool ofFirst) {
    return ofFirst ? bytes == first || bytes == firstAfterSecond
                   : bytes == second || bytes == secondAfterFirst;
  };
  int finished = 0;
  int failed = 0;
  for (int round = 0; round < 60; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    reset();
    // The stepped program with a short delay widens the windows between steps; the plain
    // one races at full speed.
    const bool slow = round % 2 == 1;
    const std::string program = slow ? KERRO_CLI_STEPPED : KERRO_CLI;
    const std::map<std::string, std::string> variables =
        slow ? std::map<std::string, std::string>{{"KERRO_STEP_DELAY_MS", "1"}}
             : std::map<std::string, std::string>{};
    Program a(program, {"-q", "-i", "1", path()}, variables);
    Program b(program, {"-q", "-i", "500", path()}, variables);
    const Exit exitA = a.wait();
    const Exit exitB = b.wait();
    for (const Exit& exit : {exitA, exitB}) {
      EXPECT_TRUE(exit.status == 0 || exit.status == 1 || exit.status == 3) << exit.status;
      (exit.status == 0 ? finished : failed) += 1;
    }
    EXPECT_TRUE(exitA.status == 0 || exitB.status == 0) << "neither run finished";
    const auto atPath = Content(path());
    const auto atBackup = Content(backup());
    EXPECT_TRUE(isResult(atPath, true) || isResult(atPath, false))
        << "the path holds no whole result: exits " << exitA.status << " " << exitB.status
        << (atPath == expected_.original ? ", the previous content" : "");
    EXPECT_TRUE(atBackup == expected_.original || isResult(atBackup, true) ||
                isResult(atBackup, false))
        << "the backup holds no whole earlier content";
    if (exitA.status != 0) {
      EXPECT_TRUE(isResult(atPath, false)) << "the failed run's result is at the path";
    }
    if (exitB.status != 0) {
      EXPECT_TRUE(isResult(atPath, true)) << "the failed run's result is at the path";
    }
    EXPECT_EQ(strays(), std::vector<std::string>{}) << "a temporary file is left";
  }
  std::printf("two at once: %d runs finished, %d failed with an error\n", finished, failed);
}

}  // namespace
}  // namespace kerro
