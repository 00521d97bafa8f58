#include "tools/bake_all/output_directory.h"

#include <cstdio>
#include <vector>

namespace ravelin::tools {
namespace {

std::string output_name(std::uint32_t landblock_id, const char* suffix) {
  char name[32];
  std::snprintf(name, sizeof name, "0x%04X%s", static_cast<unsigned>(landblock_id >> 16), suffix);
  return name;
}

}  // namespace

std::string manifest_name(std::uint32_t landblock_id) { return output_name(landblock_id, ".events.jsonl"); }
std::string svg_name(std::uint32_t landblock_id) { return output_name(landblock_id, ".svg"); }

bool is_own_output_name(std::string_view name) {
  if (name == kIndexName || name == kAtlasName || name == kTerrainName) return true;
  if (name.size() < 6 || !name.starts_with("0x")) return false;
  for (const char c : name.substr(2, 4))
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return false;
  const std::string_view suffix = name.substr(6);
  return suffix == ".events.jsonl" || suffix == ".svg";
}

common::FileResult<void> OutputDirectory::create() const {
  if (auto r = common::create_directories_synced(dir_, fs_); !r) return std::unexpected(common::FileError{"create", dir_, r.error()});
  return {};
}

common::FileResult<void> OutputDirectory::write_deferred(std::string_view name, std::string_view text) {
  if (auto r = common::write_output_file(file(name), text, common::Durability::Deferred, fs_, common::Target::OwnName); !r) return r;
  note_written(name);
  return {};
}

common::FileResult<void> OutputDirectory::write_synced(std::string_view name, std::span<const std::uint8_t> bytes) {
  if (auto r = common::write_output_file(file(name), bytes, common::Durability::Synced, fs_, common::Target::OwnName); !r) return r;
  note_written(name);
  return {};
}

common::FileResult<void> OutputDirectory::write_synced(std::string_view name, std::string_view text) {
  return write_synced(name, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

void OutputDirectory::remove(std::string_view name) const { (void)fs_.remove(file(name)); }

common::FileResult<void> OutputDirectory::sync() const {
  if (auto r = fs_.sync_file_system(dir_); !r) return std::unexpected(common::FileError{"sync", dir_, r.error()});
  return {};
}

void OutputDirectory::note_written(std::string_view name) {
  std::lock_guard lock(mutex_);
  written_.emplace(name);
}

void OutputDirectory::remove_stale() const {
  auto names = fs_.list_directory(dir_);
  if (!names) return;
  std::lock_guard lock(mutex_);
  for (const std::string& entry : *names) {
    std::string_view name = entry;
    const bool temporary = common::is_temporary_name(name);
    if (temporary) name.remove_suffix(common::kTemporarySuffix.size());
    if (!is_own_output_name(name) || (!temporary && written_.contains(std::string(name)))) continue;
    (void)fs_.remove(file(entry));
  }
}

}  // namespace ravelin::tools
