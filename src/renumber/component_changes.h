#pragma once
// The change list of a numbering run: the reference and block bytes of every component are
// noted before the run, and afterwards every component whose bytes differ is described.

#include <array>
#include <vector>

#include "renumber/renumber_job.h"
#include "schematic/schematic_document.h"

namespace kerro {

class ChangeRecorder {
 public:
  // Notes the present reference and block of every component of `document`.
  explicit ChangeRecorder(SchematicDocument& document);

  // Every component of the document whose reference or block differs from what was noted,
  // in file order. The document must be the one given to the constructor.
  std::vector<ComponentChange> changes(SchematicDocument& document) const;

 private:
  // The reference field (length byte and 8 characters), then the block.
  using ChangeableBytes = std::array<uint8_t, 1 + kReferenceCapacity + 1>;
  static ChangeableBytes changeableBytesOf(ComponentEntry& component);

  std::vector<ChangeableBytes> before_;
};

}  // namespace kerro
