// What `dat put` and `dat edit` print once their commit is done.
#pragma once

#include <cstdint>
#include <string>

#include "ravelin/common/file_system.h"
#include "ravelin/dat/archive_editor_types.h"

namespace ravelin::tools {

// "put 2 files into ARCHIVE (2 new, 0 replaced): 16 blocks written (16 reused,
// 0 appended), 14 freed, 0 reclaimed", and what was left for a later commit.
std::string put_summary(const common::Path& archive, std::uint64_t files, std::uint64_t added,
                        const dat::CommitStats& stats);

}  // namespace ravelin::tools
