#include "board/board_order.h"

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <tuple>
#include <vector>

#include "platform/memory.h"
#include "renumber/radix_sort.h"

namespace kerro {

namespace {

// A part's position along the lines (rows: down the board; columns: across it) and
// within its line.
struct Reading {
  int64_t across;  // which line
  int64_t along;   // where in the line
  size_t row;      // index into the rows
};

}  // namespace

BoardOrder OrderBoard(std::span<const PlacementRow> rows, const BoardLayout& layout) {
  BoardOrder order;
  order.bottomStart = layout.bottomStart;
  order.places.reserve(rows.size());
  // The rows' keys are made in the order of the rows, and only these 16 bytes each are then
  // gathered in the board's order, not the rows of 88 bytes from all over the file.
  std::vector<BoardPlaces::Key> keys;
  ReserveLarge(keys, rows.size());
  for (const PlacementRow& row : rows) {
    keys.push_back(BoardPlaces::KeyOf(row.reference));
  }
  std::vector<BoardPlaces::Key> inOrder;
  ReserveLarge(inOrder, rows.size());
  std::vector<Reading> parts;
  ReserveLarge(parts, rows.size());
  for (const BoardSide side : {BoardSide::Top, BoardSide::Bottom}) {
    parts.clear();
    int64_t leastAcross = INT64_MAX;
    for (size_t i = 0; i < rows.size(); ++i) {
      if (rows[i].side != side) {
        continue;
      }
      const int64_t down = layout.yDown ? rows[i].y : -rows[i].y;
      parts.push_back(layout.reading == BoardReading::Rows ? Reading{down, rows[i].x, i}
                                                           : Reading{rows[i].x, down, i});
      leastAcross = std::min(leastAcross, parts.back().across);
    }
    // By line, and by row within equal lines: the parts are in row order, and the sort
    // keeps the order of equal keys. Each line's parts are then put in their order along
    // it, which decides every tie itself.
    RadixSortByKey(parts, [leastAcross](const Reading& part) {
      return static_cast<uint64_t>(part.across) - static_cast<uint64_t>(leastAcross);
    });
    const auto byAlong = [](const Reading& a, const Reading& b) {
      return std::tie(a.along, a.across, a.row) < std::tie(b.along, b.across, b.row);
    };
    for (auto first = parts.begin(); first != parts.end();) {
      // The line: every part within the tolerance of its first part.
      const int64_t limit = first->across + layout.tolerance;
      const auto end = std::find_if(first, parts.end(),
                                    [limit](const Reading& part) { return part.across > limit; });
      std::sort(first, end, byAlong);
      first = end;
    }
    // In board order the rows' keys lie anywhere in their table: each is fetched a batch
    // of parts ahead.
    constexpr size_t kAhead = kLookupsInFlight;
    for (size_t i = 0; i < parts.size(); ++i) {
      if (i + kAhead < parts.size()) {
        PrefetchForRead(&keys[parts[i + kAhead].row]);
      }
      inOrder.push_back(keys[parts[i].row]);
    }
    if (side == BoardSide::Top) {
      order.topCount = static_cast<uint32_t>(inOrder.size());
    }
  }
  // The table of places is the largest of these; the keys and parts of a board of a million
  // parts are let go before it is made.
  keys = std::vector<BoardPlaces::Key>();
  parts = std::vector<Reading>();
  order.places.addInOrder(inOrder);
  return order;
}

}  // namespace kerro
