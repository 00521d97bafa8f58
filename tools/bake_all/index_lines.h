// The lines of index.jsonl, which the atlas embeds too:
//   {"landblock_id":"0xA9B40000","file":"0xA9B4.events.jsonl","ambient":16,
//    "animation_sound":24,"physics_script_particle":4,"sky_chain":16,"bytes":21800}
//   {"landblock_id":"0x01020000","error":"..."}
//   {"interrupted":"SIGINT","baked":2,"of":3}  (last, when the run was interrupted)
// each ending in a newline.
#pragma once

#include <string>

#include "ravelin/common/sink.h"
#include "tools/bake_all/outcome.h"

namespace ravelin::tools {

// Appends the landblock's line; its `bytes` must be known unless it failed.
void append_index_line(std::string& out, const LandblockOutcome& outcome);
void append_interrupted_line(std::string& out, const common::JobEnd& end);

}  // namespace ravelin::tools
