#pragma once
// The reading order of a board: where each placed part stands when the parts are read as
// text is read, so that R1, R2 ... run across the board and assembly and repair find them.
//
// Each side is read on its own, the top before the bottom, both as seen from above (the
// bottom is not mirrored). By rows: the topmost part not yet read opens a row, every part
// whose y is within the tolerance of that first part joins it, and the row is read left to
// right (parts at one x by y, then in file order); then the next row. By columns: the
// leftmost part opens a column of the parts whose x is within the tolerance of its x, read
// from the top down; then the next column. "Top" is the greatest y, as placement files
// give it, or the least with y growing downward.

#include <cstdint>
#include <span>

#include "board/placement_file.h"
#include "renumber/numbering_controls.h"

namespace kerro {

enum class BoardReading { Rows, Columns };

struct BoardLayout {
  BoardReading reading = BoardReading::Rows;
  int64_t tolerance = kNanometresPerMillimetre;  // nanometres, at least 0
  bool yDown = false;
  int64_t bottomStart = 0;  // 0: the bottom side goes on from the top's numbers
};

// The order for numbering: each row's reference with its place, the top side's first.
// References must be distinct (ReadPlacement sees to it).
BoardOrder OrderBoard(std::span<const PlacementRow> rows, const BoardLayout& layout);

}  // namespace kerro
