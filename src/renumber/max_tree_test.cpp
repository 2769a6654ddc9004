#include "renumber/max_tree.h"

#include <gtest/gtest.h>

#include <random>

namespace kerro {
namespace {

// Against a linear scan, on random arrays of every size up to 70 (powers of two and the
// sizes between) and every range.
TEST(MaxTree, FindsTheFirstNumberAboveTheFloorInARange) {
  std::mt19937 random(99);
  for (size_t size = 0; size <= 70; ++size) {
    std::vector<int64_t> numbers(size);
    for (int64_t& number : numbers) {
      number = static_cast<int64_t>(random() % 20);
    }
    const MaxTree tree(numbers);
    for (size_t from = 0; from <= size; ++from) {
      for (size_t to = from; to <= size; ++to) {
        const int64_t floor = static_cast<int64_t>(random() % 22) - 1;
        std::optional<size_t> expected;
        for (size_t i = from; i < to && !expected; ++i) {
          if (numbers[i] > floor) {
            expected = i;
          }
        }
        ASSERT_EQ(tree.firstAbove(from, to, floor), expected)
            << "size " << size << " range " << from << ".." << to << " floor " << floor;
      }
    }
  }
}

}  // namespace
}  // namespace kerro
