#include "ravelin/common/sorted_ids.h"

#include <algorithm>

namespace ravelin::common {

std::vector<std::uint32_t> sorted_unique_ids(std::vector<std::uint32_t> ids) {
  std::sort(ids.begin(), ids.end());
  ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
  return ids;
}

}  // namespace ravelin::common
