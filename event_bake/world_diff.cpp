#include "ravelin/event_bake/world_diff.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <utility>

#include "event_bake/bake_core.h"
#include "event_bake/json_patch.h"
#include "ravelin/common/concurrency.h"
#include "ravelin/common/id_text.h"
#include "ravelin/common/in_order_pool.h"
#include "ravelin/common/json_text.h"
#include "ravelin/common/sorted_ids.h"
#include "ravelin/dat/lib.h"
#include "ravelin/event_bake/session.h"

namespace ravelin::event_bake {
namespace {

// Landblocks baked between two hand-overs, per thread: enough to keep every
// thread busy, few enough that only a small slice of each world is held.
constexpr std::size_t kLandblocksPerJob = 64;
// Landblocks a thread claims at once: most are decided by one bake, too little
// work to hand over one by one.
constexpr std::size_t kLandblocksPerClaim = 16;
// Entries compared per work item.
constexpr std::size_t kEntriesPerItem = 2048;

std::uint64_t entry_key(DiffArchive archive, std::uint32_t id) {
  return static_cast<std::uint64_t>(archive) << 32 | id;
}

// Lines carry error texts and manifest lines, escaped as the manifest escapes.
common::JsonWriter line_writer() { return common::JsonWriter(true, common::JsonEscaping::Manifest); }

void put_head(common::JsonWriter& w, DiffArchive archive, std::uint32_t id) {
  w.begin_object();
  w.key("archive").text(diff_archive_name(archive));
  w.key("id").hex_word(id);
}

void put_optional_text(common::JsonWriter& w, std::string_view key, const std::optional<std::string>& text) {
  w.key(key);
  if (text) w.text(*text);
  else w.null();
}

void put_optional_size(common::JsonWriter& w, std::string_view key, const std::optional<std::uint64_t>& size) {
  w.key(key);
  if (size) w.number(*size);
  else w.null();
}

void put_errors(common::JsonWriter& w, const std::optional<std::string>& old_error,
                const std::optional<std::string>& new_error) {
  put_optional_text(w, "old_error", old_error);
  put_optional_text(w, "new_error", new_error);
}

template <class Items, class Text>
void put_text_array(common::JsonWriter& w, std::string_view key, const Items& items, Text text) {
  w.key(key).begin_array();
  for (const auto& item : items) w.text(text(item));
  w.end_array();
}

// Runs the pool over `count` items on `jobs` threads, handing results to
// `take` in item order, until `failed` is set. A worker claims `grain` items
// at a time.
template <class Result, class Work, class Take>
void run_ordered(std::size_t count, unsigned jobs, std::size_t window, std::size_t grain,
                 const std::atomic<bool>& failed, Work&& work, Take&& take) {
  common::InOrderPoolOptions pool;
  pool.jobs = jobs;
  pool.window = window;
  pool.grain = grain;
  common::run_in_order<Result>(count, pool, std::forward<Work>(work), std::forward<Take>(take), [] {},
                               [&failed] { return failed.load(); });
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
    return RecordedBake::failed_on_region(*region_error, region_did);
  }
};

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
  version.landblocks = dat::cell_landblock_ids(version.of(DiffArchive::Cell));
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
  const std::atomic<bool> never{false};
  for (const DiffArchive archive : {DiffArchive::Portal, DiffArchive::Cell}) {
    const std::vector<std::uint32_t> ids = entry_ids(old_side.of(archive), new_side.of(archive));
    const std::size_t items = (ids.size() + kEntriesPerItem - 1) / kEntriesPerItem;
    run_ordered<std::vector<FileDiff>>(
        items, jobs, 4 * jobs, 1, never,
        [&](std::size_t item) {
          std::vector<FileDiff> found;
          const std::size_t end = std::min(ids.size(), (item + 1) * kEntriesPerItem);
          for (std::size_t i = item * kEntriesPerItem; i < end; ++i)
            if (auto diff = compare_entry(archive, ids[i], old_side, new_side)) found.push_back(std::move(*diff));
          return found;
        },
        [&](std::size_t, std::vector<FileDiff>&& found) {
          files.insert(files.end(), std::make_move_iterator(found.begin()), std::make_move_iterator(found.end()));
        });
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

// A manifest line as it sits in the manifest's text.
struct LineView {
  EventFamily family;
  std::string_view text;
};

// The manifest's lines, each with the family whose list it came from: the
// bake's counts say how many lines each family wrote, in manifest order.
std::vector<LineView> manifest_lines(std::string_view jsonl, const EventCounts& counts) {
  std::vector<LineView> lines;
  for (const EventFamilyInfo& info : kEventFamilies) {
    for (std::size_t k = 0; k < counts[index_of(info.family)] && !jsonl.empty(); ++k) {
      const std::size_t end = jsonl.find('\n');
      lines.push_back({info.family, jsonl.substr(0, end)});
      jsonl.remove_prefix(end == std::string_view::npos ? jsonl.size() : end + 1);
    }
  }
  return lines;
}

// The lines of `from` that no line of `against` matches, each match used once;
// of repeated equal lines the first ones are matched.
std::vector<ManifestLine> unmatched(const std::vector<LineView>& from, const std::vector<LineView>& against) {
  std::unordered_map<std::string_view, std::size_t> available;
  for (const LineView& line : against) ++available[line.text];
  std::vector<ManifestLine> out;
  for (const LineView& line : from) {
    auto it = available.find(line.text);
    if (it != available.end() && it->second > 0) --it->second;
    else out.push_back({line.family, std::string(line.text)});
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
  EventCounts old_counts{};
  EventCounts new_counts{};
  LandblockDiff diff;
  diff.landblock_id = id;
  if (before) {
    if (before->result) {
      old_text = before->result->to_jsonl_bytes();
      old_counts = before->result->counts();
    } else {
      diff.old_error = before->result.error().to_string();
    }
  }
  if (after) {
    if (after->result) {
      new_text = after->result->to_jsonl_bytes();
      new_counts = after->result->counts();
    } else {
      diff.new_error = after->result.error().to_string();
    }
  }
  if (in_old && in_new && old_text == new_text && diff.old_error == diff.new_error) return std::nullopt;
  diff.change = !in_old ? LandblockChange::Added : !in_new ? LandblockChange::Removed : LandblockChange::Changed;
  const auto old_lines = manifest_lines(old_text, old_counts);
  const auto new_lines = manifest_lines(new_text, new_counts);
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

EventCounts changed_lines(const LandblockDiff& diff) {
  EventCounts counts{};
  for (const auto* lines : {&diff.added, &diff.removed})
    for (const ManifestLine& line : *lines) ++counts[index_of(line.family)];
  return counts;
}

void count_events(const LandblockDiff& diff, std::vector<FamilyCounts>& events) {
  for (const ManifestLine& line : diff.added) ++events[index_of(line.family)].added;
  for (const ManifestLine& line : diff.removed) ++events[index_of(line.family)].removed;
}

// The sinks of one diff, each opened at most once and then finished or
// abandoned, the last opened first: a failure anywhere abandons every sink
// opened so far.
class OpenSinks {
 public:
  explicit OpenSinks(const WorldDiffSinks& sinks) : sinks_(sinks) {}
  ~OpenSinks() {
    if (finished_) return;
    for (auto it = abandons_.rbegin(); it != abandons_.rend(); ++it) (*it)();
  }

  common::SinkResult open() {
    if (auto r = open_one(sinks_.files); !r) return r;
    if (auto r = open_one(sinks_.records); !r) return r;
    return open_one(sinks_.landblocks);
  }
  // Last opened, first finished.
  common::SinkResult finish() {
    const common::JobEnd end;
    for (auto it = finishes_.rbegin(); it != finishes_.rend(); ++it)
      if (auto r = (*it)(end); !r) return r;
    finished_ = true;
    return {};
  }

 private:
  template <class Item>
  common::SinkResult open_one(common::Sink<Item>* sink) {
    if (sink == nullptr) return {};
    abandons_.push_back([sink] { sink->abandon(); });
    finishes_.push_back([sink](const common::JobEnd& end) { return sink->finish(end); });
    return sink->open();
  }

  WorldDiffSinks sinks_;
  std::vector<std::function<void()>> abandons_;
  std::vector<std::function<common::SinkResult(const common::JobEnd&)>> finishes_;
  bool finished_ = false;
};

// The first failure of the sinks, and the flag that stops the pools.
struct SinkFailure {
  std::atomic<bool> failed{false};
  std::string text;

  template <class Item>
  void add(common::Sink<Item>* sink, const Item& item) {
    if (sink == nullptr || failed) return;
    if (auto r = sink->add(item); !r) {
      text = std::move(r.error());
      failed = true;
    }
  }
};

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
  auto w = line_writer();
  put_head(w, archive, id);
  w.key("change").text(entry_change_name(change));
  w.key("type");
  if (type) w.text(dat::record_type_name(*type));
  else w.null();
  put_optional_size(w, "old_size", old_size);
  put_optional_size(w, "new_size", new_size);
  if (change == EntryChange::Unreadable) put_errors(w, old_error, new_error);
  w.end_object();
  return w.take();
}

std::string RecordDiff::to_json_line() const {
  auto w = line_writer();
  put_head(w, archive, id);
  w.key("type").text(dat::record_type_name(type));
  if (patch) w.key("patch").raw_json(*patch);
  else put_errors(w, old_error, new_error);
  w.end_object();
  return w.take();
}

std::string LandblockDiff::to_json_line() const {
  auto w = line_writer();
  w.begin_object();
  w.key("landblock_id").hex_word(landblock_id);
  w.key("change").text(landblock_change_name(change));
  const auto text_of = [](const ManifestLine& line) -> std::string_view { return line.text; };
  put_text_array(w, "removed", removed, text_of);
  put_text_array(w, "added", added, text_of);
  put_text_array(w, "caused_by", caused_by, [](const std::string& name) -> std::string_view { return name; });
  if (change != LandblockChange::Added && old_error) w.key("old_error").text(*old_error);
  if (change != LandblockChange::Removed && new_error) w.key("new_error").text(*new_error);
  w.end_object();
  return w.take();
}

std::expected<WorldDiffResult, std::string> diff_worlds(const WorldDiffOptions& options, const WorldDiffSinks& sinks) {
  const unsigned jobs = options.jobs != 0 ? options.jobs : common::hardware_threads();
  auto old_version = open_version(options.old_dir, options, "old");
  if (!old_version) return std::unexpected(old_version.error());
  auto new_version = open_version(options.new_dir, options, "new");
  if (!new_version) return std::unexpected(new_version.error());
  OpenSinks open_sinks(sinks);
  if (auto r = open_sinks.open(); !r) return std::unexpected(std::move(r.error()));
  SinkFailure failure;

  WorldDiffResult result;
  for (const EventFamilyInfo& info : kEventFamilies) result.events.push_back({info.family, 0, 0});
  result.files = diff_entries(*old_version, *new_version, jobs);
  ChangedEntries changed;
  std::vector<const FileDiff*> typed;
  for (const FileDiff& file : result.files) {
    changed.keys.insert(entry_key(file.archive, file.id));
    failure.add(sinks.files, file);
    if (file.change == EntryChange::Changed && file.type) typed.push_back(&file);
  }
  run_ordered<RecordDiff>(
      typed.size(), jobs, 4 * jobs, 1, failure.failed,
      [&](std::size_t i) { return diff_record(*typed[i], *old_version, *new_version); },
      [&](std::size_t, RecordDiff&& record) {
        ++result.records;
        failure.add(sinks.records, record);
      });

  std::vector<std::uint32_t> ids = old_version->landblocks;
  ids.insert(ids.end(), new_version->landblocks.begin(), new_version->landblocks.end());
  ids = common::sorted_unique_ids(std::move(ids));
  result.landblocks_compared = ids.size();
  run_ordered<std::optional<LandblockDiff>>(
      ids.size(), jobs, kLandblocksPerJob * jobs, kLandblocksPerClaim, failure.failed,
      [&](std::size_t i) {
        return diff_landblock(ids[i], *old_version, *new_version, changed, options.bake_every_landblock);
      },
      [&](std::size_t, std::optional<LandblockDiff>&& diff) {
        if (!diff) return;
        count_events(*diff, result.events);
        result.landblocks.push_back({diff->landblock_id, diff->change, diff->removed.size(), diff->added.size(),
                                     diff->caused_by, changed_lines(*diff)});
        failure.add(sinks.landblocks, *diff);
      });
  if (failure.failed) return std::unexpected(std::move(failure.text));
  if (auto r = open_sinks.finish(); !r) return std::unexpected(std::move(r.error()));
  return result;
}

}  // namespace ravelin::event_bake
