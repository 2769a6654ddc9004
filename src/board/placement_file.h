#pragma once
// Placement files (pick-and-place or component-position exports of the layout): one row per
// part on the board, with its reference, its position and its side.
//
// Two forms are read:
// - CSV: the first line that is not blank is the header. Fields are separated by comma,
//   semicolon or tab (the one the header holds most often, outside quotes); a field may be
//   quoted, with "" for a quote inside it. Blanks around a field are not part of it.
// - Text: the header is a line that starts with "#" (the last such line before the first
//   row whose names give the columns); fields are separated by runs of blanks, and a field
//   may be quoted as in CSV. Other lines starting with "#" are comments; one that says
//   "Unit = mm" (or mil, in, inch) gives the unit of numbers that carry none.
// Blank lines, and rows whose fields are all empty, are passed over. A byte order mark at
// the start is not part of the header.
//
// Columns are told by their header names, compared without regard to case, blanks or
// punctuation: reference (Ref, Reference, Designator, RefDes); x (PosX, X, Mid X, Center-X,
// Ref X, preferred in this order where several are there); y (PosY, Y, Mid Y, Center-Y,
// Ref Y); side (Side, Layer, TB). A name may end in a unit, PosX(mm), which numbers of that
// column that carry none are in; otherwise they are in millimetres. A number may carry its
// own unit: 12.5mm, 490mil, 0.5in; "," is read as the decimal point too. Sides are top, T,
// front, F.Cu, TopLayer ... and bottom, B, bot, back, B.Cu, BottomLayer ...; a file without
// a side column is all top.
//
// Refused, with the line: a header without a reference, x or y column; a row without a
// reference or without a position; a number or a side that cannot be read; a quote that
// does not close; a reference on two rows; in the text form, a row with more or fewer
// fields than the header (an unquoted value with blanks would shift the columns). The
// input is any bytes; nothing is read past them, and every length is that of the bytes
// held.

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kerro {

// Positions and lengths are held in nanometres, so that millimetres, mils and inches
// compare exactly.
inline constexpr int64_t kNanometresPerMillimetre = 1'000'000;
inline constexpr int64_t kNanometresPerMil = 25'400;
inline constexpr int64_t kNanometresPerInch = 25'400'000;

enum class BoardSide { Top, Bottom };

struct PlacementRow {
  std::string reference;
  int64_t x = 0;  // nanometres
  int64_t y = 0;
  BoardSide side = BoardSide::Top;
  size_t line = 0;  // from 1
  // Where the reference's bytes stand in the file (within the quotes of a quoted field).
  size_t referenceAt = 0;
  size_t referenceLength = 0;
  bool referenceQuoted = false;
};

struct PlacementReadResult {
  std::optional<std::vector<PlacementRow>> rows;  // in file order
  std::string error;                              // "line 4: ...", when refused
};

PlacementReadResult ReadPlacement(std::string_view bytes);

// A length: a number, optionally signed, with an optional unit (mm, mil, mils, thou, in,
// inch, inches) after it; a number alone is in units of `unitNanometres`. Nullopt for any
// other text, or beyond a million millimetres either way.
std::optional<int64_t> ParseLength(std::string_view text, int64_t unitNanometres);

// Where a row's reference stands in its file: all that renaming it needs, in a sixth of
// the row.
struct ReferenceSpan {
  uint64_t at : 63 = 0;
  uint64_t quoted : 1 = 0;
  uint64_t length = 0;
};

std::vector<ReferenceSpan> ReferenceSpansOf(std::span<const PlacementRow> rows);

// The file with the reference of each row renamed to newNameOf(row), where that is not
// empty; every other byte as it was. `spans` must be ReferenceSpansOf the rows that
// ReadPlacement gave for `bytes`.
std::string RenamePlacement(std::string_view bytes, std::span<const ReferenceSpan> spans,
                            const std::function<std::string_view(size_t)>& newNameOf);

}  // namespace kerro
