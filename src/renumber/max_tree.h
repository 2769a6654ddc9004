#pragma once
// A maximum tree over a fixed array of numbers. It answers "the first position in
// [from, to) whose number is above `floor`" in logarithmic time, which is what each power
// block asks of the packages of its tag and prefix.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace kerro {

class MaxTree {
 public:
  explicit MaxTree(const std::vector<int64_t>& numbers) {
    while (leaves_ < numbers.size()) {
      leaves_ *= 2;
    }
    tree_.assign(2 * leaves_, INT64_MIN);
    std::copy(numbers.begin(), numbers.end(), tree_.begin() + static_cast<ptrdiff_t>(leaves_));
    for (size_t node = leaves_ - 1; node > 0; --node) {
      tree_[node] = std::max(tree_[2 * node], tree_[2 * node + 1]);
    }
  }

  std::optional<size_t> firstAbove(size_t from, size_t to, int64_t floor) const {
    return search(1, 0, leaves_, from, to, floor);
  }

 private:
  std::optional<size_t> search(size_t node, size_t low, size_t high, size_t from, size_t to,
                               int64_t floor) const {
    if (high <= from || low >= to || tree_[node] <= floor) {
      return std::nullopt;
    }
    if (high - low == 1) {
      return low;
    }
    const size_t middle = low + (high - low) / 2;
    if (auto found = search(2 * node, low, middle, from, to, floor)) {
      return found;
    }
    return search(2 * node + 1, middle, high, from, to, floor);
  }

  size_t leaves_ = 1;
  std::vector<int64_t> tree_;
};

}  // namespace kerro
