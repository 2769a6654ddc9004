// Benchmarks of the core, on inputs made by the test builders: loading, numbering (also by
// a placement file) and saving boards of 1,000, 100,000 and 1,000,000 components, and
// loading and searching libraries of 10,000 parts. Files go to a MemoryFileSystem unless the name
// says Disk.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <map>
#include <string>
#include <unordered_map>
#include <vector>

#include "bench_inputs.h"
#include "board/board_order.h"
#include "board/placement_file.h"
#include "library/binary_library.h"
#include "library/library_set.h"
#include "library/part_model.h"
#include "library/text_library.h"
#include "renumber/renumber_by_library.h"
#include "renumber/renumber_job.h"
#include "renumber/renumber_plain.h"
#include "renumber/safe_save.h"
#include "schematic/schematic_document.h"
#include "testing/test_support.h"

namespace kerro::testing {
namespace {

constexpr size_t kLibraryParts = 10000;
constexpr size_t kCatalogParts = 2 * kLibraryParts;

// Boards are built once per size and kept for the whole run.
const std::vector<uint8_t>& Board(size_t components) {
  static std::map<size_t, std::vector<uint8_t>> boards;
  auto found = boards.find(components);
  if (found == boards.end()) {
    found = boards.emplace(components, BenchBoard(components, kCatalogParts)).first;
  }
  return found->second;
}

const std::string& TextLibrary() {
  static const std::string text = BenchTextLibrary(0, kLibraryParts);
  return text;
}

const std::vector<uint8_t>& BinaryLibrary() {
  static const std::vector<uint8_t> bytes = BenchBinaryLibrary(kLibraryParts, kLibraryParts);
  return bytes;
}

void SetCounters(benchmark::State& state, size_t components, size_t bytes) {
  const auto iterations = static_cast<size_t>(state.iterations());
  state.SetItemsProcessed(static_cast<int64_t>(iterations * components));
  state.SetBytesProcessed(static_cast<int64_t>(iterations * bytes));
}

SchematicDocument Loaded(const std::vector<uint8_t>& bytes) {
  SchematicDocument document;
  if (!document.loadImage(bytes)) {
    std::abort();  // the generator makes valid boards only
  }
  return document;
}

void BM_Load(benchmark::State& state) {
  const size_t components = static_cast<size_t>(state.range(0));
  MemoryFileSystem fileSystem;
  fileSystem.files["BOARD.CE2"] = Board(components);
  for (auto _ : state) {
    SchematicDocument document;
    if (!document.load(fileSystem, "BOARD.CE2")) {
      state.SkipWithError("load failed");
      break;
    }
    benchmark::DoNotOptimize(document.entries().data());
  }
  SetCounters(state, components, Board(components).size());
}

// The same from the real disk (the page cache, once read), with the exclusive lock.
void BM_LoadDisk(benchmark::State& state) {
  const size_t components = static_cast<size_t>(state.range(0));
  TempFolder folder;
  const std::string path = folder.file("BOARD.CE2");
  WriteBytes(path, Board(components));
  for (auto _ : state) {
    SchematicDocument document;
    if (!document.load(testing::RealFiles(), path)) {
      state.SkipWithError("load failed");
      break;
    }
    benchmark::DoNotOptimize(document.entries().data());
  }
  SetCounters(state, components, Board(components).size());
}

void BM_RenumberPlain(benchmark::State& state) {
  const size_t components = static_cast<size_t>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    SchematicDocument document = Loaded(Board(components));
    state.ResumeTiming();
    benchmark::DoNotOptimize(RenumberPlain(document, 1, 1));
  }
  SetCounters(state, components, Board(components).size());
}

const std::string& Placement(size_t components) {
  static std::map<size_t, std::string> made;
  auto [found, added] = made.try_emplace(components);
  if (added) {
    found->second = BenchPlacement(Board(components));
  }
  return found->second;
}

// Reading the placement file, ordering the board and numbering by that order.
void BM_RenumberByBoard(benchmark::State& state) {
  const size_t components = static_cast<size_t>(state.range(0));
  const std::string& placement = Placement(components);
  for (auto _ : state) {
    state.PauseTiming();
    SchematicDocument document = Loaded(Board(components));
    state.ResumeTiming();
    PlacementReadResult read = ReadPlacement(placement);
    DesignNumbering numbering{1, 1, NumberingMode::Plain, {}};
    numbering.controls.board = std::make_shared<const BoardOrder>(OrderBoard(*read.rows, {}));
    benchmark::DoNotOptimize(NumberPlain(document.entries(), {}, numbering));
  }
  SetCounters(state, components, Board(components).size() + placement.size());
}

// The two steps before a board run numbers anything: reading the placement file, and
// ordering its rows into the board's reading order.
void BM_ReadPlacement(benchmark::State& state) {
  const size_t components = static_cast<size_t>(state.range(0));
  const std::string& placement = Placement(components);
  for (auto _ : state) {
    benchmark::DoNotOptimize(ReadPlacement(placement).rows->size());
  }
  SetCounters(state, components, placement.size());
}

void BM_OrderBoard(benchmark::State& state) {
  const size_t components = static_cast<size_t>(state.range(0));
  const std::vector<PlacementRow> rows = *ReadPlacement(Placement(components)).rows;
  for (auto _ : state) {
    benchmark::DoNotOptimize(OrderBoard(rows, {}).places.size());
  }
  SetCounters(state, components, 0);
}

struct TextHash {
  using is_transparent = void;
  size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
};

// Block counts straight from the catalogue, so that only the numbering is measured.
BlockCountLookup CatalogLookup() {
  static const std::unordered_map<std::string, int, TextHash, std::equal_to<>> counts = [] {
    std::unordered_map<std::string, int, TextHash, std::equal_to<>> map;
    for (const CatalogPart& part : BenchCatalog(kCatalogParts)) {
      map.emplace(part.name, part.blocks);
    }
    return map;
  }();
  return [](std::string_view name) -> std::optional<int> {
    const auto found = counts.find(name);
    return found != counts.end() ? std::optional<int>(found->second) : std::nullopt;
  };
}

void BM_RenumberByLibrary(benchmark::State& state) {
  const size_t components = static_cast<size_t>(state.range(0));
  const BlockCountLookup lookup = CatalogLookup();
  for (auto _ : state) {
    state.PauseTiming();
    SchematicDocument document = Loaded(Board(components));
    state.ResumeTiming();
    benchmark::DoNotOptimize(RenumberByLibrary(document, 1, 1, lookup));
  }
  SetCounters(state, components, Board(components).size());
}

// The safe save: temporary written, read back and compared, backup made, renamed.
void BM_Save(benchmark::State& state) {
  const size_t components = static_cast<size_t>(state.range(0));
  const SchematicDocument document = Loaded(Board(components));
  for (auto _ : state) {
    state.PauseTiming();
    MemoryFileSystem fileSystem;
    fileSystem.files["BOARD.CE2"] = Board(components);
    state.ResumeTiming();
    if (!SaveWithBackup(fileSystem, document, "BOARD.CE2", "BOARD.$E2")) {
      state.SkipWithError("save failed");
      break;
    }
  }
  SetCounters(state, components, Board(components).size());
}

// The same on the real disk, flushes included.
void BM_SaveDisk(benchmark::State& state) {
  const size_t components = static_cast<size_t>(state.range(0));
  const SchematicDocument document = Loaded(Board(components));
  TempFolder folder;
  const std::string path = folder.file("BOARD.CE2");
  WriteBytes(path, Board(components));
  for (auto _ : state) {
    if (!SaveWithBackup(testing::RealFiles(), document, path, folder.file("BOARD.$E2"))) {
      state.SkipWithError("save failed");
      break;
    }
  }
  SetCounters(state, components, Board(components).size());
}

// A whole job in memory: load, renumber, safe save.
void BM_JobPlain(benchmark::State& state) {
  const size_t components = static_cast<size_t>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    MemoryFileSystem fileSystem;
    fileSystem.files["BOARD.CE2"] = Board(components);
    JobContext context{fileSystem, {}};
    JobRequest request;
    request.path = "BOARD.CE2";
    state.ResumeTiming();
    if (RenumberJob(request, context).outcome != JobOutcome::Finished) {
      state.SkipWithError("job failed");
      break;
    }
  }
  SetCounters(state, components, Board(components).size());
}

// A whole library-guided job in memory. TOSK.INI and the text library are read from the
// disk, as always; the board and the binary library are held by the MemoryFileSystem.
void BM_JobByLibrary(benchmark::State& state) {
  const size_t components = static_cast<size_t>(state.range(0));
  TempFolder folder;
  const std::string textPath = folder.file("PARTS.LB3");
  const std::string binaryPath = folder.file("PARTS.LIB");
  WriteToskIni(folder.file("TOSK.INI"), {textPath, binaryPath});
  WriteBytes(textPath, {TextLibrary().begin(), TextLibrary().end()});  // read shared, from disk
  for (auto _ : state) {
    state.PauseTiming();
    MemoryFileSystem fileSystem;
    fileSystem.files[folder.file("BOARD.CE2")] = Board(components);
    fileSystem.files[binaryPath] = BinaryLibrary();
    bool libraryFailed = false;
    JobContext context{fileSystem, [&](const std::string&) { libraryFailed = true; }};
    JobRequest request;
    request.path = folder.file("BOARD.CE2");
    request.mode = NumberingMode::ByLibrary;
    state.ResumeTiming();
    const JobOutcome outcome = RenumberJob(request, context).outcome;
    if (outcome != JobOutcome::Finished || libraryFailed) {
      state.SkipWithError(libraryFailed ? "a library failed to load" : "job failed");
      break;
    }
  }
  SetCounters(state, components, Board(components).size());
}

// state.range(0): 1 to keep the pins (the default), 0 to leave them out as numbering does.
void BM_LoadTextLibrary(benchmark::State& state) {
  const std::string& text = TextLibrary();
  const std::span<const uint8_t> bytes(reinterpret_cast<const uint8_t*>(text.data()), text.size());
  const PartDetail detail = state.range(0) != 0 ? PartDetail::kFull : PartDetail::kWithoutPins;
  for (auto _ : state) {
    PartLibrary library;
    if (!LoadTextLibrary(library, bytes, detail) || library.entryCount() < int32_t{kLibraryParts}) {
      state.SkipWithError("text library failed to load");
      break;
    }
  }
  SetCounters(state, kLibraryParts, text.size());
}

void BM_LoadBinaryLibrary(benchmark::State& state) {
  const std::vector<uint8_t>& bytes = BinaryLibrary();
  for (auto _ : state) {
    PartLibrary library;
    if (!LoadBinaryLibrary(library, bytes) || library.entryCount() != int32_t{kLibraryParts}) {
      state.SkipWithError("binary library failed to load");
      break;
    }
  }
  SetCounters(state, kLibraryParts, bytes.size());
}

// Both libraries from disk through TOSK.INI, as a library-guided job loads them.
class LibraryFiles {
 public:
  LibraryFiles() {
    WriteBytes(folder_.file("PARTS.LB3"), {TextLibrary().begin(), TextLibrary().end()});
    WriteBytes(folder_.file("PARTS.LIB"), BinaryLibrary());
    WriteToskIni(folder_.file("TOSK.INI"), {folder_.file("PARTS.LB3"), folder_.file("PARTS.LIB")});
  }
  std::string schematic() const { return folder_.file("BOARD.CE2"); }

 private:
  TempFolder folder_;
};

void BM_LoadLibraries(benchmark::State& state) {
  LibraryFiles files;
  for (auto _ : state) {
    LibrarySet set({}, RealFiles());
    if (!set.loadLibraries(files.schematic()) || set.libraryCount() != 2) {
      state.SkipWithError("libraries failed to load");
      break;
    }
  }
  SetCounters(state, 2 * kLibraryParts, TextLibrary().size() + BinaryLibrary().size());
}

// Lookups of names from both libraries, and of names in neither (one in four).
void BM_FindPart(benchmark::State& state) {
  LibraryFiles files;
  LibrarySet set({}, RealFiles());
  if (!set.loadLibraries(files.schematic())) {
    state.SkipWithError("libraries failed to load");
    return;
  }
  std::vector<std::string> names;
  for (const CatalogPart& part : BenchCatalog(kCatalogParts)) {
    names.push_back(part.name);
    if (names.size() % 3 == 0) {
      names.push_back("X" + part.name);
    }
  }
  size_t found = 0;
  for (auto _ : state) {
    for (const std::string& name : names) {
      found += set.findPart(name) != nullptr ? 1 : 0;
    }
  }
  if (found != static_cast<size_t>(state.iterations()) * kCatalogParts) {
    state.SkipWithError("lookups found the wrong parts");
  }
  state.SetItemsProcessed(
      static_cast<int64_t>(static_cast<size_t>(state.iterations()) * names.size()));
}

// The hardest board for the guarded series: N parts without a tag hold ABCD1 ... ABCDN, so
// each of them is taken, and one more ABCD part needs a number. With N = 9999 every number
// of 4 digits is taken and every longer one is cut to one of them: the prefix runs out, and
// the search must pass over 10^8 numbers without trying each.
void BM_RunOutSearch(benchmark::State& state) {
  const auto taken = static_cast<int>(state.range(0));
  SchematicBuilder builder;
  builder.header();
  for (int number = 1; number <= taken; ++number) {
    builder.component({.reference = "ABCD" + std::to_string(number), .partName = "RES"});
  }
  builder.component({.packageTag = "T", .reference = "ABCD", .partName = "RES"});
  const std::vector<uint8_t> bytes = builder.bytes();
  for (auto _ : state) {
    state.PauseTiming();
    SchematicDocument document = Loaded(bytes);
    state.ResumeTiming();
    const bool ranOut = RenumberPlain(document, 1, 1).has_value();
    if (ranOut != (taken >= 9999)) {
      state.SkipWithError("the series ran out where it should not, or the other way round");
    }
  }
  SetCounters(state, static_cast<size_t>(taken) + 1, bytes.size());
}

// With --benchmark_repetitions, the fastest repetition beside mean and median: on a shared
// machine it is the figure least disturbed by other work.
void WithMinimum(benchmark::internal::Benchmark* benchmark) {
  benchmark->Unit(benchmark::kMillisecond)
      ->ComputeStatistics("min", [](const std::vector<double>& values) {
        return *std::min_element(values.begin(), values.end());
      });
}

void BoardSizes(benchmark::internal::Benchmark* benchmark) {
  WithMinimum(benchmark->Arg(1000)->Arg(100000)->Arg(1000000));
}

BENCHMARK(BM_Load)->Apply(BoardSizes);
BENCHMARK(BM_LoadDisk)->Apply(BoardSizes);
BENCHMARK(BM_RenumberPlain)->Apply(BoardSizes);
BENCHMARK(BM_RenumberByLibrary)->Apply(BoardSizes);
BENCHMARK(BM_RenumberByBoard)->Apply(BoardSizes);
BENCHMARK(BM_ReadPlacement)->Apply(BoardSizes);
BENCHMARK(BM_OrderBoard)->Apply(BoardSizes);
BENCHMARK(BM_Save)->Apply(BoardSizes);
BENCHMARK(BM_SaveDisk)->Apply(BoardSizes);
BENCHMARK(BM_JobPlain)->Apply(BoardSizes);
BENCHMARK(BM_JobByLibrary)->Apply(BoardSizes);
BENCHMARK(BM_LoadTextLibrary)->Arg(1)->Arg(0)->Apply(WithMinimum);
BENCHMARK(BM_LoadBinaryLibrary)->Apply(WithMinimum);
BENCHMARK(BM_LoadLibraries)->Apply(WithMinimum);
BENCHMARK(BM_FindPart)->Apply(WithMinimum);
BENCHMARK(BM_RunOutSearch)->Arg(1000)->Arg(9999)->Apply(WithMinimum);

}  // namespace
}  // namespace kerro::testing

BENCHMARK_MAIN();
