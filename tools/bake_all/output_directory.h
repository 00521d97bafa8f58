// The directory bake-all writes its files into: its names, the names this run
// has put in place, and the clean-up of what an earlier run left that this
// run did not write.
#pragma once

#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <string_view>
#include <unordered_set>

#include "ravelin/common/file_system.h"
#include "ravelin/common/output_file.h"

namespace ravelin::tools {

inline constexpr std::string_view kIndexName = "index.jsonl";
inline constexpr std::string_view kAtlasName = "atlas.html";
inline constexpr std::string_view kTerrainName = "terrain.png";
// "0xA9B4.events.jsonl", "0xA9B4.svg".
std::string manifest_name(std::uint32_t landblock_id);
std::string svg_name(std::uint32_t landblock_id);
// The names bake-all writes: 0xLLLL.events.jsonl, 0xLLLL.svg (upper-case
// hex), index.jsonl, atlas.html, terrain.png.
bool is_own_output_name(std::string_view name);

class OutputDirectory {
 public:
  explicit OutputDirectory(common::Path dir, common::FileSystem& fs = common::default_file_system())
      : dir_(std::move(dir)), fs_(fs) {}

  const common::Path& path() const { return dir_; }
  common::Path file(std::string_view name) const { return common::join_path(dir_, name); }
  common::FileSystem& file_system() const { return fs_; }

  // Creates the directory and its parents.
  common::FileResult<void> create() const;
  // Writes `text` as NAME, deferred: made durable by sync() before the index
  // that lists it is committed. Thread-safe.
  common::FileResult<void> write_deferred(std::string_view name, std::string_view text);
  // Writes `bytes` as NAME, synced before the call returns. Thread-safe.
  common::FileResult<void> write_synced(std::string_view name, std::span<const std::uint8_t> bytes);
  common::FileResult<void> write_synced(std::string_view name, std::string_view text);
  // Records NAME as put in place by this run by another writer.
  void note_written(std::string_view name);
  // Removes NAME if it is there (a stale file beside a failed landblock).
  void remove(std::string_view name) const;
  // Makes every file written so far durable.
  common::FileResult<void> sync() const;
  // Removes what an earlier run left that this run did not write: manifests and
  // pictures of other landblocks, an atlas this run did not draw, temporaries.
  // Only names bake-all writes; everything else stays.
  void remove_stale() const;

 private:
  common::Path dir_;
  common::FileSystem& fs_;
  mutable std::mutex mutex_;
  std::unordered_set<std::string> written_;
};

}  // namespace ravelin::tools
