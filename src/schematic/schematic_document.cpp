#include "schematic/schematic_document.h"

#include <algorithm>
#include <cstdio>

#include "platform/little_endian.h"
#include "platform/memory.h"

namespace kerro {

namespace {

// How far ahead of the walk over the records their bytes are fetched. Each record's
// length is read from the record itself, so the walk cannot run ahead of its own loads;
// fetched this far ahead, about two dozen components' lines are on the way at once.
constexpr size_t kWalkAhead = 1536;

}  // namespace

static_assert(sizeof(ComponentEntry) == sizeof(void*) + 8, "an entry is a pointer and 8 bytes");

ComponentEntry::ComponentEntry(std::span<uint8_t, kComponentRecordSize> record,
                               int32_t sectionOffset, int section)
    : record_(record),
      x_(ReadI16(record, kXOffset) + sectionOffset),
      y_(ReadI16(record, kYOffset)),
      section_(static_cast<uint8_t>(section)) {}

int32_t ComponentEntry::storedX() const {
  return ReadI16(record_, kXOffset);
}

void SchematicDocument::clear() {
  loaded_ = false;
  loadError_.clear();
  entries_.clear();
  sectionStarts_.clear();
  image_.clear();
  image_.shrink_to_fit();
}

bool SchematicDocument::load(FileSystem& fileSystem, const std::string& path) {
  clear();
  auto bytes = fileSystem.readFile(path);
  if (!bytes) {
    loadError_ = fileSystem.whyUnreadable(path);
    return false;
  }
  return loadImage(std::move(*bytes));
}

bool SchematicDocument::loadImage(std::vector<uint8_t> image) {
  clear();
  if (image.empty()) {
    loadError_ = "the file is empty";
    return false;
  }
  if (!HasSchematicSignature(image)) {
    loadError_ =
        image.size() < kHeaderRecordSize
            ? "not a schematic (" + std::to_string(image.size()) + " bytes)"
            : "not a schematic (no signature at byte " + std::to_string(kSignatureOffset) + ")";
    return false;
  }
  image_ = std::move(image);
  std::span<uint8_t> bytes(image_);
  // No file holds more components than fit in it; reserving that many spares a large
  // board the copies of a growing table, and untouched reserve costs no memory.
  ReserveLarge(entries_, bytes.size() / kComponentRecordSize);

  // The first section starts at offset 0 whatever the first record is, so that records
  // before the first header record are written back with the first section.
  sectionStarts_.push_back(0);
  int headers = 0;
  int32_t sectionOffset = 0;
  size_t offset = 0;
  while (offset < bytes.size()) {
    PrefetchForRead(bytes.data() + std::min(offset + kWalkAhead, bytes.size() - 1));
    size_t length = RecordLength(bytes, offset);
    if (length == 0) {
      std::string why = DescribeUnreadableRecord(bytes, offset);
      clear();
      loadError_ = std::move(why);
      return false;
    }
    const uint8_t kind = bytes[offset];
    if (kind == kComponentRecordKind) {
      entries_.emplace_back(bytes.subspan(offset).first<kComponentRecordSize>(), sectionOffset,
                            static_cast<int>(sectionStarts_.size()) - 1);
    } else if (kind == kHeaderRecordKind && headers < kMaxSections) {
      if (headers > 0) {
        sectionStarts_.push_back(offset);
      }
      ++headers;
      sectionOffset += kSectionWidth;
    }
    offset += length;
  }
  sectionStarts_.push_back(offset);
  loaded_ = true;
  return true;
}

std::span<const uint8_t> SchematicDocument::sectionBytes(int index) const {
  const auto i = static_cast<size_t>(index);
  return std::span<const uint8_t>(image_).subspan(sectionStarts_[i],
                                                  sectionStarts_[i + 1] - sectionStarts_[i]);
}

std::string SchematicDocument::SectionFileName(const std::string& path, int index) {
  if (index == 0) {
    return path;
  }
  char suffix[16];
  std::snprintf(suffix, sizeof suffix, "-%02d", index);
  return path + suffix;
}

bool SchematicDocument::save(FileSystem& fileSystem, const std::string& path) const {
  if (!loaded_) {
    return false;
  }
  for (int i = 0; i < sectionCount(); ++i) {
    if (!fileSystem.writeFile(SectionFileName(path, i), sectionBytes(i))) {
      return false;
    }
  }
  return true;
}

}  // namespace kerro
