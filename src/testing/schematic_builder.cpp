#include "testing/schematic_builder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <stdexcept>

#include "schematic/schematic_document.h"

namespace kerro::testing {

namespace {

constexpr std::array<size_t, 10> kLengths = {6, 6, 10, 10, 10, 18, 18, 38, 60, 60};

void PutU16(std::vector<uint8_t>& bytes, size_t offset, uint16_t value) {
  bytes[offset] = static_cast<uint8_t>(value & 0xFF);
  bytes[offset + 1] = static_cast<uint8_t>(value >> 8);
}

// Writes a length byte and the text into a field of 1 + capacity bytes, leaving the
// pattern in the bytes the text does not cover.
void PutText(std::vector<uint8_t>& record, size_t offset, size_t capacity, const std::string& text,
             std::optional<uint8_t> lengthByte) {
  record[offset] = lengthByte ? *lengthByte : static_cast<uint8_t>(text.size());
  std::copy_n(text.begin(), std::min(text.size(), capacity), record.data() + offset + 1);
}

}  // namespace

ComponentRecord PlacedPart(const std::string& partName, const std::string& reference, int16_t x,
                           int16_t y, uint8_t block) {
  return {.x = x,
          .y = y,
          .block = block,
          .packageTag = partName,
          .reference = reference,
          .partName = partName};
}

size_t FixedRecordLength(uint8_t kind) {
  if (kind >= kLengths.size()) {
    throw std::invalid_argument("no fixed length for this kind");
  }
  return kLengths[kind];
}

uint8_t SchematicBuilder::nextFill() {
  fill_ = fill_ * 1103515245u + 12345u;
  return static_cast<uint8_t>((fill_ >> 16) | 1);  // never 0, so it can't end a text early
}

void SchematicBuilder::appendFill(size_t count) {
  for (size_t i = 0; i < count; ++i) {
    bytes_.push_back(nextFill());
  }
}

SchematicBuilder& SchematicBuilder::header(const std::string& signature) {
  const size_t start = bytes_.size();
  appendFill(60);
  bytes_[start] = 9;
  std::fill_n(bytes_.begin() + static_cast<ptrdiff_t>(start + 2), 20, uint8_t{0});
  std::copy_n(signature.begin(), std::min<size_t>(signature.size(), 18),
              bytes_.begin() + static_cast<ptrdiff_t>(start + 2));
  bytes_[start + 20] = 0x1A;
  bytes_[start + 21] = 0;
  return *this;
}

SchematicBuilder& SchematicBuilder::component(const ComponentRecord& record) {
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < 60; ++i) {
    bytes.push_back(nextFill());
  }
  bytes[0] = 8;
  PutU16(bytes, 2, static_cast<uint16_t>(record.x));
  PutU16(bytes, 4, static_cast<uint16_t>(record.y));
  bytes[11] = record.block;
  PutText(bytes, 12, 15, record.packageTag, record.packageTagLengthByte);
  PutText(bytes, 32, 8, record.reference, record.referenceLengthByte);
  if (record.cleanReferenceField) {
    std::fill(
        bytes.begin() + 33 + static_cast<ptrdiff_t>(std::min<size_t>(record.reference.size(), 8)),
        bytes.begin() + 41, uint8_t{0});
  }
  std::copy_n(record.partName.begin(), std::min<size_t>(record.partName.size(), 16),
              bytes.begin() + 44);
  if (record.partName.size() < 16) {
    bytes[44 + record.partName.size()] = 0;
  }
  bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
  return *this;
}

SchematicBuilder& SchematicBuilder::fixedRecord(uint8_t kind) {
  if (kind > 7) {
    throw std::invalid_argument("fixed records are kinds 0 to 7");
  }
  const size_t start = bytes_.size();
  appendFill(kLengths[kind]);
  bytes_[start] = kind;
  return *this;
}

SchematicBuilder& SchematicBuilder::variableRecord(uint8_t kind, int16_t length) {
  if (kind < 16 || length < 12) {
    throw std::invalid_argument("variable records are kinds 16 to 255, 12 bytes or more");
  }
  const size_t start = bytes_.size();
  appendFill(static_cast<size_t>(length));
  bytes_[start] = kind;
  PutU16(bytes_, start + 10, static_cast<uint16_t>(length));
  return *this;
}

SchematicBuilder& SchematicBuilder::raw(const std::vector<uint8_t>& bytes) {
  bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
  return *this;
}

std::vector<uint8_t> SmallUnnumberedBoard() {
  SchematicBuilder builder;
  builder.header()
      .component({.x = 10, .y = 20, .packageTag = "RES", .reference = "R5", .partName = "RES"})
      .component({.x = 30, .y = 40, .packageTag = "RES", .reference = "R2", .partName = "RES"})
      .component({.x = 50, .y = 60, .packageTag = "CAP", .reference = "C1", .partName = "CAP"});
  return builder.bytes();
}

std::vector<std::string> ReferencesIn(const std::vector<uint8_t>& file) {
  SchematicDocument document;
  EXPECT_TRUE(document.loadImage(file));
  std::vector<std::string> references;
  for (const ComponentEntry& entry : document.entries()) {
    references.emplace_back(entry.reference());
  }
  return references;
}

}  // namespace kerro::testing
