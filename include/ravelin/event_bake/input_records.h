// The archive records a landblock bake read or tried to read: its inputs. A
// record the bake looked for and did not find counts as well, since adding it
// later changes the bake. The bake writes these itself, as it fetches.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ravelin/event_bake/bake_error.h"
#include "ravelin/event_bake/manifest.h"

namespace ravelin::event_bake {

struct InputRecords {
  std::vector<std::uint32_t> portal;  // file ids of client_portal.dat
  std::vector<std::uint32_t> cell;    // file ids of client_cell_1.dat

  // Sorts both lists and drops repeats; a finished list is ascending.
  void finish();
  // "portal:0x…" for each portal id, then "cell:0x…" for each cell id, in list
  // order (ascending once finished), ids as 0x and eight upper-case digits.
  std::vector<std::string> names() const;

  bool operator==(const InputRecords&) const = default;
};

// A bake's result together with its inputs, finished. The inputs are there
// also when the bake failed: up to and including the record it failed on
// (none when an archive would not open).
struct RecordedBake {
  BakeResult<LandblockEventBake> result;
  InputRecords inputs;
};

}  // namespace ravelin::event_bake
