#include "renumber/renumber_job.h"

#include <algorithm>
#include <optional>
#include <span>

#include "platform/paths.h"
#include "renumber/component_changes.h"
#include "renumber/design_job.h"
#include "renumber/renumber_by_library.h"
#include "renumber/renumber_design.h"
#include "renumber/safe_save.h"
#include "schematic/schematic_document.h"

namespace kerro {

namespace {

JobResult Failure(JobOutcome outcome, const std::string& path) {
  JobResult result;
  result.outcome = outcome;
  result.errorPath = path;
  return result;
}

}  // namespace

std::optional<NumberShortage> NumberWithLibraries(std::span<SchematicDocument* const> design,
                                                  const DesignNumbering& numbering,
                                                  const std::string& settingsPath,
                                                  JobContext& context) {
  const bool hasComponents = std::any_of(
      design.begin(), design.end(), [](SchematicDocument* d) { return !d->entries().empty(); });
  if (numbering.mode == NumberingMode::Plain || !hasComponents) {
    return RenumberDesign(design, numbering,
                          [](std::string_view) -> std::optional<int> { return std::nullopt; });
  }
  LibrarySet libraries(context.onLibraryError, context.fileSystem);
  libraries.setLibraryFolders(context.libraryFolders);
  libraries.loadLibraries(settingsPath);
  std::optional<NumberShortage> shortage =
      RenumberDesign(design, numbering, [&](std::string_view partName) -> std::optional<int> {
        const PartEntry* entry = libraries.findPart(partName);
        return entry ? std::optional<int>(entry->blockCount()) : std::nullopt;
      });
  libraries.freeLibraries();
  return shortage;
}

std::string MakeBackupName(const std::string& path, PathStyle style) {
  PathParts parts = SplitPath(path, style);
  if (parts.extension.size() <= 1) {
    parts.extension = ".$";
  } else {
    parts.extension.replace(1, CharacterSizeAt(parts.extension, 1, style), "$");
  }
  return JoinPath(parts);
}

JobResult RenumberJob(const JobRequest& request, JobContext& context) {
  if (request.initial < kMinInitial || request.initial > kMaxInitial) {
    return Failure(JobOutcome::InitialOutOfRange, {});
  }
  if (request.step < kMinStep || request.step > kMaxStep) {
    return Failure(JobOutcome::StepOutOfRange, {});
  }
  if (request.path.empty()) {
    return Failure(JobOutcome::EmptyPath, {});
  }
  // Loaded as a design of one file, so that a link is followed where every job follows it.
  LoadedDesign loaded = LoadDesign(context.fileSystem, std::span(&request.path, 1));
  if (!loaded.complete()) {
    return Failure(JobOutcome::ReadError, request.path);
  }
  SchematicDocument& document = loaded.documents.front();
  const std::string& file = loaded.files.front();
  // Removing the old backup would remove the schematic itself. Only a file that loaded is
  // refused so: one that is not there is a read error like any other.
  const std::string backupPath = MakeBackupName(file);
  if (backupPath == file) {
    return Failure(JobOutcome::WriteError, request.path);
  }

  std::optional<ChangeRecorder> recorder;
  if (request.collectChanges) {
    recorder.emplace(document);
  }
  JobResult result;
  if (request.edit) {
    request.edit(document);
  } else {
    const DesignNumbering numbering{request.initial, request.step, request.mode, {}};
    std::vector<SchematicDocument*> design = loaded.design();
    result.shortage = NumberWithLibraries(design, numbering, request.path, context);
    if (result.shortage) {
      result.outcome = JobOutcome::OutOfNumbers;
      result.errorPath = request.path;
      return result;
    }
  }

  if (request.collectChanges) {
    result.changes = recorder->changes(document);
  }
  if (request.writeFiles && !SaveWithBackup(context.fileSystem, document, file, backupPath)) {
    return Failure(JobOutcome::WriteError, request.path);
  }
  result.outcome = JobOutcome::Finished;
  return result;
}

}  // namespace kerro
