#include "ravelin/event_bake/input_records.h"

#include <algorithm>
#include <utility>

#include "ravelin/common/id_text.h"

namespace ravelin::event_bake {
namespace {

void sort_unique(std::vector<std::uint32_t>& ids) {
  std::sort(ids.begin(), ids.end());
  ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
}

}  // namespace

void InputRecords::finish() {
  sort_unique(portal);
  sort_unique(cell);
}

std::vector<std::string> InputRecords::names() const {
  std::vector<std::string> out;
  out.reserve(portal.size() + cell.size());
  for (const std::uint32_t id : portal) out.push_back("portal:" + common::hex_id(id));
  for (const std::uint32_t id : cell) out.push_back("cell:" + common::hex_id(id));
  return out;
}

RecordedBake RecordedBake::failed_on_region(BakeError error, std::uint32_t region_did) {
  InputRecords inputs;
  InputRecorder(inputs).portal(region_did);
  return {std::unexpected(std::move(error)), std::move(inputs)};
}

}  // namespace ravelin::event_bake
