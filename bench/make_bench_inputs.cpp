// Writes the inputs of the whole-process benchmark into a folder:
//   BOARD.CE2   a board of COMPONENTS components (default 1,000,000: about 61 MB) of the
//               given SHAPE (default "today"; see BoardShape in bench_inputs.h)
//   PARTS.LB3   a text library of 10,000 parts
//   PARTS.LIB   a binary library of 10,000 further parts
//   TOSK.INI    listing both, by absolute path, for library-guided numbering
//   BOARD-POS.csv  a placement file of the board, for --by-board
// Usage: make_bench_inputs FOLDER [COMPONENTS [SHAPE]]

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <optional>
#include <string>

#include "bench_inputs.h"
#include "testing/temp_folder.h"
#include "testing/tosk_ini_builder.h"

namespace {

constexpr size_t kLibraryParts = 10000;

}  // namespace

int main(int argc, char** argv) {
  using namespace kerro::testing;
  if (argc < 2 || argc > 4) {
    std::fprintf(stderr, "usage: make_bench_inputs FOLDER [COMPONENTS [SHAPE]]\n");
    return 2;
  }
  const size_t components = argc >= 3 ? std::strtoull(argv[2], nullptr, 10) : 1000000;
  const std::optional<BoardShape> shape = ShapeNamed(argc == 4 ? argv[3] : "today");
  if (!shape) {
    std::fprintf(stderr, "make_bench_inputs: unknown shape '%s'\n", argv[3]);
    return 2;
  }
  try {
    const std::filesystem::path folder = std::filesystem::absolute(argv[1]);
    std::filesystem::create_directories(folder);
    const std::string text = BenchTextLibrary(0, kLibraryParts);
    WriteBytes((folder / "PARTS.LB3").string(), {text.begin(), text.end()});
    WriteBytes((folder / "PARTS.LIB").string(), BenchBinaryLibrary(kLibraryParts, kLibraryParts));
    WriteToskIni((folder / "TOSK.INI").string(),
                 {(folder / "PARTS.LB3").string(), (folder / "PARTS.LIB").string()});
    const std::vector<uint8_t> board = BenchBoard(components, 2 * kLibraryParts, *shape);
    WriteBytes((folder / "BOARD.CE2").string(), board);
    const std::string placement = BenchPlacement(board);
    WriteBytes((folder / "BOARD-POS.csv").string(), {placement.begin(), placement.end()});
  } catch (const std::exception& error) {
    std::fprintf(stderr, "make_bench_inputs: %s\n", error.what());
    return 1;
  }
  return 0;
}
