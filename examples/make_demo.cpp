// Writes the demo board of examples/demo/ with the project's own builders.
// Usage: make_demo FOLDER (created if needed)
//
// The board: a 5 V supply, a small gate and flip-flop circuit and an op-amp stage, over two
// sheets (sections), with references and gate blocks in disorder as they are after a few
// rounds of editing. TOSK.INI lists a text and a binary part library that hold its parts.
// Each file of the demo comes from one function below; add a file by adding one.

#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

#include "testing/test_support.h"

namespace {

using kerro::testing::BinaryBody;
using kerro::testing::BinaryLibraryBuilder;
using kerro::testing::BinaryPin;
using kerro::testing::ComponentRecord;
using kerro::testing::PlacedPart;
using kerro::testing::SchematicBuilder;
using kerro::testing::TextComponent;
using kerro::testing::TextLibraryBuilder;
using kerro::testing::TextPin;

struct DemoFile {
  std::string name;
  std::vector<uint8_t> bytes;
};

// A power block: the supply pins of a multi-gate part, sharing its package's tag.
ComponentRecord PowerBlock(const char* partName, const char* packageTag, const char* reference,
                           int16_t x, int16_t y) {
  return {.x = x, .y = y, .packageTag = packageTag, .reference = reference, .partName = partName};
}

// A power symbol: no reference and no tag.
ComponentRecord Power(const char* name, int16_t x, int16_t y) {
  return {.x = x, .y = y, .partName = name};
}

// Wires and labels between the parts; the renumbering carries them through unread.
void Wiring(SchematicBuilder& builder, int count) {
  for (int i = 0; i < count; ++i) {
    builder.fixedRecord(static_cast<uint8_t>(2 + i % 3));
  }
  builder.variableRecord(32, 24).variableRecord(33, 40);
}

DemoFile Schematic() {
  SchematicBuilder builder;

  // Sheet 1: supply, gates, flip-flops.
  builder.header();
  builder.component(PlacedPart("CONN2", "J4", 40, 100))
      .component(PlacedPart("1N4001", "D7", 120, 100))
      .component(PlacedPart("7805", "U9", 220, 100))
      .component(PlacedPart("CAP_POL", "C14", 180, 160))
      .component(PlacedPart("CAP", "C3", 280, 160))
      .component(PlacedPart("CAP_POL", "C2", 320, 160))
      .component(PlacedPart("LED", "D3", 420, 100))
      .component(PlacedPart("RES", "R12", 380, 100))
      .component(Power("GND", 220, 220))
      .component(Power("GND", 420, 220))
      .component(Power("VCC", 320, 60))
      .component(Power("VCC", 620, 260));
  Wiring(builder, 6);
  builder.component(PlacedPart("74LS00", "U5", 600, 300, 2))
      .component(PlacedPart("74LS00", "U5", 600, 380, 0))
      .component(PlacedPart("74LS00", "U5", 700, 300, 3))
      .component(PlacedPart("74LS00", "U5", 700, 380, 1))
      .component(PlacedPart("74LS00", "U2", 820, 300, 1))
      .component(PlacedPart("74LS00", "U2", 820, 380, 0))
      .component(PowerBlock("VCC_74LS00", "74LS00", "U5", 640, 480))
      .component(PowerBlock("VCC_74LS00", "74LS00", "U2", 860, 480))
      .component(PlacedPart("RES", "R7", 540, 260))
      .component(PlacedPart("RES", "R3", 540, 340))
      .component(PlacedPart("RES", "R1", 760, 240))
      .component(PlacedPart("CAP", "C9", 660, 540))
      .component(PlacedPart("CAP", "C5", 880, 540))
      .component(PlacedPart("74LS74", "U8", 980, 300, 1))
      .component(PlacedPart("74LS74", "U8", 980, 420, 0))
      .component(PowerBlock("VCC_74LS74", "74LS74", "U8", 1020, 520));
  Wiring(builder, 9);

  // Sheet 2: the op-amp stage and its connectors.
  builder.header();
  builder.component(PlacedPart("LM358", "U4", 300, 200, 1))
      .component(PlacedPart("LM358", "U4", 300, 400, 0))
      .component(PowerBlock("VCC_LM358", "LM358", "U4", 360, 520))
      .component(PlacedPart("RES", "R22", 180, 180))
      .component(PlacedPart("RES", "R9", 180, 260))
      .component(PlacedPart("RES", "R30", 420, 200))
      .component(PlacedPart("RES", "R5", 420, 400))
      .component(PlacedPart("CAP", "C17", 240, 320))
      .component(PlacedPart("CAP", "C8", 480, 300))
      .component(PlacedPart("CONN3", "J2", 40, 200))
      .component(PlacedPart("CONN4", "J7", 600, 300))
      .component(PlacedPart("POT", "RV3", 120, 400))
      .component(Power("GND", 300, 600))
      .component(Power("GND", 600, 420))
      .component(Power("VCC", 360, 100));
  Wiring(builder, 8);

  return {"DEMO.CE2", builder.bytes()};
}

// Pins numbered per block: `numbers[b]` is the pin of this function in block b.
TextPin GatePin(const char* name, const char* location, std::vector<std::string> numbers) {
  return {.name = name, .location = location, .numbers = std::move(numbers)};
}

// The logic and passive parts, as a text library.
DemoFile TextLibrary() {
  TextLibraryBuilder library;
  library.crlf();
  library
      .component({.name = "74LS00",
                  .sizeX = 4,
                  .sizeY = 4,
                  .blocks = 4,
                  .refPrefix = "U",
                  .pins = {GatePin("A", "L1", {"1", "4", "9", "12"}),
                           GatePin("B", "L3", {"2", "5", "10", "13"}),
                           GatePin("Y", "R2", {"3", "6", "8", "11"})}})
      .alias("74LS00", "7400")
      .component({.name = "74LS74",
                  .sizeX = 4,
                  .sizeY = 6,
                  .blocks = 2,
                  .refPrefix = "U",
                  .pins = {GatePin("D", "L1", {"2", "12"}), GatePin("CK", "L3", {"3", "11"}),
                           GatePin("Q", "R1", {"5", "9"}), GatePin("\\Q", "R3", {"6", "8"})}})
      .component({.name = "VCC_74LS00",
                  .sizeX = 2,
                  .sizeY = 2,
                  .refPrefix = "U",
                  .pins = {GatePin("VCC", "T1", {"14"}), GatePin("GND", "B1", {"7"})}})
      .component({.name = "VCC_74LS74",
                  .sizeX = 2,
                  .sizeY = 2,
                  .refPrefix = "U",
                  .pins = {GatePin("VCC", "T1", {"14"}), GatePin("GND", "B1", {"7"})}});
  for (const char* name : {"RES", "POT"}) {
    library.component({.name = name,
                       .sizeX = 1,
                       .sizeY = 3,
                       .refPrefix = "R",
                       .pins = {GatePin("1", "T0", {"1"}), GatePin("2", "B0", {"2"})}});
  }
  for (const char* name : {"CAP", "CAP_POL"}) {
    library.component({.name = name,
                       .sizeX = 1,
                       .sizeY = 2,
                       .refPrefix = "C",
                       .pins = {GatePin("1", "T0", {"1"}), GatePin("2", "B0", {"2"})}});
  }
  for (const char* name : {"LED", "1N4001"}) {
    library.component({.name = name,
                       .sizeX = 2,
                       .sizeY = 1,
                       .refPrefix = "D",
                       .pins = {GatePin("A", "L0", {"1"}), GatePin("K", "R0", {"2"})}});
  }
  library.component({.name = "7805",
                     .sizeX = 4,
                     .sizeY = 2,
                     .refPrefix = "U",
                     .pins = {GatePin("IN", "L1", {"1"}), GatePin("GND", "B2", {"2"}),
                              GatePin("OUT", "R1", {"3"})}});
  return {"DEMO.LB3", library.bytes()};
}

// The analogue parts and connectors, as a binary library.
DemoFile BinaryLibrary() {
  BinaryLibraryBuilder library;
  const int opAmp =
      library.body({.sizeX = 4,
                    .sizeY = 4,
                    .blockCount = 2,
                    .refPrefix = "U",
                    .sides = 1 | 4,
                    .pins = {{.location = 0x0001, .name = "+", .numbers = {3, 5}},
                             {.location = 0x0003, .name = "-", .numbers = {2, 6}},
                             {.location = 0x0202, .name = "OUT", .numbers = {1, 7}}}});
  const int opAmpSupply =
      library.body({.sizeX = 2,
                    .sizeY = 2,
                    .refPrefix = "U",
                    .sides = 2 | 8,
                    .pins = {{.location = 0x0101, .name = "V+", .numbers = {8}},
                             {.location = 0x0301, .name = "V-", .numbers = {4}}}});
  library.entry("LM358", opAmp).entry("358", opAmp).entry("VCC_LM358", opAmpSupply);
  for (uint8_t pins = 2; pins <= 4; ++pins) {
    BinaryBody connector{.sizeX = 2, .sizeY = pins, .refPrefix = "J", .sides = 1};
    for (uint8_t pin = 1; pin <= pins; ++pin) {
      connector.pins.push_back({.location = pin, .numbers = {pin}});
    }
    library.entry("CONN" + std::to_string(pins), library.body(connector));
  }
  return {"DEMO.LIB", library.bytes()};
}

// The editor's settings beside the board, listing both libraries by relative path: they
// are found from the folder the tool runs in.
DemoFile ToskIni() {
  const std::string text = kerro::testing::ToskIniText({"DEMO.LB3", "DEMO.LIB"});
  return {"TOSK.INI", {text.begin(), text.end()}};
}

// Where the parts of the schematic sit on the board, in millimetres with y growing upward,
// as the layout exports it (kerro-cli --by-board). Three rows on the top side, two on the
// bottom, each within 1 mm; R30 is not on the board, and the mounting hole MH1 is no part
// of the schematic.
DemoFile Placement() {
  const std::string text =
      "Ref,Val,Package,PosX,PosY,Rot,Side\r\n"
      "J4,CONN2,PinHeader_1x02,5.00,35.00,90,top\r\n"
      "D7,1N4001,D_DO-41,15.00,35.40,0,top\r\n"
      "U9,7805,TO-220,25.00,34.60,0,top\r\n"
      "R12,1k,R_0805,35.00,35.00,0,top\r\n"
      "D3,LED,LED_0805,45.00,35.20,180,top\r\n"
      "C14,100u,CP_6.3mm,5.00,25.00,0,top\r\n"
      "C3,100n,C_0805,12.00,25.30,0,top\r\n"
      "C2,10u,CP_5mm,19.00,24.80,0,top\r\n"
      "U5,74LS00,SOIC-14,30.00,25.00,0,top\r\n"
      "U2,74LS00,SOIC-14,42.00,25.00,0,top\r\n"
      "R7,10k,R_0805,52.00,25.50,90,top\r\n"
      "R3,10k,R_0805,5.00,15.00,90,top\r\n"
      "R1,4k7,R_0805,14.00,15.20,90,top\r\n"
      "U8,74LS74,SOIC-14,24.00,15.00,0,top\r\n"
      "U4,LM358,SOIC-8,34.00,15.00,0,top\r\n"
      "J2,CONN3,PinHeader_1x03,44.00,15.00,90,top\r\n"
      "J7,CONN4,PinHeader_1x04,54.00,14.80,90,top\r\n"
      "RV3,10k,Trimmer_3296W,60.00,15.00,0,top\r\n"
      "C9,100n,C_0603,10.00,30.00,0,bottom\r\n"
      "C5,100n,C_0603,20.00,30.50,0,bottom\r\n"
      "R22,100k,R_0603,30.00,30.00,0,bottom\r\n"
      "C17,1n,C_0603,10.00,20.00,0,bottom\r\n"
      "C8,1n,C_0603,20.00,20.00,0,bottom\r\n"
      "R5,22k,R_0603,30.00,19.60,0,bottom\r\n"
      "R9,22k,R_0603,40.00,20.00,0,bottom\r\n"
      "MH1,,MountingHole_3.2mm,2.00,2.00,0,top\r\n";
  return {"DEMO-POS.csv", {text.begin(), text.end()}};
}

std::vector<DemoFile> DemoFiles() {
  return {Schematic(), TextLibrary(), BinaryLibrary(), ToskIni(), Placement()};
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_demo FOLDER\n");
    return 2;
  }
  const std::string folder = argv[1];
  try {
    std::filesystem::create_directories(folder);
    for (const DemoFile& file : DemoFiles()) {
      kerro::testing::WriteBytes(folder + "/" + file.name, file.bytes);
    }
  } catch (const std::exception& error) {
    std::fprintf(stderr, "make_demo: %s\n", error.what());
    return 1;
  }
  return 0;
}
