#include "ravelin/event_bake/world_diff.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <string_view>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "ravelin/common/json_text.h"
#include "event_bake/bake_core.h"
#include "event_bake/json_patch.h"
#include "ravelin/common/id_text.h"
#include "ravelin/common/sorted_ids.h"
#include "ravelin/dat/lib.h"
#include "ravelin/event_bake/session.h"

namespace ravelin::event_bake {
namespace {

// Landblocks baked between two hand-overs, per thread: enough to keep every
// thread busy, few enough that only a small slice of each world is held.
constexpr std::size_t kLandblocksPerJob = 64;
// Entries compared per work item.
constexpr std::size_t kEntriesPerItem = 2048;

// Runs work(i) for every i below `count` on `jobs` threads.
template <class Work>
void parallel_for(std::size_t count, unsigned jobs, Work&& work) {
  std::atomic<std::size_t> next{0};
  auto run = [&] {
    for (std::size_t i = next++; i < count; i = next++) work(i);
  };
  std::vector<std::thread> threads;
  const unsigned extra = static_cast<unsigned>(std::min<std::size_t>(jobs, count)) - (count == 0 ? 0 : 1);
  for (unsigned t = 0; t < extra; ++t) threads.emplace_back(run);
  run();
  for (auto& thread : threads) thread.join();
}

std::uint64_t entry_key(DiffArchive archive, std::uint32_t id) {
  return static_cast<std::uint64_t>(archive) << 32 | id;
}

void put_string(std::string& out, std::string_view text) {
  out += '"';
  common::append_json_string_content(out, text);
  out += '"';
}

void put_optional_string(std::string& out, const std::optional<std::string>& text) {
  if (text) put_string(out, *text);
  else out += "null";
}

void put_optional_size(std::string& out, const std::optional<std::uint64_t>& size) {
  if (size) common::append_decimal(out, *size);
  else out += "null";
}

void put_head(std::string& out, DiffArchive archive, std::uint32_t id) {
  out += "{\"archive\":\"";
  out += diff_archive_name(archive);
  out += "\",\"id\":\"";
  common::append_hex_id(out, id);
  out += '"';
}

void put_errors(std::string& out, const std::optional<std::string>& old_error,
                const std::optional<std::string>& new_error) {
  out += ",\"old_error\":";
  put_optional_string(out, old_error);
  out += ",\"new_error\":";
  put_optional_string(out, new_error);
}

void put_string_array(std::string& out, const std::vector<std::string>& items) {
  out += '[';
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i != 0) out += ',';
    put_string(out, items[i]);
  }
  out += ']';
}

// One version: a session over its archives, or (when its region does not
// decode) the archives alone and the error every bake of it ends with.
struct Version {
  std::unique_ptr<BakeSession> session;
  std::optional<BakeArchives> archives;  // only without a session
  std::optional<BakeError> region_error;
  std::uint32_t region_did = 0;
  std::vector<std::uint32_t> landblocks;  // with a CellLandblock, ascending

  const dat::DatDatabase& of(DiffArchive archive) const {
    if (session) return archive == DiffArchive::Portal ? session->portal() : session->cell();
    return archive == DiffArchive::Portal ? archives->portal : archives->cell;
  }
  bool has(std::uint32_t id) const { return std::binary_search(landblocks.begin(), landblocks.end(), id); }
  RecordedBake bake(std::uint32_t id) const {
    if (session) return session->bake_with_inputs(id);
    return {std::unexpected(*region_error), InputRecords{{region_did}, {}}};
  }
};

std::vector<std::uint32_t> cell_landblocks(const dat::DatDatabase& cell) {
  std::vector<std::uint32_t> ids;
  for (const auto& e : cell.entries())
    if (dat::is_cell_landblock_file_id(e.id)) ids.push_back(dat::landblock_id_of(e.id));
  return common::sorted_unique_ids(std::move(ids));
}

// The session's archives serve the entry comparison too, so each archive's
// directory is held once.
std::expected<Version, std::string> open_version(const std::filesystem::path& dir, const WorldDiffOptions& options,
                                                 std::string_view side) {
  Version version;
  version.region_did = options.region_did;
  auto session = BakeSession::open({dir, EntitySource::landblock_info(), options.region_did, options.bake_sky});
  if (session) {
    version.session = std::move(*session);
  } else {
    if (session.error().get_if<BakeError::DatOpen>() != nullptr)
      return std::unexpected(std::string(side) + ": " + session.error().to_string());
    version.region_error = std::move(session.error());
    auto archives = open_bake_archives(dir);
    if (!archives) return std::unexpected(std::string(side) + ": " + archives.error().to_string());
    version.archives = std::move(*archives);
  }
  version.landblocks = cell_landblocks(version.of(DiffArchive::Cell));
  return version;
}

// What one entry holds in one version.
struct EntryState {
  bool present = false;
  std::optional<std::vector<std::uint8_t>> bytes;  // when readable
  std::optional<std::string> error;                // when not
};

EntryState read_entry(const dat::DatDatabase& db, std::uint32_t id) {
  EntryState state;
  if (db.find_entry(id) == nullptr) return state;
  state.present = true;
  auto bytes = db.get_file(id);
  if (bytes) state.bytes = std::move(*bytes);
  else state.error = bytes.error().to_string();
  return state;
}

// Equal stored bytes with equal compression are equal files, whatever the
// decompression would give: most entries are decided without decompressing.
bool stored_equal(const dat::DatDatabase& a, const dat::DatDatabase& b, std::uint32_t id) {
  const dat::DatFileEntry* ea = a.find_entry(id);
  const dat::DatFileEntry* eb = b.find_entry(id);
  if (ea == nullptr || eb == nullptr || ea->is_compressed() != eb->is_compressed() || ea->size != eb->size)
    return false;
  auto ra = a.read_file_data(ea->offset, ea->size);
  if (!ra) return false;
  auto rb = b.read_file_data(eb->offset, eb->size);
  return rb && *ra == *rb;
}

std::optional<FileDiff> compare_entry(DiffArchive archive, std::uint32_t id, const Version& old_side,
                                      const Version& new_side) {
  const dat::DatDatabase& old_db = old_side.of(archive);
  const dat::DatDatabase& new_db = new_side.of(archive);
  if (stored_equal(old_db, new_db, id)) return std::nullopt;
  const EntryState before = read_entry(old_db, id);
  const EntryState after = read_entry(new_db, id);
  FileDiff diff;
  diff.archive = archive;
  diff.id = id;
  diff.type = dat::record_type_for_id(id, archive == DiffArchive::Cell);
  if (before.bytes) diff.old_size = before.bytes->size();
  if (after.bytes) diff.new_size = after.bytes->size();
  if (before.error || after.error) {
    if (before.error && after.error && *before.error == *after.error) return std::nullopt;
    diff.change = EntryChange::Unreadable;
    diff.old_error = before.error;
    diff.new_error = after.error;
    return diff;
  }
  if (!before.present) diff.change = EntryChange::Added;
  else if (!after.present) diff.change = EntryChange::Removed;
  else if (*before.bytes == *after.bytes) return std::nullopt;
  else diff.change = EntryChange::Changed;
  return diff;
}

std::vector<std::uint32_t> entry_ids(const dat::DatDatabase& a, const dat::DatDatabase& b) {
  std::vector<std::uint32_t> ids;
  ids.reserve(a.entry_count() + b.entry_count());
  for (const auto& e : a.entries()) ids.push_back(e.id);
  for (const auto& e : b.entries()) ids.push_back(e.id);
  return common::sorted_unique_ids(std::move(ids));
}

std::vector<FileDiff> diff_entries(const Version& old_side, const Version& new_side, unsigned jobs) {
  std::vector<FileDiff> files;
  for (const DiffArchive archive : {DiffArchive::Portal, DiffArchive::Cell}) {
    const std::vector<std::uint32_t> ids = entry_ids(old_side.of(archive), new_side.of(archive));
    const std::size_t items = (ids.size() + kEntriesPerItem - 1) / kEntriesPerItem;
    std::vector<std::vector<FileDiff>> found(items);
    parallel_for(items, jobs, [&](std::size_t item) {
      const std::size_t end = std::min(ids.size(), (item + 1) * kEntriesPerItem);
      for (std::size_t i = item * kEntriesPerItem; i < end; ++i)
        if (auto diff = compare_entry(archive, ids[i], old_side, new_side)) found[item].push_back(std::move(*diff));
    });
    for (auto& part : found) files.insert(files.end(), std::make_move_iterator(part.begin()), std::make_move_iterator(part.end()));
  }
  return files;
}

RecordDiff diff_record(const FileDiff& file, const Version& old_side, const Version& new_side) {
  RecordDiff diff{file.archive, file.id, *file.type, std::nullopt, std::nullopt, std::nullopt};
  auto document = [&](const Version& side) -> std::expected<std::string, std::string> {
    auto bytes = side.of(file.archive).get_file(file.id);
    if (!bytes) return std::unexpected(bytes.error().to_string());
    auto json = dat::record_json(*file.type, *bytes, true);
    if (!json) return std::unexpected(json.error().to_string());
    return std::move(*json);
  };
  const auto before = document(old_side);
  const auto after = document(new_side);
  if (!before) diff.old_error = before.error();
  if (!after) diff.new_error = after.error();
  if (before && after) diff.patch = json_patch(*before, *after);
  return diff;
}

std::vector<std::string_view> manifest_lines(std::string_view jsonl) {
  std::vector<std::string_view> lines;
  while (!jsonl.empty()) {
    const std::size_t end = jsonl.find('\n');
    lines.push_back(jsonl.substr(0, end));
    jsonl.remove_prefix(end == std::string_view::npos ? jsonl.size() : end + 1);
  }
  return lines;
}

// The lines of `from` that no line of `against` matches, each match used once;
// of repeated equal lines the first ones are matched.
std::vector<std::string> unmatched(const std::vector<std::string_view>& from,
                                   const std::vector<std::string_view>& against) {
  std::unordered_map<std::string_view, std::size_t> available;
  for (const auto line : against) ++available[line];
  std::vector<std::string> out;
  for (const auto line : from) {
    auto it = available.find(line);
    if (it != available.end() && it->second > 0) --it->second;
    else out.emplace_back(line);
  }
  return out;
}

struct ChangedEntries {
  std::unordered_set<std::uint64_t> keys;
  bool any_of(const InputRecords& inputs) const {
    for (const auto id : inputs.portal)
      if (keys.contains(entry_key(DiffArchive::Portal, id))) return true;
    for (const auto id : inputs.cell)
      if (keys.contains(entry_key(DiffArchive::Cell, id))) return true;
    return false;
  }
  void collect(const InputRecords& inputs, std::vector<std::string>& out) const {
    for (const auto id : inputs.portal)
      if (keys.contains(entry_key(DiffArchive::Portal, id))) out.push_back("portal:" + common::hex_id(id));
    for (const auto id : inputs.cell)
      if (keys.contains(entry_key(DiffArchive::Cell, id))) out.push_back("cell:" + common::hex_id(id));
  }
};

std::optional<LandblockDiff> diff_landblock(std::uint32_t id, const Version& old_version, const Version& new_version,
                                            const ChangedEntries& changed, bool bake_every) {
  const bool in_old = old_version.has(id);
  const bool in_new = new_version.has(id);
  std::optional<RecordedBake> before;
  std::optional<RecordedBake> after;
  if (in_old) before = old_version.bake(id);
  // A bake reads nothing but its inputs: if none changed, the new bake is the old one.
  if (in_old && in_new && !bake_every && !changed.any_of(before->inputs)) return std::nullopt;
  if (in_new) after = new_version.bake(id);

  std::string old_text;
  std::string new_text;
  LandblockDiff diff;
  diff.landblock_id = id;
  if (before) {
    if (before->result) old_text = before->result->to_jsonl_bytes();
    else diff.old_error = before->result.error().to_string();
  }
  if (after) {
    if (after->result) new_text = after->result->to_jsonl_bytes();
    else diff.new_error = after->result.error().to_string();
  }
  if (in_old && in_new && old_text == new_text && diff.old_error == diff.new_error) return std::nullopt;
  diff.change = !in_old ? LandblockChange::Added : !in_new ? LandblockChange::Removed : LandblockChange::Changed;
  const auto old_lines = manifest_lines(old_text);
  const auto new_lines = manifest_lines(new_text);
  diff.removed = unmatched(old_lines, new_lines);
  diff.added = unmatched(new_lines, old_lines);
  InputRecords inputs;
  for (const auto* side : {&before, &after}) {
    if (!*side) continue;
    inputs.portal.insert(inputs.portal.end(), (*side)->inputs.portal.begin(), (*side)->inputs.portal.end());
    inputs.cell.insert(inputs.cell.end(), (*side)->inputs.cell.begin(), (*side)->inputs.cell.end());
  }
  inputs.finish();
  changed.collect(inputs, diff.caused_by);
  return diff;
}

// The family of a manifest line: its "source" member.
std::string_view line_family(std::string_view line) {
  constexpr std::string_view key = "\"source\":\"";
  const std::size_t at = line.find(key);
  if (at == std::string_view::npos) return {};
  const std::size_t from = at + key.size();
  return line.substr(from, line.find('"', from) - from);
}

void count_events(const LandblockDiff& diff, std::vector<FamilyCounts>& events) {
  auto slot = [&events](std::string_view family) -> FamilyCounts& {
    for (auto& f : events)
      if (f.family == family) return f;
    return events.emplace_back(FamilyCounts{std::string(family), 0, 0});
  };
  for (const auto& line : diff.added) ++slot(line_family(line)).added;
  for (const auto& line : diff.removed) ++slot(line_family(line)).removed;
}

}  // namespace

std::string_view diff_archive_name(DiffArchive archive) { return archive == DiffArchive::Portal ? "portal" : "cell"; }

std::string_view entry_change_name(EntryChange change) {
  switch (change) {
    case EntryChange::Added: return "added";
    case EntryChange::Removed: return "removed";
    case EntryChange::Changed: return "changed";
    case EntryChange::Unreadable: return "unreadable";
  }
  return "changed";
}

std::string_view landblock_change_name(LandblockChange change) {
  switch (change) {
    case LandblockChange::Added: return "added";
    case LandblockChange::Removed: return "removed";
    case LandblockChange::Changed: return "changed";
  }
  return "changed";
}

std::string FileDiff::input_name() const { return std::string(diff_archive_name(archive)) + ":" + common::hex_id(id); }

std::string FileDiff::to_json_line() const {
  std::string out;
  put_head(out, archive, id);
  out += ",\"change\":\"";
  out += entry_change_name(change);
  out += "\",\"type\":";
  if (type) put_string(out, dat::record_type_name(*type));
  else out += "null";
  out += ",\"old_size\":";
  put_optional_size(out, old_size);
  out += ",\"new_size\":";
  put_optional_size(out, new_size);
  if (change == EntryChange::Unreadable) put_errors(out, old_error, new_error);
  out += '}';
  return out;
}

std::string RecordDiff::to_json_line() const {
  std::string out;
  put_head(out, archive, id);
  out += ",\"type\":";
  put_string(out, dat::record_type_name(type));
  if (patch) {
    out += ",\"patch\":";
    out += *patch;
  } else {
    put_errors(out, old_error, new_error);
  }
  out += '}';
  return out;
}

std::string LandblockDiff::to_json_line() const {
  std::string out = "{\"landblock_id\":\"";
  common::append_hex_id(out, landblock_id);
  out += "\",\"change\":\"";
  out += landblock_change_name(change);
  out += "\",\"removed\":";
  put_string_array(out, removed);
  out += ",\"added\":";
  put_string_array(out, added);
  out += ",\"caused_by\":";
  put_string_array(out, caused_by);
  if (change != LandblockChange::Added && old_error) {
    out += ",\"old_error\":";
    put_string(out, *old_error);
  }
  if (change != LandblockChange::Removed && new_error) {
    out += ",\"new_error\":";
    put_string(out, *new_error);
  }
  out += '}';
  return out;
}

std::expected<WorldDiffResult, std::string> diff_worlds(const WorldDiffOptions& options, const WorldDiffSinks& sinks) {
  const unsigned jobs = options.jobs != 0 ? options.jobs : std::max(1u, std::thread::hardware_concurrency());
  auto old_version = open_version(options.old_dir, options, "old");
  if (!old_version) return std::unexpected(old_version.error());
  auto new_version = open_version(options.new_dir, options, "new");
  if (!new_version) return std::unexpected(new_version.error());

  WorldDiffResult result;
  for (const std::string_view family : {"ambient", "animation_sound", "physics_script_particle", "sky_chain"})
    result.events.push_back({std::string(family), 0, 0});
  result.files = diff_entries(*old_version, *new_version, jobs);
  ChangedEntries changed;
  std::vector<const FileDiff*> typed;
  for (const FileDiff& file : result.files) {
    changed.keys.insert(entry_key(file.archive, file.id));
    if (sinks.file) sinks.file(file);
    if (file.change == EntryChange::Changed && file.type) typed.push_back(&file);
  }
  std::vector<RecordDiff> records(typed.size());
  parallel_for(typed.size(), jobs, [&](std::size_t i) { records[i] = diff_record(*typed[i], *old_version, *new_version); });
  result.records = records.size();
  for (const RecordDiff& record : records)
    if (sinks.record) sinks.record(record);
  records.clear();

  std::vector<std::uint32_t> ids = old_version->landblocks;
  ids.insert(ids.end(), new_version->landblocks.begin(), new_version->landblocks.end());
  ids = common::sorted_unique_ids(std::move(ids));
  result.landblocks_compared = ids.size();
  const std::size_t batch = kLandblocksPerJob * jobs;
  std::vector<std::optional<LandblockDiff>> found;
  for (std::size_t first = 0; first < ids.size(); first += batch) {
    const std::size_t count = std::min(batch, ids.size() - first);
    found.assign(count, std::nullopt);
    parallel_for(count, jobs, [&](std::size_t i) {
      found[i] = diff_landblock(ids[first + i], *old_version, *new_version, changed, options.bake_every_landblock);
    });
    for (auto& diff : found) {
      if (!diff) continue;
      count_events(*diff, result.events);
      result.landblocks.push_back({diff->landblock_id, diff->change, diff->removed.size(), diff->added.size(),
                                   diff->caused_by});
      if (sinks.landblock) sinks.landblock(*diff);
    }
  }
  return result;
}

}  // namespace ravelin::event_bake
