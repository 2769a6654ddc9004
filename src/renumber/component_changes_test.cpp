#include "renumber/component_changes.h"

#include <gtest/gtest.h>

#include <array>
#include <random>
#include <string>
#include <vector>

#include "testing/schematic_builder.h"

namespace kerro {
namespace {

using testing::ComponentRecord;
using testing::SchematicBuilder;

// The bytes a change is told by: the reference field (length byte and 8 characters), then
// the block.
using Noted = std::array<uint8_t, 1 + kReferenceCapacity + 1>;

Noted NotedOf(ComponentEntry& component) {
  Noted noted{};
  const std::span<uint8_t> field = component.referenceField();
  std::copy(field.begin(), field.end(), noted.begin());
  noted.back() = component.block();
  return noted;
}

// Random boards; random components have random bytes of their reference field or their
// block rewritten, the last character of a full reference and the block alone among them.
// The recorder lists exactly the components whose bytes differ, with their texts before
// and after, in file order.
TEST(ChangeRecorder, ListsExactlyTheComponentsWhoseBytesDiffer) {
  std::mt19937 random(2812);
  const auto pick = [&](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
  };
  const auto text = [&](int length) {
    std::string made;
    for (int i = 0; i < length; ++i) {
      made.push_back(static_cast<char>(pick('0', 'Z')));
    }
    return made;
  };
  for (int round = 0; round < 200; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    SchematicBuilder builder;
    const int sections = pick(1, 3);
    for (int section = 0; section < sections; ++section) {
      builder.header();
      for (int i = pick(0, 40); i > 0; --i) {
        ComponentRecord record;
        record.x = static_cast<int16_t>(pick(0, 4000));
        record.y = static_cast<int16_t>(pick(-3000, 3000));
        record.block = static_cast<uint8_t>(pick(0, 4));
        record.reference = "U" + text(pick(0, 7));
        record.partName = text(pick(0, 12));
        record.packageTag = text(pick(0, 6));
        builder.component(record);
      }
    }
    SchematicDocument document;
    ASSERT_TRUE(document.loadImage(builder.bytes()));
    const std::span<ComponentEntry> entries = document.entries();
    std::vector<Noted> before;
    for (ComponentEntry& component : entries) {
      before.push_back(NotedOf(component));
    }
    const ChangeRecorder recorder(document);

    for (ComponentEntry& component : entries) {
      const std::span<uint8_t> field = component.referenceField();
      switch (pick(0, 5)) {
        case 0:  // the last character of a full reference
          field[0] = static_cast<uint8_t>(kReferenceCapacity);
          field[kReferenceCapacity] ^= static_cast<uint8_t>(pick(1, 7));
          break;
        case 1:
          component.setBlock(static_cast<uint8_t>(component.block() + pick(1, 3)));
          break;
        case 2:  // any byte of the field, the length byte among them
          field[static_cast<size_t>(pick(0, kReferenceCapacity))] =
              static_cast<uint8_t>(pick(0, 255));
          break;
        default:
          break;
      }
    }

    std::vector<ComponentChange> expected;
    for (size_t i = 0; i < entries.size(); ++i) {
      ComponentEntry& component = entries[i];
      const Noted& old = before[i];
      if (NotedOf(component) == old) {
        continue;
      }
      ComponentChange change;
      change.x = component.storedX();
      change.y = static_cast<int16_t>(component.y());
      change.section = static_cast<uint8_t>(component.section());
      change.partName = component.partName();
      change.packageTag = component.packageTag();
      // A length byte read as signed: none at 0 or from 128 on, at most the capacity.
      const size_t length =
          old[0] == 0 || old[0] >= 128 ? 0 : std::min<size_t>(old[0], kReferenceCapacity);
      change.oldReference = std::string(old.begin() + 1, old.begin() + 1 + length);
      change.newReference = component.reference();
      change.oldBlock = old.back();
      change.newBlock = component.block();
      expected.push_back(change);
    }

    const std::vector<ComponentChange> changes = recorder.changes(document);
    ASSERT_EQ(changes.size(), expected.size());
    for (size_t i = 0; i < changes.size(); ++i) {
      SCOPED_TRACE("change " + std::to_string(i));
      EXPECT_EQ(changes[i].x, expected[i].x);
      EXPECT_EQ(changes[i].y, expected[i].y);
      EXPECT_EQ(changes[i].section, expected[i].section);
      EXPECT_EQ(changes[i].partName.view(), expected[i].partName.view());
      EXPECT_EQ(changes[i].packageTag.view(), expected[i].packageTag.view());
      EXPECT_EQ(changes[i].oldReference.view(), expected[i].oldReference.view());
      EXPECT_EQ(changes[i].newReference.view(), expected[i].newReference.view());
      EXPECT_EQ(changes[i].oldBlock, expected[i].oldBlock);
      EXPECT_EQ(changes[i].newBlock, expected[i].newBlock);
    }
    EXPECT_EQ(recorder.anyChange(document), !expected.empty());
  }
}

}  // namespace
}  // namespace kerro
