// INI profile: any file text gives values within the limit, and writing one key changes
// what that key reads and nothing that any other key reads.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "fuzz_checks.h"
#include "platform/profile.h"

namespace {

struct Query {
  std::string_view section;
  std::string_view key;
};

// The names the program reads, in the spelling of the files and in other cases.
constexpr Query kQueries[] = {
    {"LIBRARY", "LIB0"},           {"library", "lib1"},           {"LIBRARY", "LIB15"},
    {"Recent File List", "File0"}, {"RECENT FILE LIST", "file3"},
};

kerro::FileSystem& Files() {
  static const std::unique_ptr<kerro::FileSystem> fileSystem = kerro::CreateRealFileSystem();
  return *fileSystem;
}

std::string Read(const std::string& file, const Query& query) {
  return kerro::ReadProfileString(Files(), file, query.section, query.key, "-");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string file = kerro::fuzz::ScratchFolder() + "/TOSK.INI";
  kerro::fuzz::WriteFileOrDie(file, std::span<const uint8_t>(data, size));

  std::string before[std::size(kQueries)];
  for (size_t i = 0; i < std::size(kQueries); ++i) {
    before[i] = Read(file, kQueries[i]);
    KERRO_FUZZ_CHECK(before[i].size() <= kerro::kProfileValueLimit, "value over the limit");
    KERRO_FUZZ_CHECK(before[i].find('\n') == std::string::npos, "value runs over a line end");
  }

  // LIB1 and lib1 name the same key: the write must change exactly the reads of it.
  KERRO_FUZZ_CHECK(kerro::WriteProfileString(Files(), file, "LIBRARY", "LIB1", "C:\\LIB\\NEW.LB3"),
                   "write failed");
  for (size_t i = 0; i < std::size(kQueries); ++i) {
    const std::string after = Read(file, kQueries[i]);
    if (i == 1) {
      KERRO_FUZZ_CHECK(after == "C:\\LIB\\NEW.LB3", "the written value reads back as " + after);
    } else {
      KERRO_FUZZ_CHECK(after == before[i], "writing LIB1 changed " + std::string(kQueries[i].key));
    }
  }
  return 0;
}
