#include "renumber/renumber_job.h"

#include <algorithm>
#include <array>

#include "platform/paths.h"
#include "renumber/renumber_by_library.h"
#include "renumber/renumber_plain.h"
#include "renumber/safe_save.h"
#include "schematic/schematic_document.h"

namespace kerro {

namespace {

// The bytes of one component that a numbering mode may change: the reference field
// (length byte and 8 characters), then the block.
using ChangeableBytes = std::array<uint8_t, 1 + kReferenceCapacity + 1>;

ChangeableBytes ChangeableBytesOf(ComponentEntry& component) {
  ChangeableBytes bytes{};
  auto field = component.referenceField();
  std::copy(field.begin(), field.end(), bytes.begin());
  bytes.back() = component.block();
  return bytes;
}

std::vector<ChangeableBytes> Snapshot(SchematicDocument& document) {
  std::vector<ChangeableBytes> before;
  before.reserve(document.entries().size());
  for (ComponentEntry& component : document.entries()) {
    before.push_back(ChangeableBytesOf(component));
  }
  return before;
}

std::vector<ComponentChange> ChangesSince(SchematicDocument& document,
                                          const std::vector<ChangeableBytes>& before) {
  std::vector<ComponentChange> changes;
  size_t index = 0;
  for (ComponentEntry& component : document.entries()) {
    const ChangeableBytes& old = before[index++];
    if (ChangeableBytesOf(component) == old) {
      continue;
    }
    ComponentChange change;
    change.section = component.section();
    change.x = component.storedX();
    change.y = component.y();
    change.partName = std::string(component.partName());
    change.packageTag = std::string(component.packageTag());
    change.oldReference = std::string(ReadLengthPrefixedText(
        std::span<const uint8_t>(old).first(1 + kReferenceCapacity), kReferenceCapacity));
    change.newReference = std::string(component.reference());
    change.oldBlock = old.back();
    change.newBlock = component.block();
    changes.push_back(std::move(change));
  }
  return changes;
}

JobResult Failure(JobOutcome outcome, const std::string& path) {
  JobResult result;
  result.outcome = outcome;
  result.errorPath = path;
  return result;
}

}  // namespace

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
  SchematicDocument document;
  if (!document.load(context.fileSystem, request.path)) {
    return Failure(JobOutcome::ReadError, request.path);
  }
  // Removing the old backup would remove the schematic itself. Only a file that loaded is
  // refused so: one that is not there is a read error like any other.
  const std::string backupPath = MakeBackupName(request.path);
  if (backupPath == request.path) {
    return Failure(JobOutcome::WriteError, request.path);
  }

  std::vector<ChangeableBytes> before;
  if (request.collectChanges) {
    before = Snapshot(document);
  }
  if (request.edit) {
    request.edit(document);
  } else if (request.mode == NumberingMode::ByLibrary) {
    RenumberByLibrary(document, request.initial, request.step, request.path, context.fileSystem,
                      context.onLibraryError);
  } else {
    RenumberPlain(document, request.initial, request.step);
  }

  JobResult result;
  if (request.collectChanges) {
    result.changes = ChangesSince(document, before);
  }
  if (request.writeFiles &&
      !SaveWithBackup(context.fileSystem, document, request.path, backupPath)) {
    return Failure(JobOutcome::WriteError, request.path);
  }
  result.outcome = JobOutcome::Finished;
  return result;
}

}  // namespace kerro
