// Text part library: any bytes either load into a library that refers only to what it owns,
// or fail and leave the library empty; without the pins the same bytes load or fail alike,
// into the same parts.

#include <cstddef>
#include <cstdint>
#include <span>

#include "fuzz_checks.h"
#include "library/text_library.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  kerro::PartLibrary library;
  const bool loaded = kerro::LoadTextLibrary(library, std::span<const uint8_t>(data, size));
  kerro::fuzz::CheckLibrary(library, !loaded);
  kerro::PartLibrary lean;
  const bool leanLoaded = kerro::LoadTextLibrary(lean, std::span<const uint8_t>(data, size),
                                                 kerro::PartDetail::kWithoutPins);
  KERRO_FUZZ_CHECK(leanLoaded == loaded, "loading without pins changed the outcome");
  KERRO_FUZZ_CHECK(lean.entryCount() == library.entryCount(), "without pins, other entries");
  for (int32_t i = 0; i < library.entryCount(); ++i) {
    const kerro::PartEntry& full = *library.entryAt(i);
    const kerro::PartEntry& other = *lean.entryAt(i);
    KERRO_FUZZ_CHECK(full.name == other.name && full.blockCount() == other.blockCount() &&
                         full.body->refPrefix == other.body->refPrefix && other.body->pins.empty(),
                     "without pins, another part");
  }
  return 0;
}
