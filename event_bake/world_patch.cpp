#include "ravelin/event_bake/world_patch.h"

#include <algorithm>
#include <array>
#include <memory>
#include <nlohmann/json.hpp>
#include <utility>

#include "event_bake/bake_core.h"
#include "event_bake/document_merge.h"
#include "ravelin/common/concurrency.h"
#include "ravelin/common/id_text.h"
#include "ravelin/common/in_order_pool.h"
#include "ravelin/common/json_text.h"
#include "ravelin/common/sorted_ids.h"
#include "ravelin/dat/archive_editor.h"
#include "ravelin/dat/file_ids.h"
#include "ravelin/dat/lib.h"

namespace ravelin::event_bake {
namespace {

constexpr std::array<DiffArchive, 2> kArchives = {DiffArchive::Portal, DiffArchive::Cell};
// Ids compared per work item: most are decided by a read of two small bodies.
constexpr std::size_t kIdsPerItem = 2048;

// Texts of the conflicts about whole files.
constexpr std::string_view kTargetHasOther = "target already has the added file with other bytes";
constexpr std::string_view kTargetChangedRemoved = "target changed the removed file";
constexpr std::string_view kTargetRemovedChangedFile = "target removed the changed file";
constexpr std::string_view kBothChangedUndecoded = "both changed a file no decoder reads";

std::string_view archive_file_name(DiffArchive archive) {
  return archive == DiffArchive::Portal ? dat::kPortalArchiveName : dat::kCellArchiveName;
}

common::JsonWriter line_writer() { return common::JsonWriter(true, common::JsonEscaping::Manifest); }

// One side's file under one id: its entry and, read when first asked for,
// its stored bytes.
class SideFile {
 public:
  SideFile(const dat::DatDatabase& db, std::uint32_t id) : db_(db), entry_(db.find_entry(id)) {}

  bool present() const { return entry_ != nullptr; }
  const dat::DatFileEntry& entry() const { return *entry_; }
  const dat::DatDatabase& db() const { return db_; }
  const std::expected<std::vector<std::uint8_t>, std::string>& stored() const {
    if (!stored_) {
      auto bytes = db_.read_file_data(entry_->offset, entry_->size);
      if (bytes) stored_.emplace(std::move(*bytes));
      else stored_.emplace(std::unexpected(bytes.error().to_string()));
    }
    return *stored_;
  }
  // The stored bytes' read error; nothing for an absent or readable file.
  const std::string* error() const { return present() && !stored() ? &stored().error() : nullptr; }
  // The entry as a conflict shows a whole file.
  std::optional<std::string> summary() const {
    if (!present()) return std::nullopt;
    auto w = line_writer();
    w.begin_object();
    w.key("size").number(entry_->size);
    w.key("bit_flags").hex_word(entry_->bit_flags);
    w.key("timestamp").number(entry_->timestamp);
    w.key("version").number(entry_->version);
    w.end_object();
    return w.take();
  }

 private:
  const dat::DatDatabase& db_;
  const dat::DatFileEntry* entry_;
  mutable std::optional<std::expected<std::vector<std::uint8_t>, std::string>> stored_;
};

// Same entry fields and stored bytes (or the same read error); entries whose
// size or fields differ are decided without reading.
bool same_file(const SideFile& a, const SideFile& b) {
  if (!a.present() || !b.present()) return a.present() == b.present();
  const dat::DatFileEntry& ea = a.entry();
  const dat::DatFileEntry& eb = b.entry();
  if (ea.size != eb.size || ea.bit_flags != eb.bit_flags || ea.timestamp != eb.timestamp || ea.version != eb.version)
    return false;
  return a.stored() == b.stored();
}

// What one archive's commit is to hold.
struct Put {
  std::uint32_t id = 0;
  std::vector<std::uint8_t> bytes;
  bool stored = true;  // bytes as stored, with `entry`'s fields; else a body to store with `options`
  dat::DatFileEntry entry;
  dat::PutOptions options;
};

struct ArchivePlan {
  std::vector<Put> puts;
  std::vector<std::uint32_t> removes;
  bool empty() const { return puts.empty() && removes.empty(); }
};

// A field OLD → NEW changed takes NEW's value where TARGET kept OLD's.
std::uint32_t carried(std::uint32_t old_value, std::uint32_t new_value, std::uint32_t target_value) {
  return target_value == old_value ? new_value : target_value;
}

class Planner {
 public:
  Planner(DiffArchive archive, const dat::DatDatabase& old_db, const dat::DatDatabase& new_db,
          const dat::DatDatabase& target_db, WorldPatchResult& result)
      : archive_(archive), old_db_(old_db), new_db_(new_db), target_db_(target_db), result_(result) {}

  ArchivePlan plan(unsigned jobs) {
    for (const std::uint32_t id : changed_ids(jobs)) file(id);
    return std::move(plan_);
  }

 private:
  // The ids whose files OLD and NEW hold differently, ascending: reading every
  // file of both is most of a patch's work, shared out over `jobs` threads.
  std::vector<std::uint32_t> changed_ids(unsigned jobs) const {
    std::vector<std::uint32_t> ids;
    ids.reserve(old_db_.entry_count() + new_db_.entry_count());
    for (const auto& e : old_db_.entries()) ids.push_back(e.id);
    for (const auto& e : new_db_.entries()) ids.push_back(e.id);
    ids = common::sorted_unique_ids(std::move(ids));
    std::vector<std::uint32_t> changed;
    common::InOrderPoolOptions pool;
    pool.jobs = jobs;
    pool.window = 4 * static_cast<std::size_t>(jobs);
    common::run_in_order<std::vector<std::uint32_t>>(
        (ids.size() + kIdsPerItem - 1) / kIdsPerItem, pool,
        [&](std::size_t item) {
          std::vector<std::uint32_t> found;
          const std::size_t end = std::min(ids.size(), (item + 1) * kIdsPerItem);
          for (std::size_t i = item * kIdsPerItem; i < end; ++i) {
            if (!same_file(SideFile(old_db_, ids[i]), SideFile(new_db_, ids[i]))) found.push_back(ids[i]);
          }
          return found;
        },
        [&](std::size_t, std::vector<std::uint32_t>&& found) { changed.insert(changed.end(), found.begin(), found.end()); },
        [] {}, [] { return false; });
    return changed;
  }

  // One id OLD and NEW hold differently.
  void file(std::uint32_t id) {
    const SideFile o(old_db_, id);
    const SideFile n(new_db_, id);
    const SideFile t(target_db_, id);
    if (!n.present() && !t.present()) {
      ++result_.unchanged;  // removed already, whatever OLD held
      return;
    }
    // A file that cannot be read cannot be compared or carried.
    for (const auto& [side, f] : {std::pair{"old", &o}, std::pair{"new", &n}, std::pair{"target", &t}}) {
      if (const std::string* error = f->error()) {
        whole_file_conflict(id, o, n, t, std::string(side) + ": " + *error);
        return;
      }
    }
    if (same_file(t, n)) {
      ++result_.unchanged;
      return;
    }
    if (!o.present()) {
      if (t.present()) return whole_file_conflict(id, o, n, t, kTargetHasOther);
      return put_stored(id, n, PatchAction::Add);
    }
    if (!n.present()) {
      if (!same_file(t, o)) return whole_file_conflict(id, o, n, t, kTargetChangedRemoved);
      plan_.removes.push_back(id);
      return change(id, PatchAction::Remove);
    }
    if (!t.present()) return whole_file_conflict(id, o, n, t, kTargetRemovedChangedFile);
    if (same_file(t, o)) return put_stored(id, n, PatchAction::Replace);
    const auto type = record_type(id);
    if (!type) return whole_file_conflict(id, o, n, t, kBothChangedUndecoded);
    merge(id, *type, o, n, t);
  }

  std::optional<dat::RecordType> record_type(std::uint32_t id) const {
    return dat::record_type_for_id(id, archive_ == DiffArchive::Cell);
  }

  void change(std::uint32_t id, PatchAction action) {
    result_.changes.push_back({archive_, id, action, record_type(id)});
  }

  void put_stored(std::uint32_t id, const SideFile& from, PatchAction action) {
    plan_.puts.push_back({id, *from.stored(), true, from.entry(), {}});
    change(id, action);
  }

  void whole_file_conflict(std::uint32_t id, const SideFile& o, const SideFile& n, const SideFile& t,
                           std::string_view why) {
    result_.conflicts.push_back({archive_, id, "", o.summary(), n.summary(), t.summary(), std::string(why)});
  }

  // A hook's `payload` repeats the bytes its fields hold and the encoder does
  // not read it: left out, an emitter changed on one side and a part index on
  // the other merge instead of conflicting over the payload.
  static std::string without_hook_payloads(const std::string& document) {
    auto json = nlohmann::ordered_json::parse(document, nullptr, false);
    if (json.is_discarded()) return document;
    strip_payloads(json);
    return json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
  }
  static void strip_payloads(nlohmann::ordered_json& json) {
    if (json.is_object() && json.contains("hook_type")) json.erase("payload");
    if (json.is_structured()) {
      for (auto& child : json) strip_payloads(child);
    }
  }

  // The side's `dat show` document, or the read or decoder error naming the side.
  static std::expected<std::string, std::string> document(const SideFile& f, dat::RecordType type,
                                                          std::string_view side, std::uint32_t id) {
    auto bytes = f.db().get_file(id);
    if (!bytes) return std::unexpected(std::string(side) + ": " + bytes.error().to_string());
    auto record = dat::decode_stored_record(type, *bytes);
    if (!record) return std::unexpected(std::string(side) + ": " + record.error().to_string());
    return without_hook_payloads(dat::stored_record_json(*record, true));
  }

  void merge(std::uint32_t id, dat::RecordType type, const SideFile& o, const SideFile& n, const SideFile& t) {
    const auto old_doc = document(o, type, "old", id);
    const auto new_doc = document(n, type, "new", id);
    const auto target_doc = document(t, type, "target", id);
    for (const auto* doc : {&old_doc, &new_doc, &target_doc}) {
      if (!*doc) return whole_file_conflict(id, o, n, t, doc->error());
    }
    DocumentMerge merged = merge_documents(*old_doc, *new_doc, *target_doc);
    for (MergeConflict& c : merged.conflicts) {
      result_.conflicts.push_back({archive_, id, std::move(c.path), std::move(c.old_value), std::move(c.new_value),
                                   std::move(c.target_value), std::move(c.why)});
    }
    if (!merged.merged) return;
    auto refused = [&](const dat::file_type::RecordError& error) {
      result_.conflicts.push_back({archive_, id, error.pointer, value_at(*old_doc, error.pointer),
                                   value_at(*new_doc, error.pointer), value_at(*target_doc, error.pointer),
                                   "encoder: " + error.message});
    };
    auto record = dat::parse_stored_record(type, *merged.merged);
    if (!record) return refused(record.error());
    auto bytes = dat::encode_stored_record(*record);
    if (!bytes) return refused(bytes.error());

    const dat::DatFileEntry& eo = o.entry();
    const dat::DatFileEntry& en = n.entry();
    const dat::DatFileEntry& et = t.entry();
    const std::uint32_t flags = carried(eo.bit_flags, en.bit_flags, et.bit_flags);
    const std::uint32_t timestamp = carried(eo.timestamp, en.timestamp, et.timestamp);
    const std::uint32_t version = carried(eo.version, en.version, et.version);
    if (flags == et.bit_flags && timestamp == et.timestamp && version == et.version) {
      auto target_bytes = t.db().get_file(id);
      if (target_bytes && *target_bytes == *bytes) {
        ++result_.unchanged;
        return;
      }
    }
    dat::PutOptions options;
    options.compress = (flags & dat::kCompressedFlag) != 0;
    options.flags = flags & ~dat::kCompressedFlag;
    options.timestamp = timestamp;
    options.version = version;
    plan_.puts.push_back({id, std::move(*bytes), false, {}, options});
    change(id, PatchAction::Merge);
  }

  DiffArchive archive_;
  const dat::DatDatabase& old_db_;
  const dat::DatDatabase& new_db_;
  const dat::DatDatabase& target_db_;
  WorldPatchResult& result_;
  ArchivePlan plan_;
};

std::expected<BakeArchives, std::string> open_side(const std::filesystem::path& dir, std::string_view side) {
  auto archives = open_bake_archives(dir);
  if (!archives) return std::unexpected(std::string(side) + ": " + archives.error().to_string());
  return std::move(*archives);
}

const dat::DatDatabase& of(const BakeArchives& archives, DiffArchive archive) {
  return archive == DiffArchive::Portal ? archives.portal : archives.cell;
}

std::expected<void, std::string> apply(dat::ArchiveEditor& editor, const ArchivePlan& plan) {
  for (const Put& put : plan.puts) {
    auto done = put.stored ? editor.put_stored(put.id, put.bytes, put.entry.bit_flags, put.entry.timestamp,
                                               put.entry.version)
                           : editor.put(put.id, put.bytes, put.options);
    if (!done) return std::unexpected(done.error().to_string());
  }
  for (const std::uint32_t id : plan.removes) {
    if (auto done = editor.remove(id); !done) return std::unexpected(done.error().to_string());
  }
  if (auto committed = editor.commit(); !committed) return std::unexpected(committed.error().to_string());
  return {};
}

void put_optional_json(common::JsonWriter& w, std::string_view key, const std::optional<std::string>& json) {
  w.key(key);
  if (json) w.raw_json(*json);
  else w.null();
}

// A value for a text line: long ones shortened.
std::string shown(const std::optional<std::string>& json) {
  constexpr std::size_t kShown = 60;
  if (!json) return "absent";
  if (json->size() <= kShown) return *json;
  return json->substr(0, kShown) + "...";
}

}  // namespace

std::string_view patch_action_name(PatchAction action) {
  switch (action) {
    case PatchAction::Add: return "add";
    case PatchAction::Remove: return "remove";
    case PatchAction::Replace: return "replace";
    case PatchAction::Merge: break;
  }
  return "merge";
}

std::string PatchChange::to_text() const {
  std::string text(patch_action_name(action));
  text += ' ';
  text += diff_archive_name(archive);
  text += ' ';
  text += common::hex_id(id);
  if (type) {
    text += ' ';
    text += dat::record_type_name(*type);
  }
  return text;
}

std::string PatchChange::to_json_line() const {
  auto w = line_writer();
  w.begin_object();
  w.key("kind").text("change");
  w.key("action").text(patch_action_name(action));
  w.key("archive").text(diff_archive_name(archive));
  w.key("id").hex_word(id);
  w.key("type");
  if (type) w.text(dat::record_type_name(*type));
  else w.null();
  w.end_object();
  return w.take();
}

std::string PatchConflict::to_text() const {
  std::string text = "conflict " + std::string(diff_archive_name(archive)) + " " + common::hex_id(id);
  if (!path.empty()) text += " " + path;
  return text + ": " + why + " (old " + shown(old_value) + ", new " + shown(new_value) + ", target " +
         shown(target_value) + ")";
}

std::string PatchConflict::to_json_line() const {
  auto w = line_writer();
  w.begin_object();
  w.key("kind").text("conflict");
  w.key("archive").text(diff_archive_name(archive));
  w.key("id").hex_word(id);
  w.key("path").text(path);
  put_optional_json(w, "old", old_value);
  put_optional_json(w, "new", new_value);
  put_optional_json(w, "target", target_value);
  w.key("why").text(why);
  w.end_object();
  return w.take();
}

std::size_t WorldPatchResult::count(PatchAction action) const {
  return static_cast<std::size_t>(
      std::count_if(changes.begin(), changes.end(), [action](const PatchChange& c) { return c.action == action; }));
}

std::string WorldPatchResult::totals_text() const {
  const char* outcome = written ? "written" : "nothing written";
  return "patch: " + std::to_string(count(PatchAction::Add)) + " added, " + std::to_string(count(PatchAction::Remove)) +
         " removed, " + std::to_string(count(PatchAction::Replace)) + " replaced, " +
         std::to_string(count(PatchAction::Merge)) + " merged, " + std::to_string(unchanged) + " unchanged, " +
         std::to_string(conflicts.size()) + (conflicts.size() == 1 ? " conflict; " : " conflicts; ") + outcome;
}

std::string WorldPatchResult::totals_json_line() const {
  auto w = line_writer();
  w.begin_object();
  w.key("kind").text("totals");
  w.key("added").number(count(PatchAction::Add));
  w.key("removed").number(count(PatchAction::Remove));
  w.key("replaced").number(count(PatchAction::Replace));
  w.key("merged").number(count(PatchAction::Merge));
  w.key("unchanged").number(unchanged);
  w.key("conflicts").number(conflicts.size());
  w.key("written").boolean(written);
  w.end_object();
  return w.take();
}

std::expected<WorldPatchResult, std::string> patch_world(const WorldPatchOptions& options) {
  WorldPatchResult result;
  std::array<ArchivePlan, 2> plans;
  const unsigned jobs = options.jobs != 0 ? options.jobs : common::hardware_threads();
  // The editors are opened first and kept to the end, so that nothing else
  // changes TARGET between the plan and the commit.
  std::vector<dat::ArchiveEditor> editors;
  {
    auto old_side = open_side(options.old_dir, "old");
    if (!old_side) return std::unexpected(old_side.error());
    auto new_side = open_side(options.new_dir, "new");
    if (!new_side) return std::unexpected(new_side.error());
    auto target_side = open_side(options.target_dir, "target");
    if (!target_side) return std::unexpected(target_side.error());
    if (!options.dry_run) {
      for (const DiffArchive archive : kArchives) {
        auto editor = dat::ArchiveEditor::open(options.target_dir / archive_file_name(archive));
        if (!editor) return std::unexpected("target: " + editor.error().to_string());
        editors.push_back(std::move(*editor));
      }
    }
    for (const DiffArchive archive : kArchives) {
      plans[static_cast<std::size_t>(archive)] =
          Planner(archive, of(*old_side, archive), of(*new_side, archive), of(*target_side, archive), result)
              .plan(jobs);
    }
    // The readers close here: a commit reuses free blocks only while no reader
    // has the archive open, and TARGET may be OLD or NEW.
  }
  if (options.dry_run || (!result.conflicts.empty() && !options.keep_going)) return result;
  for (const DiffArchive archive : kArchives) {
    const ArchivePlan& plan = plans[static_cast<std::size_t>(archive)];
    if (plan.empty()) continue;
    if (auto applied = apply(editors[static_cast<std::size_t>(archive)], plan); !applied)
      return std::unexpected(applied.error());
    result.written = true;
  }
  return result;
}

}  // namespace ravelin::event_bake
