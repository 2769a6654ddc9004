// Writes the seed inputs of every fuzz target, made with the project's test builders.
// Usage: kerro_fuzz_seeds FOLDER — writes FOLDER/<target>/<seed> for each target.

#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "job_input.h"
#include "testing/test_support.h"

namespace {

using kerro::testing::BinaryLibraryBuilder;
using kerro::testing::ComponentRecord;
using kerro::testing::PlacedPart;
using kerro::testing::SchematicBuilder;
using kerro::testing::TextLibraryBuilder;
using Bytes = std::vector<uint8_t>;

struct Seed {
  std::string name;
  Bytes bytes;
};

Bytes FromText(const std::string& text) {
  return {text.begin(), text.end()};
}

std::vector<Seed> Schematics() {
  std::vector<Seed> seeds;
  seeds.push_back({"header-only", SchematicBuilder().header().bytes()});

  SchematicBuilder mixed;
  mixed.header(SchematicBuilder::kSignature1);
  mixed.component(PlacedPart("RES", "R12", 100, 40)).component(PlacedPart("RES", "R3", 20, 40));
  for (uint8_t kind = 0; kind < 8; ++kind) {
    mixed.fixedRecord(kind);
  }
  mixed.variableRecord(200, 24).component(PlacedPart("CAP", "C1", -30, 500));
  mixed.component({.x = 5, .y = 5, .partName = "GND"});
  seeds.push_back({"mixed-records", mixed.bytes()});

  SchematicBuilder gates;
  gates.header();
  gates.component(PlacedPart("74LS00", "U5", 600, 300, 0))
      .component(PlacedPart("74LS00", "U5", 600, 380, 1))
      .component(PlacedPart("74LS00", "U2", 820, 300, 0))
      .component(
          {.x = 640, .y = 480, .packageTag = "74LS00", .reference = "U5", .partName = "VCC_74LS00"})
      .component(PlacedPart("LM358", "IC4", 300, 200, 1))
      .component(PlacedPart("RES", "R1", 760, 240));
  seeds.push_back({"gates", gates.bytes()});

  SchematicBuilder sections;
  for (int s = 0; s < 3; ++s) {
    sections.header();
    sections.component(PlacedPart("RES", "R9", static_cast<int16_t>(10 * s), 0))
        .fixedRecord(3)
        .component(PlacedPart("CAP", "C2", 0, static_cast<int16_t>(s)));
  }
  seeds.push_back({"three-sections", sections.bytes()});

  SchematicBuilder malformed;
  malformed.header();
  malformed.component({.reference = "R1", .partName = "RES", .referenceLengthByte = 0x80})
      .component({.packageTag = "X",
                  .reference = "R2",
                  .partName = "RES",
                  .packageTagLengthByte = 200,
                  .referenceLengthByte = 20})
      .component({.packageTag = "RES", .reference = "ABCDEFGH", .partName = "0123456789ABCDE"})
      .component({.packageTag = "RES", .reference = "R9999999", .partName = "RES"})
      .component({.packageTag = "RES", .reference = "12", .partName = "RES"});
  seeds.push_back({"malformed-fields", malformed.bytes()});

  SchematicBuilder many;
  for (int s = 0; s < 70; ++s) {
    many.header();
    many.component(PlacedPart("RES", "R1", 1, 1));
  }
  seeds.push_back({"seventy-headers", many.bytes()});

  SchematicBuilder crowd;
  crowd.header();
  const char* const prefixes[] = {"R", "C", "U", "IC", "D", "RV", "J", "TP"};
  for (int i = 0; i < 60; ++i) {
    const std::string reference = std::string(prefixes[i % 8]) + std::to_string(97 - i);
    crowd.component(PlacedPart(i % 3 == 0 ? "74LS00" : "RES", reference.c_str(),
                               static_cast<int16_t>((i * 37) % 900), static_cast<int16_t>(i * 11),
                               static_cast<uint8_t>(i % 4)));
    if (i % 7 == 0) {
      crowd.variableRecord(static_cast<uint8_t>(16 + i), static_cast<int16_t>(12 + i));
    }
  }
  seeds.push_back({"crowd", crowd.bytes()});
  return seeds;
}

std::vector<Seed> TextLibraries() {
  std::vector<Seed> seeds;
  TextLibraryBuilder rich;
  rich.pattern("GATE", 17, 2, {{0x12, 0x34, 0x56}, {0xFF}});
  rich.component(
      {.name = "74LS00",
       .blocks = 4,
       .refPrefix = "IC",
       .pattern = "GATE",
       .pins = {
           {.name = "A", .location = "R12", .flags = "Cm", .numbers = {"1", "4"}},
           {.name = "\\C\\S", .location = "T3", .flags = "NS", .numbers = {"2", "5", "9", "12"}}}});
  rich.component({.name = "LM358", .blocks = 2, .refPrefix = "OP"});
  rich.component({.name = "RES", .refPrefix = "R"});
  rich.alias("74LS00", "7400").alias("7400", "SN7400").alias("MISSING", "X");
  seeds.push_back({"rich", rich.bytes()});

  TextLibraryBuilder crlf;
  crlf.crlf().component({.name = "A,B%", .blocks = 2}).alias("A,B%", "C");
  seeds.push_back({"crlf-escapes", crlf.bytes()});

  TextLibraryBuilder odd;
  odd.fields({"+UNKNOWN", "X:1", "-UNKNOWN", "+COMP", "N:HALF", "X:10", "Y:10", "B:3"});
  seeds.push_back({"unknown-and-open", odd.bytes()});

  TextLibraryBuilder ctrlZ;
  ctrlZ.component({.name = "KEPT"}).raw("\x1A").component({.name = "GONE"});
  seeds.push_back({"ctrl-z", ctrlZ.bytes()});

  seeds.push_back({"no-magic", TextLibraryBuilder(false).component({.name = "R"}).bytes()});
  return seeds;
}

std::vector<Seed> BinaryLibraries() {
  std::vector<Seed> seeds;
  BinaryLibraryBuilder rich;
  const uint16_t bitmap = rich.bitmap({.width = 17, .height = 2, .rows = {1, 2, 3, 4, 5, 6}});
  const int gates = rich.body(
      {.sizeX = 40,
       .sizeY = 30,
       .blockCount = 4,
       .refPrefix = "IC",
       .pattern = bitmap,
       .sides = 1 | 4,
       .pins = {{.location = 0x0005, .name = "A", .numbers = {1, 4, 9, 12}},
                {.location = 0x0203, .name = "\\C\\S", .numbers = {0x0403, 0x8005, 0x7DFF, 2}}}});
  const int dual = rich.body(
      {.blockCount = 2, .refPrefix = "OP", .pins = {{.location = 0xFFFF, .numbers = {1, 7}}}});
  const int single = rich.body({.blockCount = 1, .refPrefix = "R"});
  rich.entry("74LS00", gates)
      .entry("LM358", dual)
      .entry("7400", gates)
      .entry("EMPTY", std::nullopt)
      .entry("RES", single);
  seeds.push_back({"rich", rich.bytes()});

  BinaryLibraryBuilder small;
  small.entry("CAP", small.body({.refPrefix = "C"}));
  seeds.push_back({"small", small.bytes()});

  BinaryLibraryBuilder zero;
  zero.entry("ODD", zero.body({.blockCount = 0, .refPrefix = ""}));
  seeds.push_back({"zero-blocks", zero.bytes()});
  return seeds;
}

std::vector<Seed> FieldTexts() {
  std::vector<Seed> seeds = TextLibraries();
  seeds.push_back({"escapes", FromText("a,b\r\nc%41%4\n%zz, %-1 ,%%,x\r\r\n\t  y ,\n")});
  seeds.push_back({"long-field", FromText(std::string(33000, 'Q') + ",end\n")});
  return seeds;
}

std::vector<Seed> Profiles() {
  return {
      {"tosk", FromText(kerro::testing::ToskIniText({"C:\\LIB\\A.LB3", "B.LIB", "lib\\C.LB3"}))},
      {"recent", FromText("[Recent File List]\nFile0=C:\\A.CE2\nFile1= \"quoted\" \nFile3=x\n")},
      {"messy", FromText("LIB0=outside\n[ library ]\r\n lib0 = first\nLIB0=second\n"
                         "[LIBRARY\nLIB1\n=\n[LIBRARY]\nLIB1=later section\n[Recent File List]")},
      {"no-break", FromText("[LIBRARY]\nLIB0='x'")},
      {"empty", {}},
  };
}

std::vector<Seed> Jobs() {
  std::vector<Seed> seeds;
  const auto schematics = Schematics();
  const auto text = TextLibraries();
  const auto binary = BinaryLibraries();
  int n = 0;
  for (const Seed& schematic : schematics) {
    for (int variant = 0; variant < 4; ++variant) {
      kerro::fuzz::JobInput input;
      input.byLibrary = variant % 2 == 1;
      input.oldBackup = variant >= 2;
      input.failOneChange = variant == 3;
      input.failingChange = n % 6;
      input.initial = variant == 0 ? 1 : 1 + 97 * n % 1000;
      input.step = 1 + n % 20;
      input.schematic = schematic.bytes;
      if (input.byLibrary) {
        input.libraries = {text[0].bytes, binary[0].bytes};
        if (variant == 3) {
          input.libraries.push_back(text[1].bytes);
        }
      }
      seeds.push_back(
          {schematic.name + "-" + std::to_string(variant), kerro::fuzz::EncodeJobInput(input)});
      ++n;
    }
  }
  return seeds;
}

void WriteSeeds(const std::filesystem::path& folder, const std::vector<Seed>& seeds) {
  std::filesystem::create_directories(folder);
  for (const Seed& seed : seeds) {
    kerro::testing::WriteBytes((folder / seed.name).string(), seed.bytes);
  }
}

// Maps, each with a first byte that says whether it is read reversed.
std::vector<Seed> Maps() {
  const auto seed = [](const std::string& name, bool reverse, const std::string& csv) {
    return Seed{name, FromText(std::string(1, reverse ? '\1' : '\0') + csv)};
  };
  const std::string report =
      "file,section,x,y,part,tag,old_reference,new_reference,old_block,new_block\r\n"
      "A.CE2,1,10,0,RES,RES,R5,R1,0,0\r\nA.CE2,1,30,0,QUAD,QUAD,U9,U1,2,0\r\n"
      "A.CE2,2,20,5,RES,RES,R?,R3,0,0\r\n";
  return {seed("references", false, "old_reference,new_reference\nR1,R2\nR2,R1\nU1,U7\n"),
          seed("report-reversed", true, report), seed("report", false, report),
          seed("semicolons-quoted", false,
               "\xEF\xBB\xBF old_reference ; \"new_reference\"\r\n\"R,1\" ; R2 \r\nC1;C\"\"9\r\n")};
}

// Placement files in each form the reader knows.
std::vector<Seed> Placements() {
  return {
      {"comma", FromText("Ref,Val,PosX,PosY,Side\r\nR1,1k,10.5,-2,top\r\nC2,1n,0,3mm,B.Cu\r\n")},
      {"semicolon-quoted", FromText("\xEF\xBB\xBF\"Designator\";\"Mid X\";\"Mid Y\";Layer\n"
                                    "\"U\"\"1\";\"1,5\";2;TopLayer\n U2 ; 3in ; 4 ; bottom\n")},
      {"tab-mil", FromText("RefDes\tCenter-X(mil)\tCenter-Y(mil)\tTB\nQ1\t100\t-50\tT\n")},
      {"text", FromText("## Unit = inch\n# Ref Val PosX PosY Side\nC1 \"1 n\" 1.0 -0.5 top\n"
                        "C2 10n 0.25 2 bottom\n## End\n")}};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: kerro_fuzz_seeds FOLDER\n");
    return 2;
  }
  try {
    const std::filesystem::path root = argv[1];
    WriteSeeds(root / "schematic", Schematics());
    WriteSeeds(root / "field_reader", FieldTexts());
    WriteSeeds(root / "text_library", TextLibraries());
    WriteSeeds(root / "binary_library", BinaryLibraries());
    WriteSeeds(root / "profile", Profiles());
    WriteSeeds(root / "job", Jobs());
    WriteSeeds(root / "reference_map", Maps());
    WriteSeeds(root / "placement", Placements());
  } catch (const std::exception& error) {
    std::fprintf(stderr, "kerro_fuzz_seeds: %s\n", error.what());
    return 1;
  }
  return 0;
}
