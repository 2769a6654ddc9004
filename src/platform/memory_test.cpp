#include "platform/memory.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace kerro {
namespace {

// The advice may change how memory is backed, never what it holds, whatever the size
// and alignment of the buffer.
TEST(AdviseLargeBuffer, KeepsTheBytes) {
  struct Case {
    const char* name;
    size_t size;
    size_t offset;  // into the allocation, to get an unaligned start
  };
  const Case cases[] = {
      {"empty", 0, 0},
      {"small", 100, 3},
      {"large", size_t{20} << 20, 0},
      {"large, unaligned, odd size", (size_t{17} << 20) + 7, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<uint8_t> buffer(c.size + c.offset);
    for (size_t i = 0; i < buffer.size(); ++i) {
      buffer[i] = static_cast<uint8_t>(i * 31 + (i >> 12));
    }
    const std::vector<uint8_t> before = buffer;
    AdviseLargeBuffer(buffer.data() + c.offset, c.size);
    EXPECT_EQ(buffer, before);
  }
  AdviseLargeBuffer(nullptr, size_t{64} << 20);  // nothing to advise
}

// The pages of a large buffer are faulted in from its end while the caller writes it from
// its start: whatever the two meet on, the caller's bytes are what the buffer holds.
TEST(AdviseLargeBuffer, KeepsWhatTheCallerWritesMeanwhile) {
  for (int round = 0; round < 4; ++round) {
    std::vector<uint32_t> table;
    ReserveLarge(table, size_t{12} << 20);
    for (uint32_t i = 0; i < (uint32_t{12} << 20); ++i) {
      table.push_back(i * 2654435761u + static_cast<uint32_t>(round));
    }
    WaitUntilLargeBuffersAreFaultedIn();
    for (uint32_t i = 0; i < table.size(); ++i) {
      ASSERT_EQ(table[i], i * 2654435761u + static_cast<uint32_t>(round)) << i;
    }
  }
}

TEST(ReserveLarge, ReservesWithoutAddingElements) {
  std::vector<uint64_t> table = {1, 2, 3};
  ReserveLarge(table, size_t{3} << 20);
  EXPECT_GE(table.capacity(), size_t{3} << 20);
  EXPECT_EQ(table, (std::vector<uint64_t>{1, 2, 3}));
}

}  // namespace
}  // namespace kerro
