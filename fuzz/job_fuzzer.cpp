// The whole renumbering job on a memory file system, with fuzzed schematic, libraries,
// settings and one failing file change. Whatever happens, the previous schematic stays
// whole at its path or at its backup name, no temporary file is left, the libraries are
// only read, and "Finished" means the files hold exactly the renumbered content.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "fuzz_checks.h"
#include "job_input.h"
#include "renumber/renumber_job.h"
#include "schematic/schematic_document.h"
#include "testing/memory_file_system.h"
#include "testing/tosk_ini_builder.h"

namespace {

using kerro::JobOutcome;
using kerro::SchematicDocument;
using kerro::fuzz::JobInput;

const char* const kLibraryNames[kerro::fuzz::kFuzzedLibraries] = {"A.LB3", "B.LIB", "C.LB3"};

// Folder n holds a TOSK.INI that lists the first n libraries. TOSK.INI is read from the
// disk; the schematic and the libraries live in the memory file system.
std::string FolderListing(size_t libraries) {
  const std::string folder = kerro::fuzz::ScratchFolder() + "/" + std::to_string(libraries);
  static bool made[kerro::fuzz::kFuzzedLibraries + 1] = {};
  if (!made[libraries]) {
    std::vector<std::string> listed;
    for (size_t i = 0; i < libraries; ++i) {
      listed.push_back(folder + "/" + kLibraryNames[i]);
    }
    std::filesystem::create_directories(folder);
    kerro::testing::WriteToskIni(folder + "/TOSK.INI", listed);
    made[libraries] = true;
  }
  return folder;
}

std::string Describe(const kerro::testing::MemoryFileSystem& fileSystem) {
  std::string text;
  for (const std::string& entry : fileSystem.log) {
    text += "\n  " + entry;
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const JobInput input = kerro::fuzz::DecodeJobInput(std::span<const uint8_t>(data, size));
  const std::string folder = FolderListing(input.libraries.size());
  const std::string path = folder + "/BOARD.CE2";
  const std::string backup = kerro::MakeBackupName(path);

  kerro::testing::MemoryFileSystem fileSystem;
  fileSystem.files[path] = input.schematic;
  if (input.oldBackup) {
    fileSystem.files[backup].assign(
        input.schematic.begin(),
        input.schematic.begin() + static_cast<ptrdiff_t>(input.schematic.size() / 2));
  }
  std::set<std::string> libraryPaths;
  for (size_t i = 0; i < input.libraries.size(); ++i) {
    const std::string library = folder + "/" + kLibraryNames[i];
    fileSystem.files[library] = input.libraries[i];
    libraryPaths.insert(library);
  }
  const auto filesBefore = fileSystem.files;
  if (input.failOneChange) {
    fileSystem.failNthChange(input.failingChange);
  }

  std::vector<std::string> libraryErrors;
  kerro::JobContext context{fileSystem,
                            [&](const std::string& library) { libraryErrors.push_back(library); }};
  kerro::JobRequest request;
  request.path = path;
  request.initial = input.initial;
  request.step = input.step;
  request.mode = input.byLibrary ? kerro::NumberingMode::ByLibrary : kerro::NumberingMode::Plain;
  request.collectChanges = true;
  request.controls.keep = (input.controls & 1u) != 0;
  if ((input.controls & 2u) != 0) {
    request.controls.locks.push_back("R*");
  }
  if ((input.controls & 4u) != 0) {
    request.controls.locks.push_back("U?");
  }
  request.controls.sheetBase = (input.controls & 8u) != 0 ? 10 : 0;
  request.controls.order =
      (input.controls & 16u) != 0 ? kerro::NumberingOrder::Rows : kerro::NumberingOrder::Columns;
  const kerro::JobResult result = kerro::RenumberJob(request, context);
  const std::string log = Describe(fileSystem);

  for (const std::string& library : libraryErrors) {
    KERRO_FUZZ_CHECK(libraryPaths.count(library) == 1, "an error names an unlisted library");
  }
  for (const std::string& library : libraryPaths) {
    KERRO_FUZZ_CHECK(fileSystem.files.count(library) == 1 &&
                         fileSystem.files[library] == filesBefore.at(library),
                     "a library file was changed");
  }

  const bool inRange =
      input.initial >= 1 && input.initial <= 1000 && input.step >= 1 && input.step <= 20;
  SchematicDocument expected;
  const bool loadable = expected.loadImage(input.schematic);
  if (!inRange || !loadable) {
    KERRO_FUZZ_CHECK(fileSystem.changeCount() == 0 && fileSystem.files == filesBefore,
                     "a job that could not run touched files:" + log);
    JobOutcome outcome = JobOutcome::ReadError;
    if (input.initial < 1 || input.initial > 1000) {
      outcome = JobOutcome::InitialOutOfRange;
    } else if (!inRange) {
      outcome = JobOutcome::StepOutOfRange;
    }
    KERRO_FUZZ_CHECK(result.outcome == outcome, "wrong outcome for a job that could not run");
    return 0;
  }

  // Every file the job may leave: the libraries, the backup and one per section.
  std::set<std::string> allowed = libraryPaths;
  allowed.insert(backup);
  std::vector<uint8_t> written;
  for (int i = 0; i < expected.sectionCount(); ++i) {
    const std::string name = SchematicDocument::SectionFileName(path, i);
    allowed.insert(name);
    if (const auto file = fileSystem.files.find(name); file != fileSystem.files.end()) {
      written.insert(written.end(), file->second.begin(), file->second.end());
    }
  }
  for (const auto& [name, bytes] : fileSystem.files) {
    KERRO_FUZZ_CHECK(allowed.count(name) == 1, "the job left the file " + name + log);
  }

  if (result.outcome == JobOutcome::Finished && result.written.empty()) {
    KERRO_FUZZ_CHECK(fileSystem.changeCount() == 0 && fileSystem.files == filesBefore,
                     "a job that changed nothing wrote:" + log);
    KERRO_FUZZ_CHECK(result.changes.size() == 1 && result.changes.front().changes.empty(),
                     "a job that wrote nothing has changes");
    return 0;
  }
  if (result.outcome == JobOutcome::Finished) {
    KERRO_FUZZ_CHECK(
        fileSystem.files.count(backup) == 1 && fileSystem.files[backup] == input.schematic,
        "finished without the previous content at the backup name" + log);
    const auto components = kerro::fuzz::ComponentRecordOffsets(input.schematic);
    KERRO_FUZZ_CHECK(components.has_value(), "the record walk rejects a loaded schematic");
    const std::string stray =
        kerro::fuzz::StrayDifference(input.schematic, written, *components, input.byLibrary);
    KERRO_FUZZ_CHECK(stray.empty(), "finished, but the written sections differ: " + stray + log);
    KERRO_FUZZ_CHECK(
        result.changes.size() == 1 && result.changes.front().changes.size() <= components->size(),
        "more changes than parts");
    return 0;
  }

  if (result.outcome == JobOutcome::OutOfNumbers) {
    KERRO_FUZZ_CHECK(fileSystem.changeCount() == 0 && fileSystem.files == filesBefore,
                     "a job out of numbers touched files:" + log);
    return 0;
  }
  KERRO_FUZZ_CHECK(result.outcome == JobOutcome::WriteError, "unexpected outcome" + log);
  KERRO_FUZZ_CHECK(input.failOneChange, "a write error without a failing file change" + log);
  const bool atPath =
      fileSystem.files.count(path) == 1 && fileSystem.files[path] == input.schematic;
  const bool atBackup =
      fileSystem.files.count(backup) == 1 && fileSystem.files[backup] == input.schematic;
  KERRO_FUZZ_CHECK(atPath || atBackup, "a failed job lost the previous content" + log);
  return 0;
}
