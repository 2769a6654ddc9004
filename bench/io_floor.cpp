// What any renumbering that holds the whole board in memory must do at least, for the
// whole-process benchmark to set beside the copy: read the file into fresh memory and
// write it to a new file, flushed, both through the file system kerro-cli uses, with a byte
// in every 61 changed between. With TABLE_MB, as many megabytes of fresh tables are also
// written once, as a numbering's tables sized by the board are; the difference between two
// runs is what each megabyte of them costs on this machine.
//
// Usage: io_floor SOURCE DESTINATION [TABLE_MB]

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "platform/memory.h"

int main(int argc, char** argv) {
  if (argc < 3 || argc > 4) {
    std::fprintf(stderr, "usage: io_floor SOURCE DESTINATION [TABLE_MB]\n");
    return 2;
  }
  kerro::PreferLargePagesForTheHeap();
  const size_t tableBytes = argc == 4 ? std::stoul(argv[3]) << 20 : 0;
  std::vector<unsigned char> table;  // kept to the end, so the image cannot reuse it
  if (tableBytes > 0) {
    kerro::ReserveLarge(table, tableBytes);
    table.resize(tableBytes, 1);
    if (table[tableBytes / 2] != 1) {
      return 1;
    }
  }
  const std::unique_ptr<kerro::FileSystem> files = kerro::CreateRealFileSystem();
  std::optional<std::vector<uint8_t>> image = files->readFile(argv[1]);
  if (!image) {
    std::fprintf(stderr, "io_floor: cannot read %s\n", argv[1]);
    return 1;
  }
  for (size_t i = 0; i < image->size(); i += 61) {
    (*image)[i] ^= 1;
  }
  if (!files->writeFile(argv[2], *image)) {
    std::fprintf(stderr, "io_floor: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
