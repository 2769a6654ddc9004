#include "renumber/reference_groups.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

namespace kerro {
namespace {

// Unequal references of `head` and `length - head.size()` more letters with one hash, found
// among many random ones.
std::vector<std::pair<std::string, std::string>> SharingAHash(std::mt19937& random,
                                                              const std::string& head,
                                                              size_t length) {
  std::unordered_map<uint32_t, std::string> seen;
  std::vector<std::pair<std::string, std::string>> pairs;
  for (int i = 0; i < 300000; ++i) {
    std::string text = head;
    while (text.size() < length) {
      text.push_back(static_cast<char>('A' + random() % 26));
    }
    const auto [at, added] = seen.emplace(HashAndLengthOf(text), text);
    if (!added && at->second != text) {
      pairs.emplace_back(at->second, text);
    }
  }
  return pairs;
}

// Against a map of every reference: 200,000 references of up to 8 characters, some met
// several times, a few longer, the empty one among them, and some that differ only by
// trailing zero bytes. So many distinct references give some pairs of unequal references
// one hash, which must still be told apart.
TEST(ReferenceGroups, AgreeWithAMapOfEveryReference) {
  std::mt19937 random(77);
  std::vector<std::string> texts;
  for (int i = 0; i < 200000; ++i) {
    if (i > 0 && random() % 4 == 0) {
      texts.push_back(texts[random() % texts.size()]);  // a reference met again
      continue;
    }
    if (i > 0 && random() % 50 == 0) {
      // An earlier reference with a byte more: a zero, or a ninth past eight that match.
      std::string longer = texts[random() % texts.size()];
      longer.push_back(longer.size() < 8 ? '\0' : 'A');
      texts.push_back(longer);
      continue;
    }
    std::string text(random() % 100 == 0 ? 9 + random() % 4 : random() % 9, ' ');
    for (char& c : text) {
      c = static_cast<char>(random() % 5 == 0 ? random() % 256 : 'A' + random() % 26);
    }
    texts.push_back(text);
  }
  // Unequal references met in turn within one hash: each must come out whole.
  // Longer ones are told apart past their first eight bytes.
  for (const auto& [head, length] :
       {std::pair<std::string, size_t>{"", 8}, {"", 9}, {"ABCDEFGH", 12}}) {
    const auto pairs = SharingAHash(random, head, length);
    ASSERT_GE(pairs.size(), 10u);
    for (const auto& [a, b] : pairs) {
      texts.insert(texts.end(), {a, b, a, b, a});
    }
  }
  const std::vector<std::string_view> references(texts.begin(), texts.end());
  std::map<std::string_view, std::vector<uint32_t>> model;
  for (uint32_t i = 0; i < references.size(); ++i) {
    model[references[i]].push_back(i);
  }
  for (const bool singles : {false, true}) {
    std::map<std::string_view, std::vector<uint32_t>> groups;
    ReferenceKeys keys;
    for (const std::string_view reference : references) {
      keys.add(reference);
    }
    const auto referenceOf = [&](uint32_t i) { return references[i]; };
    ForEachReferenceGroup(keys, referenceOf, singles, [&](std::span<const uint32_t> group) {
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
