#include "renumber/component_changes.h"

#include <algorithm>
#include <string>

#include "platform/memory.h"

namespace kerro {

void ChangeRecorder::note(ComponentEntry& component, ChangeableBytes& into) {
  const uint8_t* field = component.referenceField().data();
  std::copy(field, field + 1 + kReferenceCapacity, into.begin());
  into.back() = component.block();
}

// Both write and compare the bytes where they stand: bytes copied to the stack and then
// read wide stall each of a million components.
bool ChangeRecorder::holds(ComponentEntry& component, const ChangeableBytes& noted) {
  const uint8_t* field = component.referenceField().data();
  return std::equal(field, field + 1 + kReferenceCapacity, noted.begin()) &&
         component.block() == noted.back();
}

ChangeRecorder::ChangeRecorder(SchematicDocument& document) {
  ReserveLarge(before_, document.entries().size());
  before_.resize(document.entries().size());
  size_t index = 0;
  for (ComponentEntry& component : document.entries()) {
    note(component, before_[index++]);
  }
}

bool ChangeRecorder::anyChange(SchematicDocument& document) const {
  size_t index = 0;
  for (ComponentEntry& component : document.entries()) {
    if (!holds(component, before_[index++])) {
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
    changed += holds(component, before_[index++]) ? 0 : 1;
  }
  std::vector<ComponentChange> changes;
  ReserveLarge(changes, changed);
  index = 0;
  for (ComponentEntry& component : document.entries()) {
    const ChangeableBytes& old = before_[index++];
    if (holds(component, old)) {
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
