// The safe save under the power-loss model: every state that a power loss at any moment
// of a save can leave on the disk, checked, then saved again.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "renumber/safe_save.h"
#include "testing/crash_model_file_system.h"
#include "testing/schematic_builder.h"

namespace kerro {
namespace {

using testing::CrashModelFileSystem;
using testing::DiskState;
using testing::SchematicBuilder;
using Bytes = std::vector<uint8_t>;

constexpr const char* kPath = "board/S.CE2";
constexpr const char* kBackup = "board/S.$E2";

Bytes Board(const std::vector<std::string>& sectionReferences) {
  SchematicBuilder builder;
  for (const std::string& reference : sectionReferences) {
    builder.header().component({.packageTag = "RES", .reference = reference, .partName = "RES"});
  }
  return builder.bytes();
}

bool IsTemporary(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string name = path.substr(slash == std::string::npos ? 0 : slash + 1);
  return name.size() == 11 && name[0] == '~' && name.compare(7, 3, ".KR") == 0;
}

struct Scenario {
  const char* name;
  bool hasLinks = true;
  uint32_t mode = 0644;
  bool oldBackup = true;
  bool oldSectionFile = false;  // S.CE2-01 is there (with a backup of its own)
  int newSections = 1;
  int emptyLitter = 0;  // empty temporaries that a run left when it died, long ago
};

// One target of the save: what was there, what is to come, and its backup name.
struct Target {
  std::string path;
  std::string backup;
  std::optional<Bytes> previous;
  uint32_t previousMode = 0644;
  std::optional<Bytes> oldBackup;
  Bytes next;
  uint32_t nextMode = 0644;
};

class CrashModel : public ::testing::TestWithParam<Scenario> {};

TEST_P(CrashModel, EveryPowerLossLeavesWholeFilesAndARerunFinishes) {
  const Scenario& scenario = GetParam();
  DiskState start;
  start.put(kPath, Board({"R7"}), scenario.mode);
  if (scenario.oldBackup) {
    start.put(kBackup, Board({"R3"}));
  }
  if (scenario.oldSectionFile) {
    start.put(std::string(kPath) + "-01", Board({"C4"}), 0640);
    start.put(std::string(kBackup) + "-01", Board({"C8"}));
  }
  start.put("board/OTHER.CE2", Board({"U1"}));
  for (int slot = 0; slot < scenario.emptyLitter; ++slot) {
    start.put(TemporaryName(kPath, slot), {}, 0644, 0);
  }
  std::vector<std::string> newReferences = {"R1", "C1", "U1"};
  newReferences.resize(static_cast<size_t>(scenario.newSections));
  SchematicDocument document;
  ASSERT_TRUE(document.loadImage(Board(newReferences)));

  std::vector<Target> targets;
  for (int i = 0; i < document.sectionCount(); ++i) {
    Target target;
    target.path = SchematicDocument::SectionFileName(kPath, i);
    target.backup = SchematicDocument::SectionFileName(kBackup, i);
    target.previous = start.content(target.path);
    target.previousMode = target.previous ? start.at(target.path)->mode : 0;
    target.oldBackup = start.content(target.backup);
    const auto bytes = document.sectionBytes(i);
    target.next.assign(bytes.begin(), bytes.end());
    target.nextMode = target.previous ? target.previousMode : scenario.mode;
    targets.push_back(std::move(target));
  }

  CrashModelFileSystem saving(start, scenario.hasLinks);
  ASSERT_TRUE(SaveWithBackup(saving, document, kPath, kBackup));
  EXPECT_TRUE(testing::OnlyRemovalsMayBeLost(saving.log())) << "the save returned too early";

  const auto checkWhole = [&](const DiskState& state) {
    for (const Target& target : targets) {
      SCOPED_TRACE(target.path);
      const auto atTarget = state.content(target.path);
      const auto atBackup = state.content(target.backup);
      const bool previousAtBackup = target.previous && atBackup == target.previous;
      if (atTarget == target.next && atTarget != target.previous) {
        EXPECT_EQ(state.at(target.path)->mode, target.nextMode) << "bits not as durable as bytes";
        EXPECT_TRUE(!target.previous || previousAtBackup) << "the previous content is lost";
      } else if (atTarget) {
        EXPECT_EQ(atTarget, target.previous) << "neither the previous content nor the new";
        EXPECT_EQ(state.at(target.path)->mode, target.previousMode);
      } else if (target.previous) {
        // Only where there are no links, and only between a file's two renames.
        EXPECT_FALSE(scenario.hasLinks) << "no file at the target";
        EXPECT_TRUE(previousAtBackup) << "the previous content is lost";
      }
      EXPECT_TRUE(atBackup == target.oldBackup || previousAtBackup)
          << "the backup name holds neither the old backup nor the previous content";
    }
    // With links the path changes last: once it has, every section has too.
    if (scenario.hasLinks && state.content(kPath) == targets.front().next &&
        targets.front().next != targets.front().previous) {
      for (const Target& target : targets) {
        EXPECT_EQ(state.content(target.path), target.next)
            << target.path << " is not yet new, yet the path is";
      }
    }
    for (const auto& named : state.names) {
      const auto& path = named.first;  // a plain name: lambdas below cannot capture bindings
      const bool known = std::any_of(targets.begin(), targets.end(), [&](const Target& target) {
        return path == target.path || path == target.backup;
      });
      if (!known && !IsTemporary(path)) {
        EXPECT_EQ(state.content(path), start.content(path)) << path << " changed";
      }
    }
  };

  int reruns = 0;
  const int states =
      testing::ForEachCrashState(start, saving.log(), [&](const DiskState& state, size_t done) {
        SCOPED_TRACE("power lost after " + std::to_string(done) + " operations; disk:\n" +
                     state.describe());
        checkWhole(state);
        if (!state.at(kPath)) {
          return;  // without links, the moment between the renames; the rerun cannot load
        }
        // The machine comes back up; the same save runs again.
        CrashModelFileSystem rerun(state, scenario.hasLinks, 1000 + 3600);
        ++reruns;
        ASSERT_TRUE(SaveWithBackup(rerun, document, kPath, kBackup));
        for (const Target& target : targets) {
          EXPECT_EQ(rerun.state().content(target.path), target.next);
          // A section file that the power loss left at its backup name only is new to the
          // rerun, which gives it the bits of the path.
          const uint32_t mode = state.at(target.path) ? target.nextMode : scenario.mode;
          EXPECT_EQ(rerun.state().at(target.path)->mode, mode);
        }
        for (const auto& [path, file] : rerun.state().names) {
          EXPECT_FALSE(IsTemporary(path)) << path << " is left behind";
        }
      });
  ASSERT_GT(states, 0) << "too many operations may be lost at once to try them all";
  EXPECT_GT(reruns, 2);
}

INSTANTIATE_TEST_SUITE_P(
    SafeSave, CrashModel,
    ::testing::Values(
        Scenario{.name = "OneSection"}, Scenario{.name = "NoOldBackup", .oldBackup = false},
        Scenario{.name = "PrivateFile", .mode = 0600},
        Scenario{.name = "TwoSections", .newSections = 2},
        Scenario{
            .name = "SectionFilesThere", .mode = 0600, .oldSectionFile = true, .newSections = 3},
        Scenario{.name = "WithoutLinks", .hasLinks = false, .mode = 0600},
        Scenario{.name = "SectionFilesThereWithoutLinks",
                 .hasLinks = false,
                 .oldSectionFile = true,
                 .newSections = 2},
        Scenario{.name = "EveryTemporaryNameLeftEmpty", .emptyLitter = kTemporarySlots}),
    [](const ::testing::TestParamInfo<Scenario>& param) { return std::string(param.param.name); });

}  // namespace
}  // namespace kerro
