#pragma once
// The change list of a numbering run: the reference and block bytes of every component are
// noted before the run, and afterwards every component whose bytes differ is described.

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "schematic/schematic_document.h"

namespace kerro {

// One component whose reference or block a run changed.
struct ComponentChange {
  int section = 0;  // 0 for the first section
  int32_t x = 0;    // position on its sheet, as stored in the record
  int32_t y = 0;
  std::string partName;
  std::string packageTag;
  std::string oldReference;
  std::string newReference;
  int oldBlock = 0;
  int newBlock = 0;
};

// The changes of one file, in file order.
struct FileChanges {
  std::string path;  // as given
  std::vector<ComponentChange> changes;
};

class ChangeRecorder {
 public:
  // Notes the present reference and block of every component of `document`.
  explicit ChangeRecorder(SchematicDocument& document);

  // Every component of the document whose reference or block differs from what was noted,
  // in file order. The document must be the one given to the constructor.
  std::vector<ComponentChange> changes(SchematicDocument& document) const;

  // Whether any component's reference or block differs from what was noted.
  bool anyChange(SchematicDocument& document) const;

  // How many components' references, and how many blocks, differ from what was noted.
  struct Counts {
    size_t references = 0;
    size_t blocks = 0;
  };
  Counts count(SchematicDocument& document) const;
  // What component `entry` (its index in the document's entries) held when noted.
  std::string_view referenceBefore(size_t entry) const;
  int blockBefore(size_t entry) const { return before_[entry].back(); }

 private:
  // The reference field (length byte and 8 characters), then the block.
  using ChangeableBytes = std::array<uint8_t, 1 + kReferenceCapacity + 1>;
  static ChangeableBytes changeableBytesOf(ComponentEntry& component);
  static std::string_view referenceIn(const ChangeableBytes& bytes);

  std::vector<ChangeableBytes> before_;
};

}  // namespace kerro
