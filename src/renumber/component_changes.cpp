#include "renumber/component_changes.h"

#include <algorithm>
#include <string>

#include "platform/memory.h"

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

bool ChangeRecorder::anyChange(SchematicDocument& document) const {
  size_t index = 0;
  for (ComponentEntry& component : document.entries()) {
    if (changeableBytesOf(component) != before_[index++]) {
      return true;
    }
  }
  return false;
}

std::string_view ChangeRecorder::referenceIn(const ChangeableBytes& bytes) {
  return ReadLengthPrefixedText(std::span<const uint8_t>(bytes).first(1 + kReferenceCapacity),
                                kReferenceCapacity);
}

ChangeRecorder::Counts ChangeRecorder::count(SchematicDocument& document) const {
  Counts counts;
  size_t index = 0;
  for (ComponentEntry& component : document.entries()) {
    const ChangeableBytes& old = before_[index++];
    counts.references += referenceIn(old) != component.reference() ? 1 : 0;
    counts.blocks += old.back() != component.block() ? 1 : 0;
  }
  return counts;
}

std::string_view ChangeRecorder::referenceBefore(size_t entry) const {
  return referenceIn(before_[entry]);
}

std::vector<ComponentChange> ChangeRecorder::changes(SchematicDocument& document) const {
  // Room for exactly the changes, so that a million of them are not moved as the list
  // grows: a first pass only compares bytes.
  size_t changed = 0;
  size_t index = 0;
  for (ComponentEntry& component : document.entries()) {
    changed += changeableBytesOf(component) != before_[index++] ? 1 : 0;
  }
  std::vector<ComponentChange> changes;
  ReserveLarge(changes, changed);
  index = 0;
  for (ComponentEntry& component : document.entries()) {
    const ChangeableBytes& old = before_[index++];
    if (changeableBytesOf(component) == old) {
      continue;
    }
    // Filled where it stands: texts made on the stack and then copied cost each change
    // several stalls of a wide read after narrow writes.
    ComponentChange& change = changes.emplace_back();
    change.section = static_cast<uint8_t>(component.section());
    change.x = component.storedX();
    change.y = static_cast<int16_t>(component.y());
    change.partName.assign(component.partName());
    change.packageTag.assign(component.packageTag());
    change.oldReference.assign(referenceIn(old));
    change.newReference.assign(component.reference());
    change.oldBlock = old.back();
    change.newBlock = component.block();
  }
  return changes;
}

}  // namespace kerro
