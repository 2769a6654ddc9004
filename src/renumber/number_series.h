#pragma once
// Where library-guided numbering takes a new number for a prefix (NextNumber): the series
// initial, initial + step, initial + 2 x step ... of each prefix, in the order asked.

#include <cstdint>
#include <vector>

namespace kerro {

class NumberSeries {
 public:
  NumberSeries(int initial, int step, uint32_t prefixCount)
      : initial_(initial), step_(step), last_(prefixCount, 0) {}
  virtual ~NumberSeries() = default;
  NumberSeries(const NumberSeries&) = delete;
  NumberSeries& operator=(const NumberSeries&) = delete;

  // The next number of prefix id `prefix` for the component at index `component` of the
  // document's entries: initial the first time, else the last number given plus step.
  // Numbers are at least 1. A variant may reserve numbers or choose by component.
  virtual int64_t next(uint32_t prefix, uint32_t component) {
    (void)component;
    int64_t& last = last_[prefix];
    last = last == 0 ? initial_ : last + step_;
    return last;
  }

 private:
  int64_t initial_;
  int64_t step_;
  std::vector<int64_t> last_;  // by prefix id; 0 before the first number
};

}  // namespace kerro
