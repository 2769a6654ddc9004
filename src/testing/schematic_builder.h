#pragma once
// Writes schematic files for tests, record by record. Bytes that the reader does not
// interpret are filled with a running pattern, so that a test comparing images notices
// any byte that moved or changed.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kerro::testing {

struct ComponentRecord {
  int16_t x = 0;
  int16_t y = 0;
  uint8_t block = 0;
  std::string packageTag;
  std::string reference;
  std::string partName;
  // Length bytes to store instead of the texts' lengths (for malformed fields).
  std::optional<uint8_t> packageTagLengthByte;
  std::optional<uint8_t> referenceLengthByte;
  // Zeros after the reference in its field, as on a board whose fields were written clean.
  bool cleanReferenceField = false;
};

// A placed part whose package tag is its part name, as the editor gives it.
ComponentRecord PlacedPart(const std::string& partName, const std::string& reference, int16_t x,
                           int16_t y, uint8_t block = 0);

class SchematicBuilder {
 public:
  inline static const std::string kSignature0 = "CE DATA FILE $0000";
  inline static const std::string kSignature1 = "CE DATA FILE $0001";

  // A header record; the first one opens the file, every further one a new section.
  SchematicBuilder& header(const std::string& signature = kSignature0);
  SchematicBuilder& component(const ComponentRecord& record);
  // A record of kind 0 to 7 with its fixed length.
  SchematicBuilder& fixedRecord(uint8_t kind);
  // A record of kind 16 to 255 of `length` bytes (at least 12), its length field set.
  SchematicBuilder& variableRecord(uint8_t kind, int16_t length);
  // Any bytes, for malformed files.
  SchematicBuilder& raw(const std::vector<uint8_t>& bytes);

  const std::vector<uint8_t>& bytes() const { return bytes_; }
  size_t size() const { return bytes_.size(); }

 private:
  uint8_t nextFill();
  void appendFill(size_t count);

  std::vector<uint8_t> bytes_;
  uint32_t fill_ = 0x5A;
};

// Length in bytes of a record of kind 0 to 9.
size_t FixedRecordLength(uint8_t kind);

// A one-section board of R5, R2 and C1 (tags RES, RES, CAP), which plain numbering turns
// into R2, R1 and C1.
std::vector<uint8_t> SmallUnnumberedBoard();

// The references of the components of a schematic file, in file order; a file that does
// not load fails the calling test and gives none.
std::vector<std::string> ReferencesIn(const std::vector<uint8_t>& file);

}  // namespace kerro::testing
