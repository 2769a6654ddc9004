#include "renumber/component_changes.h"

#include <algorithm>
#include <string>

#include "platform/little_endian.h"

namespace kerro {

ChangeRecorder::ChangeableBytes ChangeRecorder::changeableBytesOf(ComponentEntry& component) {
  ChangeableBytes bytes{};
  auto field = component.referenceField();
  std::copy(field.begin(), field.end(), bytes.begin());
  bytes.back() = component.block();
  return bytes;
}

ChangeRecorder::ChangeRecorder(SchematicDocument& document) {
  before_.reserve(document.entries().size());
  for (ComponentEntry& component : document.entries()) {
    before_.push_back(changeableBytesOf(component));
  }
}

std::vector<ComponentChange> ChangeRecorder::changes(SchematicDocument& document) const {
  std::vector<ComponentChange> changes;
  auto image = document.image();
  auto starts = document.sectionStarts();
  size_t section = 0;
  size_t index = 0;
  for (ComponentEntry& component : document.entries()) {
    const ChangeableBytes& old = before_[index++];
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

}  // namespace kerro
