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

// Where a bake notes its inputs. Every step of the bake that reads an archive
// record, and every fetch of the record cache, takes a recorder as its last
// parameter and notes there each id it asks for, found or not, cached or not;
// nothing records any other way. Being a parameter rather than state of the
// cache or the resources, it cannot be left switched on for a later call, and
// one cache can serve a recorded and an unrecorded bake alike.
//
// A recorder is a pointer to the lists it fills, copied freely; the lists
// outlive the calls it is passed to. A default-made recorder notes nothing, so a
// bake that is not recording pays a test of a null pointer per fetch.
class InputRecorder {
 public:
  InputRecorder() = default;
  explicit InputRecorder(InputRecords& records) : records_(&records) {}

  void portal(std::uint32_t id) const {
    if (records_ != nullptr) records_->portal.push_back(id);
  }
  void cell(std::uint32_t id) const {
    if (records_ != nullptr) records_->cell.push_back(id);
  }
  // Inputs recorded earlier by work whose result is reused now (a session's
  // setups and sky chain): they count for every bake that uses the result.
  void replay(const InputRecords& earlier) const {
    if (records_ == nullptr) return;
    records_->portal.insert(records_->portal.end(), earlier.portal.begin(), earlier.portal.end());
    records_->cell.insert(records_->cell.end(), earlier.cell.begin(), earlier.cell.end());
  }

 private:
  InputRecords* records_ = nullptr;
};

// A bake's result together with its inputs, finished. The inputs are there
// also when the bake failed: up to and including the record it failed on
// (none when an archive would not open).
struct RecordedBake {
  BakeResult<LandblockEventBake> result;
  InputRecords inputs;

  // What a recorded bake gives when its region could not be fetched or
  // decoded: `error`, and the region as its one input. For a caller that
  // decoded the region itself and holds the error instead of a bake.
  static RecordedBake failed_on_region(BakeError error, std::uint32_t region_did);
};

}  // namespace ravelin::event_bake
