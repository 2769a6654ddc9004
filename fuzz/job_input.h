#pragma once
// The input of the whole-job fuzz target, and its encoding, shared with the seed generator.
//
// Layout: five bytes of settings, then the schematic, then up to three library files, each
// part introduced by kPartSeparator (so a separator right after the settings begins the
// schematic):
//   byte 0     bit 0: library-guided numbering; bit 1: an old backup exists (its bytes
//              are the schematic's first half); bit 2: one file change fails; bits 3-7:
//              the numbering controls (see JobInput::controls)
//   byte 1     which change fails (0 = the first write, remove or rename of the job)
//   bytes 2-3  initial, little-endian, taken modulo 1100 (so a few are out of range)
//   byte 4     step, taken modulo 24
// The libraries are A.LB3 (text), B.LIB (binary) and C.LB3 (text), listed in this order by
// the TOSK.INI beside the schematic; as many are listed as there are parts.

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace kerro::fuzz {

inline constexpr std::string_view kPartSeparator = "\xF0KERRO-PART\xF0";
inline constexpr int kFuzzedLibraries = 3;

struct JobInput {
  bool byLibrary = false;
  bool oldBackup = false;
  bool failOneChange = false;
  int failingChange = 0;
  int initial = 1;
  int step = 1;
  // Bit 0 --keep, bit 1 --lock 'R*', bit 2 --lock 'U?', bit 3 --sheet-base 10, bit 4 rows.
  unsigned controls = 0;
  std::vector<uint8_t> schematic;
  std::vector<std::vector<uint8_t>> libraries;  // at most kFuzzedLibraries
};

JobInput DecodeJobInput(std::span<const uint8_t> bytes);
std::vector<uint8_t> EncodeJobInput(const JobInput& input);

}  // namespace kerro::fuzz
