#include "fuzz_checks.h"

#include <stdlib.h>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

#include "library/part_model.h"

namespace kerro::fuzz {

namespace {

constexpr size_t kComponentLength = 60;
constexpr size_t kBlock = 11;
constexpr size_t kReference = 32;
constexpr size_t kReferenceField = 9;  // length byte and 8 characters

}  // namespace

void Fail(const char* file, int line, const std::string& what) {
  std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, what.c_str());
  std::abort();
}

std::optional<std::vector<size_t>> ComponentRecordOffsets(std::span<const uint8_t> image) {
  static const char* const kSignatures[] = {"CE DATA FILE $0000\x1A", "CE DATA FILE $0001\x1A"};
  if (image.size() < 60) {
    return std::nullopt;
  }
  const bool signed0 = std::memcmp(image.data() + 2, kSignatures[0], 20) == 0;
  const bool signed1 = std::memcmp(image.data() + 2, kSignatures[1], 20) == 0;
  if (!signed0 && !signed1) {
    return std::nullopt;
  }
  static const size_t kLengths[10] = {6, 6, 10, 10, 10, 18, 18, 38, 60, 60};
  std::vector<size_t> components;
  size_t at = 0;
  while (at < image.size()) {
    const uint8_t kind = image[at];
    long length = 0;
    if (kind < 10) {
      length = static_cast<long>(kLengths[kind]);
    } else if (kind >= 16 && image.size() - at >= 12) {
      length = static_cast<int16_t>(image[at + 10] | (image[at + 11] << 8));
    }
    if (length <= 0 || static_cast<size_t>(length) > image.size() - at) {
      return std::nullopt;
    }
    if (kind == 8) {
      components.push_back(at);
    }
    at += static_cast<size_t>(length);
  }
  return components;
}

std::string StrayDifference(std::span<const uint8_t> before, std::span<const uint8_t> after,
                            const std::vector<size_t>& components, bool blocksMayChange) {
  if (before.size() != after.size()) {
    return "size " + std::to_string(before.size()) + " became " + std::to_string(after.size());
  }
  std::vector<bool> changeable(before.size(), false);
  for (size_t record : components) {
    if (record + kComponentLength > before.size()) {
      return "component record past the end at " + std::to_string(record);
    }
    changeable[record + kBlock] = blocksMayChange;
    bool referenceChanged = false;
    for (size_t i = 0; i < kReferenceField; ++i) {
      changeable[record + kReference + i] = true;
      referenceChanged |= before[record + kReference + i] != after[record + kReference + i];
    }
    const uint8_t length = after[record + kReference];
    if (referenceChanged && (length == 0 || length > 8)) {
      return "reference of the record at " + std::to_string(record) + " written with length " +
             std::to_string(length);
    }
  }
  for (size_t i = 0; i < before.size(); ++i) {
    if (before[i] != after[i] && !changeable[i]) {
      return "byte " + std::to_string(i) + " changed outside the numbering fields";
    }
  }
  return {};
}

std::vector<uint8_t> Bytes(std::string_view text) {
  return {text.begin(), text.end()};
}

const std::string& ScratchFolder() {
  // Removed with its files by the destructor, when the process exits normally.
  struct Folder {
    Folder() {
      // Memory-backed where there is such a folder: the profile writer syncs every write.
      std::error_code error;
      const std::filesystem::path base = std::filesystem::is_directory("/dev/shm", error)
                                             ? std::filesystem::path("/dev/shm")
                                             : std::filesystem::temp_directory_path();
      path = (base / "kerro-fuzz-XXXXXX").string();
      KERRO_FUZZ_CHECK(::mkdtemp(path.data()) != nullptr, "cannot make a scratch folder");
    }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    ~Folder() {
      std::error_code ignored;
      std::filesystem::remove_all(path, ignored);
    }
    std::string path;
  };
  static const Folder folder;
  return folder.path;
}

void WriteFileOrDie(const std::string& path, std::span<const uint8_t> bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  out.close();
  KERRO_FUZZ_CHECK(!out.fail(), "cannot write " + path);
}

std::optional<std::vector<uint8_t>> ReadFileIfAny(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    return std::nullopt;
  }
  return std::vector<uint8_t>{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void CheckLibrary(const PartLibrary& library, bool empty) {
  if (empty) {
    KERRO_FUZZ_CHECK(library.entries().empty() && library.bodies().empty() &&
                         library.patterns().empty() && !library.fileName(),
                     "a failed load left parts in the library");
    return;
  }
  std::set<const PartBody*> bodies;
  for (const auto& body : library.bodies()) {
    bodies.insert(body.get());
  }
  std::set<const PartPattern*> patterns;
  for (const auto& pattern : library.patterns()) {
    patterns.insert(pattern.get());
  }
  auto checkBitmap = [](const PartBitmap* bitmap) {
    if (bitmap != nullptr) {
      KERRO_FUZZ_CHECK(bitmap->rows.size() == bitmap->rowBytes() * bitmap->height,
                       "bitmap rows do not match its size");
    }
  };
  size_t bytes = 0;
  for (int32_t i = 0; i < library.entryCount(); ++i) {
    const PartEntry* entry = library.entryAt(i);
    KERRO_FUZZ_CHECK(entry == &library.entries()[static_cast<size_t>(i)], "entryAt is off");
    KERRO_FUZZ_CHECK(entry->name.find('\0') == std::string::npos, "a name holds a NUL");
    bytes += entry->name.size();
    if (entry->body == nullptr) {
      continue;
    }
    KERRO_FUZZ_CHECK(bodies.count(entry->body) == 1, "an entry's body is not the library's");
    KERRO_FUZZ_CHECK(entry->blockCount() >= 0 && entry->blockCount() <= 256,
                     "block count out of range");
  }
  KERRO_FUZZ_CHECK(
      library.entryAt(-1) == nullptr && library.entryAt(library.entryCount()) == nullptr,
      "entryAt outside the entries");
  for (const auto& body : library.bodies()) {
    bytes += body->refPrefix.size();
    checkBitmap(body->bitmap.get());
    KERRO_FUZZ_CHECK(body->pattern == nullptr || patterns.count(body->pattern) == 1,
                     "a body's pattern is not the library's");
    for (const PartPin& pin : body->pins) {
      KERRO_FUZZ_CHECK(pin.side() >= 0 && pin.side() <= 3, "pin side out of range");
      if (pin.pinName()) {
        bytes += pin.pinName()->size();
      }
      for (const auto& number : pin.pinNumbers()) {
        if (number) {
          KERRO_FUZZ_CHECK(!number->empty() && (number->front() == '+' || number->front() == '-'),
                           "a pin number without its sign");
          bytes += number->size();
        }
      }
    }
  }
  for (const auto& pattern : library.patterns()) {
    checkBitmap(pattern->bitmap.get());
    bytes += pattern->name.size();
  }
  (void)bytes;
}

}  // namespace kerro::fuzz
