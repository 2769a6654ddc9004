// Text part library: any bytes either load into a library that refers only to what it owns,
// or fail and leave the library empty.

#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz_checks.h"
#include "library/text_library.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kerro::PartLibrary library;
  const bool loaded = kerro::LoadTextLibrary(library, std::span<const uint8_t>(data, size));
  kerro::fuzz::CheckLibrary(library, !loaded);
  return 0;
}
