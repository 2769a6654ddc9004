#pragma once
// Checks shared by the fuzz targets. A failed check prints what it found and aborts, which
// the fuzzer records as a finding with the input that caused it.
//
// The record walk here is written apart from the schematic reader on purpose: it is the
// second opinion the targets compare the reader with.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace kerro::fuzz {

[[noreturn]] void Fail(const char* file, int line, const std::string& what);

#define KERRO_FUZZ_CHECK(condition, what)              \
  do {                                                 \
    if (!(condition)) {                                \
      ::kerro::fuzz::Fail(__FILE__, __LINE__, (what)); \
    }                                                  \
  } while (false)

// Offsets of the component records of a schematic image, walking its records by the kind
// table. Returns nullopt for an image without a signature, with an invalid kind, with a
// variable record of length 0 or less, or with a record that runs past the end.
std::optional<std::vector<size_t>> ComponentRecordOffsets(std::span<const uint8_t> image);

// Returns an empty text if `after` has the size of `before` and differs from it only in the
// block byte (when `blocksMayChange`) and the reference field (its length byte and 8 characters) of
// the component records at `components`; otherwise a description of the first stray difference.
// Every reference field that changed must hold a reference of 1 to 8 characters.
std::string StrayDifference(std::span<const uint8_t> before, std::span<const uint8_t> after,
                            const std::vector<size_t>& components, bool blocksMayChange);

std::vector<uint8_t> Bytes(std::string_view text);

}  // namespace kerro::fuzz

namespace kerro {
class PartLibrary;
}

namespace kerro::fuzz {

// Reads every entry, body, pin and bitmap of a loaded library, so that the sanitizers see
// each of them, and checks that the library refers only to what it owns. `empty` asks
// instead that the library holds nothing, as a failed load must leave it.
void CheckLibrary(const PartLibrary& library, bool empty);

}  // namespace kerro::fuzz

namespace kerro::fuzz {

// A folder on the disk for this process, made on first use and removed with its files when
// the process exits. For the readers that take a path rather than bytes.
const std::string& ScratchFolder();

// Writes `bytes` to `path`, replacing it; aborts if that fails.
void WriteFileOrDie(const std::string& path, std::span<const uint8_t> bytes);

// The file's bytes, or nullopt if it cannot be read.
std::optional<std::vector<uint8_t>> ReadFileIfAny(const std::string& path);

}  // namespace kerro::fuzz
