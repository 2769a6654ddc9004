#pragma once
// Inputs for the benchmarks, made with the project's test builders: a catalogue of parts,
// text and binary libraries holding it, and boards of any size whose components use it.
//
// A board is one section: a header record, then packages of one, two or four blocks
// (each block a component record sharing the package's tag and reference), a wire record
// after every tenth component, power symbols (GND, VCC) and power blocks (VCC_..., tagged
// like a four-block package). Positions and present numbers are pseudo-random but fixed,
// so every run renumbers the same board.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kerro::testing {

struct CatalogPart {
  std::string name;
  int blocks = 1;
  std::string prefix;
};

// The `parts` parts of the catalogue, named P00000, P00001, ...
std::vector<CatalogPart> BenchCatalog(size_t parts);

// A text library (.LB3) holding catalogue parts [first, first + count), each with pins,
// some with a pattern, and an alias for every tenth part.
std::string BenchTextLibrary(size_t first, size_t count);

// A binary library holding catalogue parts [first, first + count). Parts of the same
// block count and prefix share bodies, as aliases do, because body offsets are 16-bit.
std::vector<uint8_t> BenchBinaryLibrary(size_t first, size_t count);

// A board of `components` component records using parts of a catalogue of `catalogParts`
// parts; about one part name in a hundred is in no library.
std::vector<uint8_t> BenchBoard(size_t components, size_t catalogParts);

// Board shapes that stress what the board above leaves easy. Each is a hypothesis about
// what could make a numbering mode slow; together they should leave no cost that depends
// on the shape of a board hidden.
enum class BoardShape {
  Today,          // BenchBoard above
  Scattered,      // every component at a uniformly random point of the whole 16-bit range, so
                  // file order says nothing about position order, not even for one package
  Power,          // 15% power blocks of random earlier packages and 20% power symbols
  SharedTags,     // 1,000 tags shared by every multi-block package, scattered
  LongNames,      // references cut at 8 characters, some 100,000 distinct prefixes, 15-character
                  // tags, and half the part names distinct and in no library
  Sections,       // 63 sections, scattered, 10% power blocks
  Mixed,          // scattered, 10% power blocks, 1,000 tags shared by every multi-block package:
                  // many power blocks meeting few, crowded packages
  MixedSections,  // Mixed in 4 sections
  Duplicates,     // Mixed with 1,000 present numbers: a reference has hundreds of holders,
                  // most of them duplicates, for --fix-duplicates to sort out
  OneNumber,      // Mixed with one present number: every part of a prefix holds the same
                  // reference (R1, C1, U1 ...), hundreds of thousands of holders each
};

// Name of a shape as bench/run and make_bench_inputs spell it ("today", "scattered" ...),
// and the shape of a name; nullopt for an unknown one.
const char* ShapeName(BoardShape shape);
std::optional<BoardShape> ShapeNamed(std::string_view name);
std::vector<BoardShape> AllShapes();

std::vector<uint8_t> BenchBoard(size_t components, size_t catalogParts, BoardShape shape);

// The placement file of a board (for --by-board): one row per placed reference at a fixed
// pseudo-random place on a 500 mm square, a third of them on the bottom, so that rows of
// 1 mm hold hundreds of parts on the largest board.
std::string BenchPlacement(const std::vector<uint8_t>& board);

}  // namespace kerro::testing
