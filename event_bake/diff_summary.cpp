#include "ravelin/event_bake/diff_summary.h"

#include <algorithm>
#include <array>
#include <initializer_list>
#include <map>
#include <string_view>
#include <tuple>
#include <unordered_map>

#include "ravelin/common/id_text.h"

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

// "0xA9B4, 0xA9B5 and 1 more": the first kListedLandblocks numbers.
std::string landblock_list(const std::vector<std::uint32_t>& ids) {
  std::string out;
  const std::size_t shown = std::min(ids.size(), kListedLandblocks);
  for (std::size_t i = 0; i < shown; ++i) out += (i == 0 ? "0x" : ", 0x") + common::hex8(ids[i]).substr(0, 4);
  if (ids.size() > shown) out += " and " + std::to_string(ids.size() - shown) + " more";
  return out;
}

void landblocks_section(const WorldDiffResult& result, std::string& out) {
  std::array<std::vector<std::uint32_t>, 3> by_change;
  for (const auto& lb : result.landblocks) by_change[static_cast<std::size_t>(lb.change)].push_back(lb.landblock_id);
  const auto& changed = by_change[static_cast<std::size_t>(LandblockChange::Changed)];
  const auto& added = by_change[static_cast<std::size_t>(LandblockChange::Added)];
  const auto& removed = by_change[static_cast<std::size_t>(LandblockChange::Removed)];
  out += "## Landblocks\n\n";
  out += "Of " + count_of(result.landblocks_compared, "landblock", "landblocks") + ", " +
         std::to_string(changed.size()) + " changed, " + std::to_string(added.size()) + " added and " +
         std::to_string(removed.size()) + " removed.\n\n";
  for (const auto& [word, ids] : {std::pair{"Changed", &changed}, {"Added", &added}, {"Removed", &removed}})
    if (!ids->empty()) out += std::string(word) + ": " + landblock_list(*ids) + ".\n";
  if (!result.landblocks.empty()) out += '\n';
}

void events_section(const WorldDiffResult& result, std::string& out) {
  out += "## Events\n\nManifest lines added and removed, over every changed landblock:\n\n";
  out += "| family | added | removed |\n|---|---:|---:|\n";
  for (const FamilyCounts& family : result.events)
    row(out, {std::string(event_family_info(family.family).source), std::to_string(family.added),
              std::to_string(family.removed)});
  out += '\n';
}

// The families whose events a record feeds, for the records every landblock
// reads: the region's terrain, scene and sound descriptions make the ambient
// lines, its sky description the sky chains.
std::vector<EventFamily> families_fed(const FileDiff& file) {
  if (file.type == dat::RecordType::Region) return {EventFamily::Ambient, EventFamily::Sky};
  return {};
}

// "0 of the 6 changed landblocks changed in ambient or sky chain lines."
std::string fed_families_note(const WorldDiffResult& result, const FileDiff& file) {
  const std::vector<EventFamily> families = families_fed(file);
  std::size_t touched = 0;
  for (const auto& lb : result.landblocks)
    if (std::ranges::any_of(families, [&](EventFamily f) { return lb.changed_lines[index_of(f)] != 0; })) ++touched;
  std::string names;
  for (std::size_t i = 0; i < families.size(); ++i)
    names += (i == 0 ? "" : i + 1 == families.size() ? " or " : ", ") +
             std::string(event_family_info(families[i]).display);
  return file.input_name() + " (" + type_name(file) + ") is read by every changed landblock; " +
         std::to_string(touched) + " of the " + count_of(result.landblocks.size(), "changed landblock", "changed landblocks") +
         " changed in its " + names + " lines.\n";
}

void read_by_section(const WorldDiffResult& result, std::string& out) {
  std::unordered_map<std::string, std::size_t> reach;
  for (const auto& lb : result.landblocks)
    for (const auto& name : lb.caused_by) ++reach[name];
  std::vector<std::pair<std::size_t, const FileDiff*>> ranked;
  for (const FileDiff& file : result.files) {
    const auto it = reach.find(file.input_name());
    ranked.emplace_back(it == reach.end() ? 0 : it->second, &file);
  }
  // Most landblocks first; ties in files.jsonl order (the stable sort keeps it).
  std::stable_sort(ranked.begin(), ranked.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
  out += "## Changed entries and the changed landblocks that read them\n\n";
  out += "Every entry that differs (added, removed and changed), with how many of the changed landblocks read it in "
         "either version. Reading an entry is not proof that its change made the landblock change: every landblock "
         "reads the region, whether or not its change mattered.\n\n";
  out += "| entry | type | change | changed landblocks reading it |\n|---|---|---|---:|\n";
  const std::size_t shown = std::min(ranked.size(), kBlastRadiusRows);
  for (std::size_t i = 0; i < shown; ++i)
    row(out, {ranked[i].second->input_name(), type_name(*ranked[i].second), entry_change_name(ranked[i].second->change),
              std::to_string(ranked[i].first)});
  if (ranked.size() > shown) out += "\n" + count_of(ranked.size() - shown, "more entry", "more entries") + " in files.jsonl.\n";
  std::string notes;
  for (std::size_t i = 0; i < shown; ++i)
    if (result.landblocks.size() > 1 && ranked[i].first == result.landblocks.size() && !families_fed(*ranked[i].second).empty())
      notes += fed_families_note(result, *ranked[i].second);
  if (!notes.empty()) out += "\n" + notes;
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
  read_by_section(result, out);
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
