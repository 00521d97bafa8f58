// The sample world's next client version. Revision 2 is revision 1 (what
// write_sample_world writes) with a handful of deliberate changes, each chosen
// by a rule on the data, so that a regenerated world still gets them:
//  - the lowest-id default script of the setups that the sky does not run (a
//    sky script reaches every landblock) and that has a particle hook: its
//    first particle hook's emitter replaced;
//  - a new setup (a copy of 0xA9B4's first placed setup with a motion table and
//    a default script, under the next free setup id) added to the portal and
//    placed once more in 0xA9B4's LandblockInfo;
//  - the highest-id animation of that setup's motion table with a sound hook in
//    a frame that has a next one: the hook moved to the next frame;
//  - the highest-id animation other than that one removed;
//  - the first day group of the region whose sky objects yield no particle
//    hook: its chance halved (no manifest shows it).
#pragma once

#include <cstdint>
#include <expected>
#include <filesystem>
#include <string>
#include <vector>

#include "ravelin/common/file_system.h"

namespace ravelin::dat_writer {

// What a revision changed, in words, one line per change.
struct RevisionReport {
  std::vector<std::string> changes;
  std::uintmax_t portal_size = 0;
  std::uintmax_t cell_size = 0;
};

// Rewrites the two archives of the sample world in `dir` as revision 2 (their
// directory trees with `entries_per_node` entries a node). Fails with a text
// when an archive cannot be read or written, or when the world lacks what a
// rule looks for.
std::expected<RevisionReport, std::string> revise_sample_world(
    const std::filesystem::path& dir, std::uint32_t entries_per_node,
    common::FileSystem& fs = common::default_file_system());

}  // namespace ravelin::dat_writer
