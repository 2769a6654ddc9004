#pragma once
// The components that share a reference, found on boards of a million in linear time: a
// hash of each reference brings equal ones together, and only references whose hash is
// shared are compared. Duplicate repair and the annotation check both group so.

#include <cstdint>
#include <functional>
#include <span>
#include <string_view>

namespace kerro {

// Calls `visit` with the indexes (into `references`) of each set of byte-for-byte equal
// references, in ascending order within the set; sets of one only if `singles`. The order
// of the sets is unspecified.
void ForEachReferenceGroup(std::span<const std::string_view> references, bool singles,
                           const std::function<void(std::span<const uint32_t>)>& visit);

}  // namespace kerro
