// What changed between two client versions (two DAT directories): the archive
// entries whose bytes differ, the decoded records' changes as JSON patches, and
// the landblocks whose bake differs, with the changed entries among their
// inputs. Both versions are baked through sessions and compared in memory;
// landblocks are produced in ascending order, one at a time.
#pragma once

#include <cstdint>
#include <expected>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ravelin/common/sink.h"
#include "ravelin/dat/file_ids.h"
#include "ravelin/dat/record_json.h"
#include "ravelin/event_bake/event_family.h"

namespace ravelin::event_bake {

struct WorldDiffOptions {
  std::filesystem::path old_dir;  // each holds "client_portal.dat" and "client_cell_1.dat"
  std::filesystem::path new_dir;
  std::uint32_t region_did = dat::kDefaultRegionId;
  bool bake_sky = true;
  unsigned jobs = 0;  // threads; 0: one per hardware thread
  // A landblock none of whose old inputs changed bakes the same in the new
  // version, so its new bake is skipped; true bakes it anyway (for checking).
  bool bake_every_landblock = false;
};

enum class DiffArchive : std::uint8_t { Portal, Cell };
// "portal", "cell".
std::string_view diff_archive_name(DiffArchive archive);

enum class EntryChange : std::uint8_t { Added, Removed, Changed, Unreadable };
// "added", "removed", "changed", "unreadable".
std::string_view entry_change_name(EntryChange change);

// One archive entry that differs between the versions.
struct FileDiff {
  DiffArchive archive = DiffArchive::Portal;
  std::uint32_t id = 0;
  EntryChange change = EntryChange::Changed;
  std::optional<dat::RecordType> type;         // by dat show's id rule
  std::optional<std::uint64_t> old_size;       // decompressed; none where absent or unreadable
  std::optional<std::uint64_t> new_size;
  std::optional<std::string> old_error;        // Unreadable only: the archive's text
  std::optional<std::string> new_error;

  // "portal:0x33000301": how inputs and caused_by name the entry.
  std::string input_name() const;
  // The files.jsonl line, without its newline.
  std::string to_json_line() const;
};

// A changed entry with a record type: the patch from the old dat show document
// to the new one, or the decoder's error on a side that does not decode.
struct RecordDiff {
  DiffArchive archive = DiffArchive::Portal;
  std::uint32_t id = 0;
  dat::RecordType type = dat::RecordType::Region;
  std::optional<std::string> patch;  // RFC 6902, compact JSON
  std::optional<std::string> old_error;
  std::optional<std::string> new_error;

  std::string to_json_line() const;
};

enum class LandblockChange : std::uint8_t { Added, Removed, Changed };
std::string_view landblock_change_name(LandblockChange change);

// One line of a manifest (without its newline) and the family it belongs to.
struct ManifestLine {
  EventFamily family = EventFamily::Ambient;
  std::string text;

  bool operator==(const ManifestLine&) const = default;
};

// A landblock whose bake differs (bytes or error), or that has a CellLandblock
// in one version only.
struct LandblockDiff {
  std::uint32_t landblock_id = 0;  // 0xLLLL0000
  LandblockChange change = LandblockChange::Changed;
  std::vector<ManifestLine> removed;  // old manifest lines without a matching new one, manifest order
  std::vector<ManifestLine> added;    // and the other way round
  std::vector<std::string> caused_by;  // changed entries among its inputs in either version, ascending
  std::optional<std::string> old_error;  // the BakeError text of a side whose bake failed
  std::optional<std::string> new_error;

  std::string to_json_line() const;
};

// What stays of a landblock diff for the summary and for pictures.
struct LandblockDiffEntry {
  std::uint32_t landblock_id = 0;
  LandblockChange change = LandblockChange::Changed;
  std::size_t removed = 0;
  std::size_t added = 0;
  std::vector<std::string> caused_by;
  // Lines added plus removed, per family in manifest order: which families changed.
  EventCounts changed_lines{};
};

// Event lines added and removed, by manifest family.
struct FamilyCounts {
  EventFamily family = EventFamily::Ambient;
  std::size_t added = 0;
  std::size_t removed = 0;
};

struct WorldDiffResult {
  std::vector<FileDiff> files;  // ascending by (archive, id), portal first
  std::size_t records = 0;      // record diffs handed out
  std::vector<LandblockDiffEntry> landblocks;  // ascending by id
  std::vector<FamilyCounts> events;            // every family, in manifest order
  std::size_t landblocks_compared = 0;
};

// Where the diff hands what it finds, each in ascending order; any may be
// null. They are opened once both versions have opened, and finished when the
// diff is complete; when one fails, the diff stops and abandons them all.
struct WorldDiffSinks {
  common::Sink<FileDiff>* files = nullptr;
  common::Sink<RecordDiff>* records = nullptr;
  common::Sink<LandblockDiff>* landblocks = nullptr;
};

// A sink that keeps each item's to_json_line() in `lines`.
template <class Item>
class JsonLineCollector final : public common::Sink<Item> {
 public:
  explicit JsonLineCollector(std::vector<std::string>& lines) : lines_(lines) {}
  common::SinkResult add(const Item& item) override {
    lines_.push_back(item.to_json_line());
    return {};
  }

 private:
  std::vector<std::string>& lines_;
};

// Every line of a diff kept in memory, for a caller that wants them all.
struct WorldDiffLines {
  std::vector<std::string> files, records, landblocks;

  WorldDiffSinks sinks() { return {&file_sink_, &record_sink_, &landblock_sink_}; }

 private:
  JsonLineCollector<FileDiff> file_sink_{files};
  JsonLineCollector<RecordDiff> record_sink_{records};
  JsonLineCollector<LandblockDiff> landblock_sink_{landblocks};
};

// The diff of the two versions. Fails when an archive cannot be opened
// ("old: open client_portal.dat at ...: ...") or a sink fails (its text);
// unreadable entries and failing bakes are part of the result.
std::expected<WorldDiffResult, std::string> diff_worlds(const WorldDiffOptions& options, const WorldDiffSinks& sinks);

}  // namespace ravelin::event_bake
