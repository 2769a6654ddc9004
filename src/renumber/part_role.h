#pragma once
// What a part name says about a component: a power symbol (exactly "VCC", "VDD", "GND",
// "VEE" or "VSS") carries no reference of its own, a power block (a longer name that begins
// with one of them, such as VCC_74LS00) shares the reference of a package of its tag, and
// every other part is ordinary. Names are compared byte for byte, case included.

#include <array>
#include <cstdint>
#include <string_view>

namespace kerro {

enum class PartRole : uint8_t { Ordinary, PowerSymbol, PowerBlock };

inline PartRole PartRoleOf(std::string_view partName) {
  constexpr std::array<std::string_view, 5> kPowerNames = {"VCC", "VDD", "GND", "VEE", "VSS"};
  for (std::string_view power : kPowerNames) {
    if (partName.starts_with(power)) {
      return partName.size() == power.size() ? PartRole::PowerSymbol : PartRole::PowerBlock;
    }
  }
  return PartRole::Ordinary;
}

}  // namespace kerro
