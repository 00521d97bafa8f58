// File ids in the one order every walk over a set of ids uses: ascending as
// unsigned numbers, each id once.
#pragma once

#include <cstdint>
#include <vector>

namespace ravelin::common {

// `ids` sorted ascending with repeated ids removed.
std::vector<std::uint32_t> sorted_unique_ids(std::vector<std::uint32_t> ids);

}  // namespace ravelin::common
