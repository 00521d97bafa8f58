#include "ravelin/event_bake/diff_summary.h"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <map>
#include <string_view>
#include <tuple>
#include <unordered_map>

namespace ravelin::event_bake {
namespace {

std::string count_of(std::size_t n, std::string_view one, std::string_view many) {
  return std::to_string(n) + " " + std::string(n == 1 ? one : many);
}

// One Markdown table row: "| a | b |\n".
void row(std::string& out, std::initializer_list<std::string_view> cells) {
  for (const std::string_view cell : cells) {
    out += "| ";
    out += cell;
    out += ' ';
  }
  out += "|\n";
}

std::string type_name(const FileDiff& file) {
  return file.type ? std::string(dat::record_type_name(*file.type)) : std::string("(no record type)");
}

void files_section(const WorldDiffResult& result, std::string& out) {
  out += "## Files\n\n";
  if (result.files.empty()) {
    out += "No archive entry differs.\n\n";
    return;
  }
  // (archive, type) -> counts by EntryChange, in archive then type order.
  std::map<std::pair<DiffArchive, std::string>, std::array<std::size_t, 4>> rows;
  for (const FileDiff& file : result.files) ++rows[{file.archive, type_name(file)}][static_cast<std::size_t>(file.change)];
  out += "| archive | type | added | removed | changed | unreadable |\n|---|---|---:|---:|---:|---:|\n";
  for (const auto& [key, counts] : rows)
    row(out, {diff_archive_name(key.first), key.second, std::to_string(counts[0]), std::to_string(counts[1]),
              std::to_string(counts[2]), std::to_string(counts[3])});
  out += '\n';
}

void landblocks_section(const WorldDiffResult& result, std::string& out) {
  std::array<std::size_t, 3> by_change{};
  for (const auto& lb : result.landblocks) ++by_change[static_cast<std::size_t>(lb.change)];
  out += "## Landblocks\n\n";
  out += "Of " + count_of(result.landblocks_compared, "landblock", "landblocks") + ", " +
         std::to_string(by_change[static_cast<std::size_t>(LandblockChange::Changed)]) + " changed, " +
         std::to_string(by_change[static_cast<std::size_t>(LandblockChange::Added)]) + " added and " +
         std::to_string(by_change[static_cast<std::size_t>(LandblockChange::Removed)]) + " removed.\n\n";
}

void events_section(const WorldDiffResult& result, std::string& out) {
  out += "## Events\n\nManifest lines added and removed, over every changed landblock:\n\n";
  out += "| family | added | removed |\n|---|---:|---:|\n";
  for (const FamilyCounts& family : result.events)
    row(out, {std::string(event_family_info(family.family).source), std::to_string(family.added),
              std::to_string(family.removed)});
  out += '\n';
}

void blast_radius_section(const WorldDiffResult& result, std::string& out) {
  std::unordered_map<std::string, std::size_t> reach;
  for (const auto& lb : result.landblocks)
    for (const auto& name : lb.caused_by) ++reach[name];
  std::vector<std::pair<std::size_t, const FileDiff*>> ranked;
  for (const FileDiff& file : result.files) {
    const auto it = reach.find(file.input_name());
    if (it != reach.end()) ranked.emplace_back(it->second, &file);
  }
  // Most landblocks first; ties in files.jsonl order (the stable sort keeps it).
  std::stable_sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
  if (ranked.size() > kBlastRadiusRows) ranked.resize(kBlastRadiusRows);
  out += "## Blast radius\n\n";
  if (ranked.empty()) {
    out += "No changed entry is an input of a changed landblock.\n";
    return;
  }
  out += "The changed entries that are inputs of the most changed landblocks:\n\n";
  out += "| entry | type | change | landblocks |\n|---|---|---|---:|\n";
  for (const auto& [count, file] : ranked)
    row(out, {file->input_name(), type_name(*file), entry_change_name(file->change), std::to_string(count)});
}

}  // namespace

std::string diff_summary_markdown(const WorldDiffResult& result) {
  std::string out = "# Patch notes\n\n";
  if (result.files.empty() && result.landblocks.empty()) {
    out += "The two versions are the same: no archive entry differs and each of the " +
           count_of(result.landblocks_compared, "landblock", "landblocks") + " bakes the same.\n";
    return out;
  }
  out += diff_summary_line(result) + ".\n\n";
  files_section(result, out);
  landblocks_section(result, out);
  events_section(result, out);
  blast_radius_section(result, out);
  return out;
}

std::string diff_summary_line(const WorldDiffResult& result) {
  std::array<std::size_t, 4> by_change{};
  for (const FileDiff& file : result.files) ++by_change[static_cast<std::size_t>(file.change)];
  return count_of(result.files.size(), "file differs", "files differ") + " (" + std::to_string(by_change[0]) +
         " added, " + std::to_string(by_change[1]) + " removed, " + std::to_string(by_change[2]) + " changed, " +
         std::to_string(by_change[3]) + " unreadable), " + count_of(result.records, "record patched", "records patched") +
         ", " + std::to_string(result.landblocks.size()) + " of " +
         count_of(result.landblocks_compared, "landblock differs", "landblocks differ");
}

}  // namespace ravelin::event_bake
