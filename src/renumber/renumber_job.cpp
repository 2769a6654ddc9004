#include "renumber/renumber_job.h"

#include <algorithm>
#include <optional>
#include <span>

#include "platform/memory.h"
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

// Removing the old backup would remove the schematic itself.
bool IsOwnBackup(const std::string& path) {
  return MakeBackupName(path) == path;
}

// The files of the request, each once, in order.
std::vector<std::string> PathsOf(const JobRequest& request) {
  std::vector<std::string> paths{request.path};
  paths.insert(paths.end(), request.together.begin(), request.together.end());
  return paths;
}

// Before anything is changed: every file read, none its own backup, no two meeting.
std::optional<JobResult> RefuseToStart(const LoadedDesign& loaded) {
  if (!loaded.complete()) {
    JobResult failed = Failure(JobOutcome::ReadError, loaded.failedPath);
    failed.errorCause = loaded.failedBecause;
    return failed;
  }
  // Only a file that loaded is refused so: one that is not there is a read error like
  // any other.
  for (size_t d = 0; d < loaded.files.size(); ++d) {
    if (IsOwnBackup(loaded.paths[d]) || IsOwnBackup(loaded.files[d])) {
      return Failure(JobOutcome::WriteError, loaded.paths[d]);
    }
  }
  if (std::optional<std::pair<std::string, std::string>> shared = FindSharedFile(loaded)) {
    JobResult result;
    result.outcome = JobOutcome::SharedFile;
    result.sharedFile = std::move(shared);
    return result;
  }
  return std::nullopt;
}

}  // namespace

LibraryNumbering NumberWithLibraries(std::span<SchematicDocument* const> design,
                                     const DesignNumbering& numbering,
                                     const std::string& settingsPath, JobContext& context,
                                     std::vector<DocumentChanges>* changedDocuments) {
  const bool hasComponents = std::any_of(
      design.begin(), design.end(), [](SchematicDocument* d) { return !d->entries().empty(); });
  if (numbering.mode == NumberingMode::Plain || !hasComponents) {
    return {RenumberDesign(
        design, numbering, [](std::string_view) -> std::optional<int> { return std::nullopt; },
        changedDocuments)};
  }
  LibrarySet libraries(context.onLibraryError, context.fileSystem);
  libraries.setLibraryFolders(context.libraryFolders);
  if (!libraries.loadLibraries(settingsPath) && context.libraryFailureStops) {
    return {std::nullopt, libraries.failure()};
  }
  std::optional<NumberShortage> shortage = RenumberDesign(
      design, numbering,
      [&](std::string_view partName) { return libraries.blockCountOf(partName); },
      changedDocuments);
  libraries.freeLibraries();
  return {std::move(shortage)};
}

JobRequest NumberingRequest(std::span<const std::string> files, const DesignNumbering& numbering) {
  JobRequest request;
  request.path = files.front();
  request.together.assign(files.begin() + 1, files.end());
  request.initial = numbering.initial;
  request.step = numbering.step;
  request.mode = numbering.mode;
  request.controls = numbering.controls;
  return request;
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
  const std::vector<std::string> paths = PathsOf(request);
  LoadedDesign loaded = LoadDesign(context.fileSystem, paths);
  if (std::optional<JobResult> refused = RefuseToStart(loaded)) {
    return *std::move(refused);
  }

  // The change list, and what an edit changed, come from notes of every component taken
  // before; numbering tells what it changed by itself, and counts it.
  std::vector<ChangeRecorder> recorders;
  if (request.collectChanges || request.edit || request.inspect) {
    for (SchematicDocument& document : loaded.documents) {
      recorders.emplace_back(document);
    }
  }
  std::vector<DocumentChanges> numberedChanges;
  JobResult result;
  if (request.edit) {
    for (SchematicDocument& document : loaded.documents) {
      request.edit(document);
    }
  } else {
    const DesignNumbering numbering{request.initial, request.step, request.mode, request.controls};
    const std::vector<SchematicDocument*> design = loaded.design();
    LibraryNumbering numbered =
        NumberWithLibraries(design, numbering, request.path, context, &numberedChanges);
    if (numbered.libraryFailure) {
      JobResult failed = Failure(JobOutcome::ReadError, numbered.libraryFailure->paths);
      failed.errorCause = numbered.libraryFailure->cause;
      return failed;
    }
    result.shortage = std::move(numbered.shortage);
    if (result.shortage) {
      result.outcome = JobOutcome::OutOfNumbers;
      result.errorPath = loaded.paths[result.shortage->document];
      return result;
    }
  }
  if (request.inspect) {
    request.inspect({loaded.paths, loaded.documents, recorders, request.mode, &request.controls});
  }
  std::vector<bool> toWrite(loaded.documents.size());
  for (size_t d = 0; d < loaded.documents.size(); ++d) {
    SchematicDocument& document = loaded.documents[d];
    if (request.collectChanges) {
      result.changes.push_back({loaded.paths[d], recorders[d].changes(document)});
    }
    const bool changed =
        request.edit ? recorders[d].anyChange(document) : numberedChanges[d].anyByte;
    toWrite[d] = document.sectionCount() > 1 || changed;
    if (toWrite[d]) {
      result.written.push_back(loaded.paths[d]);
    }
    if (request.summarize) {
      ChangeRecorder::Counts counts;
      if (request.edit) {
        counts = recorders[d].count(document);
      } else {
        counts = {numberedChanges[d].references, numberedChanges[d].blocks};
      }
      result.summaries.push_back(
          {loaded.paths[d], document.sectionCount(), counts.references, counts.blocks, toWrite[d]});
    }
  }
  if (request.writeFiles && request.beforeWrite) {
    // The report is made beside the board and its change list: the notes, and the tables
    // the numbering freed, make room for it first.
    recorders.clear();
    ReleaseFreedMemory();
    if (std::optional<std::string> unwritten = request.beforeWrite(result.changes)) {
      return Failure(JobOutcome::WriteError, *unwritten);
    }
  }
  if (request.writeFiles) {
    for (size_t d = 0; d < loaded.files.size(); ++d) {
      if (!toWrite[d]) {
        // Nothing is written, but what a killed run left beside the file goes, as a save
        // would remove it.
        FreeTemporaryName(context.fileSystem, loaded.files[d]);
        FreeTemporaryName(context.fileSystem, MakeBackupName(loaded.files[d]));
      }
    }
    result.save = SaveDesign(context.fileSystem, loaded, toWrite);
    if (!result.save.ok()) {
      result.outcome = JobOutcome::WriteError;
      result.errorPath = result.save.left.front();
      return result;
    }
  }
  result.outcome = JobOutcome::Finished;
  return result;
}

}  // namespace kerro
