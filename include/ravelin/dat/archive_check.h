// The structural check of an archive: the header, every directory node, every
// entry's chain against its size, the free list, and what no item uses. Never
// crashes or hangs on a damaged archive; damage is reported, not an error.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "ravelin/common/file_system.h"
#include "ravelin/dat/error.h"

namespace ravelin::dat {

// A fault makes a read or an edit go wrong; a note is something other writers
// leave behind (less-full directories, reclaimable blocks) that both handle.
enum class FindingSeverity : std::uint8_t { Fault, Note };

struct CheckFinding {
  FindingSeverity severity = FindingSeverity::Fault;
  // Stable, for scripts: "block-in-two-chains", "chain-shorter-than-entry",
  // "offset-outside-file", "cycle", "free-list-count", "free-list-tail",
  // "not-a-search-tree", "entry-count", "block-size", "block-overlaps-header",
  // "walk-limit", "header" (faults); "leaked-blocks", "bytes-past-file-size",
  // "file-size-past-end", "under-full-node", "leaves-at-different-depths",
  // "oversized-last-block", "off-grid" (notes). Many findings of one code end
  // in one "and N more of the same kind".
  std::string code;
  std::string message;
  bool operator==(const CheckFinding&) const = default;
};

struct CheckTotals {
  std::uint64_t file_length = 0;
  std::uint32_t block_size = 0;
  std::uint64_t entries = 0;  // in the nodes read
  std::uint64_t nodes = 0;
  std::uint32_t depth = 0;
  std::uint64_t free_blocks = 0;  // walked from free_head
  std::uint64_t leaked_blocks = 0;
  std::uint64_t leaked_bytes = 0;
};

struct CheckReport {
  std::vector<CheckFinding> findings;  // faults and notes, in the order found
  CheckTotals totals;

  bool has_faults() const;
};

// Checks the archive at `path`. The error is only for a file that cannot be
// opened (PathError) or read (Io).
DatResult<CheckReport> check_archive(const common::Path& path, common::FileSystem& fs = common::default_file_system());

// One line per finding ("fault cycle: directory node 0x00000400 is reached
// twice"), then "totals: ..." with the counts; every line ends in a newline.
std::string check_report_text(const CheckReport& report);
// JSON Lines: {"severity":"fault","code":"cycle","message":"..."} per finding,
// then {"totals":{"file_length":...,...,"faults":N,"notes":M}}.
std::string check_report_json_lines(const CheckReport& report);

}  // namespace ravelin::dat
