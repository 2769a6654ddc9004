#pragma once
// The was/is record of a run, for the layout: which reference became which, in the forms
// that layout tools read.
//
// - csv: "old_reference,new_reference", one row per rename (RFC 4180 quoting, CR LF), all
//   to be applied at once, as kerro-cli --apply does: --apply FILE --reverse undoes the run.
// - pads: "*PADS-ECO*", "*RENPART*", one "OLD NEW" line per rename, "*END*".
// - swap: one "CHANGEREF OLD NEW" line per rename.
// The pads and swap lines are applied one after another, so they come in an order in which
// no line gives a name that a part still holds: a chain (R1 -> R2, R2 -> R3) from its end,
// and a cycle (R1 -> R2, R2 -> R1) broken through a temporary name that no part has
// (R1 -> TMP1, R2 -> R1, TMP1 -> R2).
//
// A run of a million parts renames about as many: each rename is found by hash, and only
// the names that could be a temporary one are ever asked after.

#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "renumber/component_changes.h"

namespace kerro {

struct Rename {
  std::string from;
  std::string to;
  bool operator==(const Rename&) const = default;
};

enum class WasIsFormat { Csv, Pads, Swap };

// Every temporary name begins so: TMP1, TMP2 ...
inline constexpr std::string_view kTemporaryPrefix = "TMP";

// Each reference that the run gave another, once, in the order of the change list. The
// changes must give each old reference one new one (numbering by board does).
std::vector<Rename> RenamesOf(std::span<const FileChanges> changes);

// The renames as lines to apply one at a time; a temporary name is the first of TMP1,
// TMP2 ... for which `inUse` is false and which no rename has. `inUse` is asked only
// about names that begin with kTemporaryPrefix, so a caller needs to know only the names
// in use that do.
std::vector<Rename> OneAtATime(std::span<const Rename> renames,
                               const std::function<bool(std::string_view)>& inUse);

std::string FormatWasIs(std::span<const Rename> renames, WasIsFormat format,
                        const std::function<bool(std::string_view)>& inUse);

}  // namespace kerro
