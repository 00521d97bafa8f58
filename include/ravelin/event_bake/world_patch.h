// Carries the changes between two client versions (OLD → NEW) onto a third
// (TARGET), archive by archive and file by file, wherever TARGET still holds
// what OLD held, and lists precisely where it does not.
//
// Per archive the three directories are walked by id. A file NEW adds is
// added; one NEW removes is removed where TARGET holds OLD's file; one NEW
// changes is replaced by NEW's stored bytes and fields where TARGET holds
// OLD's file, and otherwise, for a record, merged: the three `dat show`
// documents are merged (document_merge) and the result encoded. Everything
// that merges is put in one commit of each archive through the editor; with a
// conflict nothing is written unless `keep_going`.
#pragma once

#include <cstdint>
#include <expected>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ravelin/dat/record_json.h"
#include "ravelin/event_bake/world_diff.h"

namespace ravelin::event_bake {

struct WorldPatchOptions {
  // Each holds "client_portal.dat" and "client_cell_1.dat"; target may be old.
  std::filesystem::path target_dir;
  std::filesystem::path old_dir;
  std::filesystem::path new_dir;
  bool dry_run = false;     // plan only: nothing is opened for changing
  bool keep_going = false;  // commit what merges even when something conflicts
  unsigned jobs = 0;        // threads comparing OLD with NEW; 0: one per hardware thread
};

enum class PatchAction : std::uint8_t { Add, Remove, Replace, Merge };
// "add", "remove", "replace", "merge".
std::string_view patch_action_name(PatchAction action);

// A file the patch changes (or would, on a dry run) in TARGET.
struct PatchChange {
  DiffArchive archive = DiffArchive::Portal;
  std::uint32_t id = 0;
  PatchAction action = PatchAction::Add;
  std::optional<dat::RecordType> type;  // by dat show's id rule

  // "merge portal 0x33000001 physics-script"
  std::string to_text() const;
  // {"kind":"change","action":"merge","archive":"portal","id":"0x33000001","type":"physics-script"}
  std::string to_json_line() const;
};

// A place where OLD → NEW could not be carried onto TARGET.
struct PatchConflict {
  DiffArchive archive = DiffArchive::Portal;
  std::uint32_t id = 0;
  std::string path;  // JSON Pointer into the record's document; "" for the whole file
  // Each side's value there as compact JSON (a whole file: its stored size and
  // flags, or the document); nothing where the side has none.
  std::optional<std::string> old_value, new_value, target_value;
  std::string why;  // a fixed text per rule, a read error's or the encoder's text

  // "conflict portal 0x33000001 /a/0: both changed (old 1, new 2, target 3)"
  std::string to_text() const;
  // {"kind":"conflict","archive":...,"id":...,"path":...,"old":...,"new":...,"target":...,"why":...}
  std::string to_json_line() const;
};

struct WorldPatchResult {
  std::vector<PatchChange> changes;      // ascending by (archive, id), portal first
  std::vector<PatchConflict> conflicts;  // the same order; a file's in document order
  std::size_t unchanged = 0;  // files OLD and NEW differ in that TARGET already holds as NEW has them
  bool written = false;       // whether the changes were committed

  std::size_t count(PatchAction action) const;
  // "patch: 1 added, 0 removed, 2 replaced, 1 merged, 3 unchanged, 0 conflicts; written"
  std::string totals_text() const;
  // {"kind":"totals","added":1,...,"conflicts":0,"written":true}
  std::string totals_json_line() const;
};

// Plans the patch and, unless a dry run or a conflict without keep_going
// stops it, commits it. Fails, with nothing written, when an archive cannot be
// opened ("target: ..." naming the side and the archive) or a commit fails
// (the editor's text; an archive committed before it stays committed).
std::expected<WorldPatchResult, std::string> patch_world(const WorldPatchOptions& options);

}  // namespace ravelin::event_bake
