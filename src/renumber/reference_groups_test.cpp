#include "renumber/reference_groups.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <vector>

namespace kerro {
namespace {

// Against a map of every reference: 200,000 references of up to 8 characters, some met
// several times, a few longer, the empty one among them. So many distinct references give
// some pairs of unequal references one 32-bit hash, which must still be told apart.
TEST(ReferenceGroups, AgreeWithAMapOfEveryReference) {
  std::mt19937 random(77);
  std::vector<std::string> texts;
  for (int i = 0; i < 200000; ++i) {
    if (i > 0 && random() % 4 == 0) {
      texts.push_back(texts[random() % texts.size()]);  // a reference met again
      continue;
    }
    std::string text(random() % 100 == 0 ? 9 + random() % 4 : random() % 9, ' ');
    for (char& c : text) {
      c = static_cast<char>(random() % 5 == 0 ? random() % 256 : 'A' + random() % 26);
    }
    texts.push_back(text);
  }
  const std::vector<std::string_view> references(texts.begin(), texts.end());
  std::map<std::string_view, std::vector<uint32_t>> model;
  for (uint32_t i = 0; i < references.size(); ++i) {
    model[references[i]].push_back(i);
  }
  for (const bool singles : {false, true}) {
    std::map<std::string_view, std::vector<uint32_t>> groups;
    ForEachReferenceGroup(references, singles, [&](std::span<const uint32_t> group) {
      ASSERT_FALSE(group.empty());
      const auto [at, added] =
          groups.emplace(references[group.front()], std::vector(group.begin(), group.end()));
      EXPECT_TRUE(added) << "one reference in two groups";
    });
    std::map<std::string_view, std::vector<uint32_t>> expected;
    for (const auto& [reference, indexes] : model) {
      if (singles || indexes.size() > 1) {
        expected.emplace(reference, indexes);
      }
    }
    EXPECT_EQ(groups, expected) << (singles ? "with" : "without") << " sets of one";
  }
}

}  // namespace
}  // namespace kerro
