#include "renumber/radix_sort.h"

#include <gtest/gtest.h>

#include <iterator>
#include <random>
#include <string>

namespace kerro {
namespace {

struct Item {
  uint64_t key;
  size_t order;  // position before sorting, to see that equal keys keep it
};

TEST(RadixSortByKey, AgreesWithStableSort) {
  struct Case {
    const char* name;
    size_t count;
    uint64_t keyLimit;  // keys are drawn from 0 to keyLimit - 1
    int highShift;      // and shifted left by this much
  };
  const Case cases[] = {
      {"empty", 0, 10, 0},
      {"below the comparison-sort limit", 200, 50, 0},
      {"many equal keys", 5000, 3, 0},
      {"one digit", 5000, 2048, 0},
      {"several digits", 20000, uint64_t{1} << 40, 0},
      {"only high bits used", 5000, 7, 60},
      {"all keys equal", 3000, 1, 33},
      {"full width", 5000, UINT64_MAX, 0},
  };
  std::vector<Case> widths;  // keys of every width, each with its own split into digits
  for (int width = 1; width < 64; ++width) {
    widths.push_back({"one width", 1000, uint64_t{1} << width, 0});
  }
  std::mt19937_64 random(7);
  widths.insert(widths.begin(), std::begin(cases), std::end(cases));
  for (const Case& c : widths) {
    SCOPED_TRACE(std::string(c.name) + ", keys below " + std::to_string(c.keyLimit));
    std::vector<Item> items;
    for (size_t i = 0; i < c.count; ++i) {
      const uint64_t key = c.keyLimit == UINT64_MAX ? random() : random() % c.keyLimit;
      items.push_back({key << c.highShift, i});
    }
    std::vector<Item> expected = items;
    std::stable_sort(expected.begin(), expected.end(),
                     [](const Item& a, const Item& b) { return a.key < b.key; });
    RadixSortByKey(items, [](const Item& item) { return item.key; });
    ASSERT_EQ(items.size(), expected.size());
    for (size_t i = 0; i < items.size(); ++i) {
      ASSERT_EQ(items[i].key, expected[i].key) << "at " << i;
      ASSERT_EQ(items[i].order, expected[i].order) << "at " << i;
    }
  }
}

}  // namespace
}  // namespace kerro
