#include "renumber/renumber_job.h"

#include <algorithm>
#include <array>

#include "platform/little_endian.h"
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

ChangeableBytes changeableBytesOf(ComponentEntry& component) {
  ChangeableBytes bytes{};
  auto field = component.referenceField();
  std::copy(field.begin(), field.end(), bytes.begin());
  bytes.back() = component.block();
  return bytes;
}

std::vector<ChangeableBytes> snapshot(SchematicDocument& document) {
  std::vector<ChangeableBytes> before;
  before.reserve(document.entries().size());
  for (ComponentEntry& component : document.entries()) {
    before.push_back(changeableBytesOf(component));
  }
  return before;
}

std::vector<ComponentChange> changesSince(SchematicDocument& document,
                                          const std::vector<ChangeableBytes>& before) {
  std::vector<ComponentChange> changes;
  auto image = document.image();
  auto starts = document.sectionStarts();
  size_t section = 0;
  size_t index = 0;
  for (ComponentEntry& component : document.entries()) {
    const ChangeableBytes& old = before[index++];
    const size_t offset = component.recordOffset(image);
    // Entries come in file order, so the section only ever moves forward.
    while (section + 2 < starts.size() && offset >= starts[section + 1]) {
      ++section;
    }
    if (changeableBytesOf(component) == old) {
      continue;
    }
    ComponentChange change;
    change.section = static_cast<int>(section);
    change.x = ReadI16(image, offset + kXOffset);
    change.y = ReadI16(image, offset + kYOffset);
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

JobResult failure(JobOutcome outcome, const std::string& path) {
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
    return failure(JobOutcome::InitialOutOfRange, {});
  }
  if (request.step < kMinStep || request.step > kMaxStep) {
    return failure(JobOutcome::StepOutOfRange, {});
  }
  if (request.path.empty()) {
    return failure(JobOutcome::EmptyPath, {});
  }
  SchematicDocument document;
  if (!document.load(context.fileSystem, request.path)) {
    return failure(JobOutcome::ReadError, request.path);
  }
  // Removing the old backup would remove the schematic itself. Only a file that loaded is
  // refused so: one that is not there is a read error like any other.
  const std::string backupPath = MakeBackupName(request.path);
  if (backupPath == request.path) {
    return failure(JobOutcome::WriteError, request.path);
  }

  std::vector<ChangeableBytes> before;
  if (request.collectChanges) {
    before = snapshot(document);
  }
  if (request.edit) {
    request.edit(document);
  } else if (request.mode == NumberingMode::ByLibrary) {
    RenumberByLibrary(document, request.initial, request.step, request.path, context.fileSystem,
                      context.onLibraryError, context.libraryFolders);
  } else {
    RenumberPlain(document, request.initial, request.step);
  }

  JobResult result;
  if (request.collectChanges) {
    result.changes = changesSince(document, before);
  }
  if (request.writeFiles &&
      !SaveWithBackup(context.fileSystem, document, request.path, backupPath)) {
    return failure(JobOutcome::WriteError, request.path);
  }
  result.outcome = JobOutcome::Finished;
  return result;
}

}  // namespace kerro
