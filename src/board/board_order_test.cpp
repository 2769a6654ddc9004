#include "board/board_order.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <tuple>
#include <vector>

#include "renumber/renumber_plain.h"
#include "testing/test_support.h"

namespace kerro {
namespace {

// A part of the random board: one reference, one or two components (the blocks of one
// package), placed or not.
struct ModelPart {
  std::string prefix;
  int number = 0;
  int components = 1;
  bool tagged = true;
  bool power = false;  // a power symbol, which keeps its reference wherever it is placed
  bool placed = true;
  PlacementRow row;
  std::string reference() const { return prefix + std::to_string(number); }
};

// The model reads the board the slow, obvious way: take the first part of the next line
// (the least "across" among the parts not yet read), gather every part within the
// tolerance of it, read those along the line, repeat.
std::vector<std::string> ModelReadingOrder(const std::vector<ModelPart>& parts,
                                           const BoardLayout& layout) {
  std::vector<std::string> order;
  for (const BoardSide side : {BoardSide::Top, BoardSide::Bottom}) {
    std::vector<const PlacementRow*> left;
    for (const ModelPart& part : parts) {
      if (part.placed && part.row.side == side) {
        left.push_back(&part.row);
      }
    }
    const auto down = [&](const PlacementRow* row) { return layout.yDown ? row->y : -row->y; };
    const auto across = [&](const PlacementRow* row) {
      return layout.reading == BoardReading::Rows ? down(row) : row->x;
    };
    const auto along = [&](const PlacementRow* row) {
      return layout.reading == BoardReading::Rows ? row->x : down(row);
    };
    while (!left.empty()) {
      int64_t first = across(left.front());
      for (const PlacementRow* row : left) {
        first = std::min(first, across(row));
      }
      std::vector<const PlacementRow*> line;
      std::vector<const PlacementRow*> rest;
      for (const PlacementRow* row : left) {
        (across(row) <= first + layout.tolerance ? line : rest).push_back(row);
      }
      std::sort(line.begin(), line.end(), [&](const PlacementRow* a, const PlacementRow* b) {
        return std::tuple(along(a), across(a), a->line) < std::tuple(along(b), across(b), b->line);
      });
      for (const PlacementRow* row : line) {
        order.push_back(row->reference);
      }
      left = rest;
    }
  }
  return order;
}

// What each part should be called: per prefix, in reading order, the top side's numbers
// from initial, the bottom's from bottomStart unless the top has given numbers that far,
// passing over every reference that stays.
std::map<std::string, std::string> ModelNames(const std::vector<ModelPart>& parts,
                                              const BoardLayout& layout, int initial, int step) {
  std::set<std::string> taken;
  std::map<std::string, const ModelPart*> byReference;
  std::map<std::string, std::string> names;
  for (const ModelPart& part : parts) {
    byReference[part.reference()] = &part;
    names[part.reference()] = part.reference();
    if (!part.placed || !part.tagged || part.power) {
      taken.insert(part.reference());
    }
  }
  std::map<std::string, int> next;
  std::map<std::string, bool> onBottom;
  std::map<std::string, bool> given;
  for (const std::string& reference : ModelReadingOrder(parts, layout)) {
    const ModelPart& part = *byReference.at(reference);
    if (!part.tagged || part.power) {
      continue;
    }
    int& number = next.try_emplace(part.prefix, initial).first->second;
    if (part.row.side == BoardSide::Bottom && !onBottom[part.prefix]) {
      onBottom[part.prefix] = true;
      if (layout.bottomStart > 0 && (number < layout.bottomStart || !given[part.prefix])) {
        number = static_cast<int>(layout.bottomStart);
      }
    }
    while (taken.contains(part.prefix + std::to_string(number))) {
      number += step;
    }
    given[part.prefix] = true;
    names[reference] = part.prefix + std::to_string(number);
    taken.insert(names[reference]);
    number += step;
  }
  return names;
}

TEST(BoardOrder, NumbersRandomBoardsAsTheModelReadsThem) {
  std::mt19937 random(25);
  const auto pick = [&](int low, int high) {
    return std::uniform_int_distribution<int>(low, high)(random);
  };
  for (int trial = 0; trial < 400; ++trial) {
    SCOPED_TRACE("trial " + std::to_string(trial));
    BoardLayout layout;
    layout.reading = pick(0, 2) == 0 ? BoardReading::Columns : BoardReading::Rows;
    layout.tolerance = pick(0, 4) * kNanometresPerMillimetre / 2;
    layout.yDown = pick(0, 1) == 1;
    layout.bottomStart = pick(0, 1) == 1 ? pick(1, 30) : 0;
    const int initial = pick(1, 8);
    const int step = pick(1, 3);

    std::vector<ModelPart> parts;
    std::set<std::string> used;
    // Every tenth board is large enough for the sorts of large boards.
    const bool large = trial % 10 == 0;
    const int count = large ? pick(600, 1500) : pick(1, 40);
    for (int i = 0; i < count; ++i) {
      ModelPart part;
      part.prefix = std::string(1, "RCU"[pick(0, 2)]);
      part.number = pick(1, large ? 2000 : 60);
      if (!used.insert(part.reference()).second) {
        continue;
      }
      part.components = pick(1, 4) == 1 ? 2 : 1;
      part.tagged = pick(1, 10) > 1;
      part.power = pick(1, 12) == 1;
      part.placed = pick(1, 5) > 1;
      // Coarse grids, so that parts share lines, sit exactly at the tolerance and meet.
      part.row = {.reference = part.reference(),
                  .x = pick(0, 12) * kNanometresPerMillimetre / 2,
                  .y = pick(-16, 16) * kNanometresPerMillimetre / 4,
                  .side = pick(0, 2) == 0 ? BoardSide::Bottom : BoardSide::Top,
                  .line = parts.size() + 2};
      parts.push_back(part);
    }
    std::shuffle(parts.begin(), parts.end(), random);
    for (size_t i = 0; i < parts.size(); ++i) {
      parts[i].row.line = i + 2;
    }

    testing::SchematicBuilder builder;
    builder.header();
    std::vector<PlacementRow> rows;
    for (const ModelPart& part : parts) {
      for (int c = 0; c < part.components; ++c) {
        builder.component({.block = static_cast<uint8_t>(c),
                           .packageTag = part.tagged ? "T" : "",
                           .reference = part.reference(),
                           .partName = part.power ? "GND" : "P"});
      }
      if (part.placed) {
        rows.push_back(part.row);
      }
    }
    // Now and then a row whose reference no component can hold (more than 8 characters):
    // it takes a place in the order, and names no part.
    for (int extra = pick(-3, 2); extra > 0; --extra) {
      const auto anyRow = [&] {
        return rows[static_cast<size_t>(pick(0, static_cast<int>(rows.size()) - 1))];
      };
      PlacementRow unheld = rows.empty() ? parts.front().row : anyRow();
      unheld.reference = "LONGREF" + std::to_string(pick(10, 99));
      rows.insert(rows.begin() + pick(0, static_cast<int>(rows.size())), unheld);
    }
    SchematicDocument document;
    ASSERT_TRUE(document.loadImage(builder.bytes()));
    DesignNumbering numbering{initial, step, NumberingMode::Plain, {}};
    numbering.controls.board = std::make_shared<const BoardOrder>(OrderBoard(rows, layout));
    ASSERT_FALSE(NumberPlain(document.entries(), {}, numbering).has_value());

    const std::map<std::string, std::string> names = ModelNames(parts, layout, initial, step);
    size_t index = 0;
    for (const ModelPart& part : parts) {
      for (int c = 0; c < part.components; ++c, ++index) {
        ASSERT_EQ(document.entries()[index].reference(), names.at(part.reference()))
            << "was " << part.reference();
      }
    }
  }
}

}  // namespace
}  // namespace kerro
