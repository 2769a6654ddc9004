#pragma once
// The text part library (".LB3").
//
// The file is a sequence of fields as FieldReader cuts them. A field starting with "+"
// opens a section, one starting with "-" closes one, any other is an item: "KEY:VALUE",
// split at the first colon, used only when both key and value are non-empty. Keys match
// exactly, case included; unknown keys are ignored. Integers read like atoi (saturating
// here instead of overflowing).
//
//   +TOSK3_LIB_V.1.0          magic, the first field, compared whole
//   +PTN  X Y N  +BMP rows -BMP  -PTN       a named pattern; +BMP is read only once X, Y
//                                            are above 0 and N is set; -PTN needs a bitmap
//   +COMP N X Y B R P  +PIN N L T M -PIN  -COMP
//                             a component: name, size, blocks (0 to 256, set once when
//                             non-zero), reference prefix (default "U"), pattern name;
//                             +PIN needs X, Y, B of 1 or more, and so does -COMP with N
//   +ALIAS N A -ALIAS          A becomes a further name of the earlier entry N
//
// In a pin, L is a side letter (T, R, B; anything else is left) and an offset of 0 to
// 255; T holds flag letters C, N, S and "m", which makes the following M items (the pin
// numbers of block 0, 1, ...) hidden, stored with "-" instead of "+". A bitmap row is a
// string of letter pairs, each a byte whose nibbles are the letters' codes minus 64 ("@"
// is 0, "O" 15; any other letter makes the byte 0).
//
// Any other opener, in a section or at top level, skips to the first field equal to its
// closer ("+X" to "-X", not nested). A wrong closer fails the load. The end of the file
// inside +PTN, +COMP, +PIN or +ALIAS stores that section as it stands and ends the load
// successfully; inside +BMP or a skipped section it fails the load. A malformed "%"
// escape counts as the end of the file.
//
// The text stops at its first Ctrl-Z byte (0x1A), as it does when the Windows C runtime
// reads a file in text mode, so that DOS-style files give the same result everywhere.

#include <cstdint>
#include <span>

#include "library/part_model.h"

namespace kerro {

// Reads a whole text library into `library`, which must be empty, keeping the pins only
// for PartDetail::kFull. Returns false if the text is not a well-formed library; `library`
// is then left empty.
bool LoadTextLibrary(PartLibrary& library, std::span<const uint8_t> text,
                     PartDetail detail = PartDetail::kFull);

}  // namespace kerro
