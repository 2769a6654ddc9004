#pragma once
// One schematic file held in memory while it is renumbered: the whole file as one byte
// image, a Component entry for every component record, and the table of section starts.
// Nothing is parsed into objects and written out again; the numbering modes edit the
// reference and block fields in place, so every other byte goes back unchanged.

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"
#include "schematic/schematic_format.h"

namespace kerro {

// One component record seen through the document. Its fields are views into the
// document's image, so an entry is valid only while that image lives.
class ComponentEntry {
 public:
  // `section` counts from 0; `sectionOffset` is what x adds to the stored position.
  ComponentEntry(std::span<uint8_t, kComponentRecordSize> record, int32_t sectionOffset,
                 int section);

  // Horizontal position plus 5000 for each section up to and including this one.
  int32_t x() const { return x_; }
  int32_t y() const { return y_; }
  // The horizontal position as the record stores it, on the component's own sheet.
  int32_t storedX() const;
  // The same record seen `shift` further to the right, as in a design where sheets of
  // other files come before it.
  ComponentEntry shiftedBy(int32_t shift) const {
    ComponentEntry shifted = *this;
    shifted.x_ += shift;
    return shifted;
  }
  // The section the record lies in, from 0.
  int section() const { return section_; }

  uint8_t block() const { return record_[kBlockOffset]; }
  void setBlock(uint8_t block) { record_[kBlockOffset] = block; }

  std::string_view packageTag() const {
    return ReadLengthPrefixedText(record_.subspan(kPackageTagOffset, 1 + kPackageTagCapacity),
                                  kPackageTagCapacity);
  }
  std::string_view reference() const {
    return ReadLengthPrefixedText(record_.subspan(kReferenceOffset, 1 + kReferenceCapacity),
                                  kReferenceCapacity);
  }
  std::string_view partName() const {
    auto field = record_.subspan(kPartNameOffset, kPartNameFieldSize);
    auto end = std::find(field.begin(), field.end(), uint8_t{0});
    return {reinterpret_cast<const char*>(field.data()), static_cast<size_t>(end - field.begin())};
  }

  // The reference field: its length byte and 8 character bytes.
  std::span<uint8_t> referenceField() {
    return record_.subspan(kReferenceOffset, 1 + kReferenceCapacity);
  }

  // The record's first byte, for a caller that fetches many records ahead of reading them.
  const uint8_t* recordStart() const { return record_.data(); }

  // Offset of the record within the file.
  size_t recordOffset(std::span<const uint8_t> image) const {
    return static_cast<size_t>(record_.data() - image.data());
  }

 private:
  // Every component record has the same size, so the span is a pointer only.
  std::span<uint8_t, kComponentRecordSize> record_;
  int32_t x_;
  // The stored y and the section fit beside x, so an entry stays 16 bytes: a large
  // board's table of entries is one of the largest a run touches.
  int16_t y_;
  uint8_t section_;
};

class SchematicDocument {
 public:
  SchematicDocument() = default;
  SchematicDocument(const SchematicDocument&) = delete;
  SchematicDocument& operator=(const SchematicDocument&) = delete;
  // Moving keeps the image's buffer, so the entries stay valid.
  SchematicDocument(SchematicDocument&&) = default;
  SchematicDocument& operator=(SchematicDocument&&) = default;

  // Reads the whole file (exclusively) and walks its records. Returns false, keeping
  // nothing, if the file cannot be read or is not a valid schematic.
  bool load(FileSystem& fileSystem, const std::string& path);

  // The same from bytes already in memory.
  bool loadImage(std::vector<uint8_t> image);

  // Writes every section to its own file: `path`, then `path`-01, `path`-02 ... Returns
  // false without writing if nothing is loaded, and false at the first failed write.
  bool save(FileSystem& fileSystem, const std::string& path) const;

  bool isLoaded() const { return loaded_; }
  // Why the last load failed, in words ("not a schematic (no signature at byte 2)", "is a
  // folder" ...); empty after a load that succeeded.
  const std::string& loadError() const { return loadError_; }
  std::span<const uint8_t> image() const { return image_; }
  std::span<ComponentEntry> entries() { return entries_; }
  std::span<const ComponentEntry> entries() const { return entries_; }

  int sectionCount() const { return static_cast<int>(sectionStarts_.size()) - 1; }
  // Start offset of each section; one more element holds the end of the image.
  std::span<const size_t> sectionStarts() const { return sectionStarts_; }
  // The bytes that the file of section `index` holds.
  std::span<const uint8_t> sectionBytes(int index) const;

  // Name of the file that section `index` is written to ("%s-%02d" after the first).
  static std::string SectionFileName(const std::string& path, int index);

 private:
  void clear();

  bool loaded_ = false;
  std::string loadError_;
  std::vector<uint8_t> image_;
  std::vector<ComponentEntry> entries_;
  std::vector<size_t> sectionStarts_;
};

}  // namespace kerro
