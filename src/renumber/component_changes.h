#pragma once
// The change list of a numbering run: the reference and block bytes of every component are
// noted before the run, and afterwards every component whose bytes differ is described.

#include <algorithm>
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "schematic/schematic_document.h"

namespace kerro {

// A text of a component record, held in place: at most `Capacity` characters, which every
// field of a record fits. A change list of a million components so takes some 70 MB, where
// four strings a change took 150 MB that a run had to touch first and then free.
template <size_t Capacity>
class RecordText {
 public:
  RecordText() = default;
  // Implicit, so that a change is written down as its texts. Keeps the first `Capacity`
  // characters of a longer text.
  RecordText(std::string_view text) { assign(text); }
  RecordText(const char* text) : RecordText(std::string_view(text)) {}
  RecordText(const std::string& text) : RecordText(std::string_view(text)) {}

  // The same in place: a list of a million changes is filled without a copy of each text.
  void assign(std::string_view text) {
    size_ = static_cast<uint8_t>(std::min(text.size(), Capacity));
    std::copy_n(text.data(), size_, chars_.data());
  }

  std::string_view view() const { return {chars_.data(), size_}; }
  operator std::string_view() const { return view(); }
  size_t size() const { return size_; }

  friend bool operator==(const RecordText& a, const RecordText& b) { return a.view() == b.view(); }
  friend bool operator==(const RecordText& a, std::string_view b) { return a.view() == b; }
  friend bool operator==(const RecordText& a, const char* b) { return a.view() == b; }

 private:
  static_assert(Capacity <= UINT8_MAX);
  std::array<char, Capacity> chars_{};
  uint8_t size_ = 0;
};

// One component whose reference or block a run changed, with its texts as the file holds
// them. Each field is as wide as the record's, so a change takes 60 bytes.
struct ComponentChange {
  int32_t x = 0;  // position on its sheet, as stored in the record
  int16_t y = 0;
  uint8_t section = 0;  // 0 for the first section
  RecordText<kPartNameFieldSize> partName;
  RecordText<kPackageTagCapacity> packageTag;
  RecordText<kReferenceCapacity> oldReference;
  RecordText<kReferenceCapacity> newReference;
  uint8_t oldBlock = 0;
  uint8_t newBlock = 0;
};
static_assert(sizeof(ComponentChange) == 60);

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
  // Notes the changeable bytes of `component` in `into`.
  static void note(ComponentEntry& component, ChangeableBytes& into);
  // Whether `component` still holds the bytes noted in `noted`.
  static bool holds(ComponentEntry& component, const ChangeableBytes& noted);
  static std::string_view referenceIn(const ChangeableBytes& bytes);

  std::vector<ChangeableBytes> before_;
};

}  // namespace kerro
