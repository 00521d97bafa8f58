#include "ravelin/dat/archive_editor.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "ravelin/dat/compress.h"
#include "dat/archive_editor_state.h"
#include "ravelin/common/id_text.h"
#include "ravelin/common/output_file.h"

namespace ravelin::dat {
namespace {

constexpr std::uint64_t kLargestBody = std::numeric_limits<std::uint32_t>::max();
// A path replaced between our open and our lock (compact renames a new file
// over it) is opened again; more races than this in a row are a busy archive.
constexpr int kOpenAttempts = 4;

}  // namespace

EditError EditError::busy(const common::Path& path) {
  return {Kind::Busy, common::display_path(path) + " is being changed by another process"};
}

EditError EditError::refused(const common::Path& path, std::string finding) {
  EditError e(Kind::Refused, "cannot edit " + common::display_path(path) + ": " + finding +
                                 "; run `ravelin-bake dat compact` to rewrite it");
  e.finding_ = std::move(finding);
  return e;
}

EditError EditError::not_found(const common::Path& path, std::uint32_t id) {
  return {Kind::NotFound, "File ID " + common::hex8(id) + " not found in " + common::display_path(path)};
}

EditError EditError::too_large(const common::Path& path) {
  return {Kind::TooLarge, "the edit would take " + common::display_path(path) +
                              " past 4 GiB, which block offsets cannot reach; nothing was changed"};
}

EditError EditError::io(common::FileError error) {
  EditError e(Kind::Io, error.to_string());
  e.file_error_ = std::move(error);
  return e;
}

EditError EditError::archive(const common::Path& path, DatError error) {
  return {Kind::Archive, common::display_path(path) + ": " + error.to_string()};
}

EditError load_error(const common::Path& path, LoadProblem problem) {
  switch (problem.kind) {
    case LoadProblem::Kind::Io: return EditError::io(common::FileError{"read", path, std::move(*problem.io)});
    case LoadProblem::Kind::Archive: return EditError::archive(path, std::move(*problem.archive));
    case LoadProblem::Kind::Refused: break;
  }
  return EditError::refused(path, std::move(problem.finding));
}

void EditorState::drop_batch() {
  archive.tree.abandon_batch();
  bodies.clear();
  released.clear();
  pending_header = archive.header;
}

void EditorState::reload() {
  bodies.clear();
  released.clear();
  auto loaded = load_archive(*file);
  if (!loaded) {
    broken = load_error(path, std::move(loaded).error());
    return;
  }
  archive = std::move(*loaded);
  pending_header = archive.header;
}

ArchiveEditor::ArchiveEditor(std::unique_ptr<EditorState> state) : state_(std::move(state)) {}
ArchiveEditor::ArchiveEditor(ArchiveEditor&&) noexcept = default;
ArchiveEditor& ArchiveEditor::operator=(ArchiveEditor&&) noexcept = default;
ArchiveEditor::~ArchiveEditor() = default;

EditResult<ArchiveEditor> ArchiveEditor::open(const common::Path& path, common::FileSystem& fs) {
  auto state = std::make_unique<EditorState>();
  state->fs = &fs;
  state->path = path;
  for (int attempt = 0;; ++attempt) {
    auto file = fs.open_read_write(path);
    if (!file) return std::unexpected(state->file_error("open", file.error()));
    auto locked = (*file)->lock(kEditorLockByte, 1, common::LockKind::Exclusive, common::LockWait::NoWait);
    if (!locked) return std::unexpected(state->file_error("lock", locked.error()));
    if (*locked == common::LockResult::Busy) return std::unexpected(EditError::busy(path));
    state->locks = *locked == common::LockResult::Taken;
    // The lock is on the file we opened; make sure the path still names it.
    auto ours = (*file)->identity();
    if (!ours) return std::unexpected(state->file_error("open", ours.error()));
    auto again = fs.open_read_only(path);
    if (!again) return std::unexpected(state->file_error("open", again.error()));
    auto named = (*again)->identity();
    if (!named) return std::unexpected(state->file_error("open", named.error()));
    if (*named == *ours) {
      state->file = std::move(*file);
      break;
    }
    if (attempt + 1 == kOpenAttempts) return std::unexpected(EditError::busy(path));
  }
  auto loaded = load_archive(*state->file);
  if (!loaded) return std::unexpected(load_error(path, std::move(loaded).error()));
  state->archive = std::move(*loaded);
  state->pending_header = state->archive.header;
  return ArchiveEditor(std::move(state));
}

EditResult<ArchiveEditor> ArchiveEditor::create(const common::Path& path, std::uint32_t block_size,
                                                const DatHeader& kept_fields, common::FileSystem& fs) {
  if (block_size < 5)
    return std::unexpected(
        EditError::refused(path, "block size " + std::to_string(block_size) + " cannot hold a block chain"));
  const BlockGrid grid(block_size, 0);
  DatHeader header = kept_fields;
  header.block_size = block_size;
  header.file_size = static_cast<std::uint32_t>(grid.first);
  header.free_head = header.free_tail = header.free_count = 0;
  header.root_offset = 0;
  std::vector<std::uint8_t> bytes(grid.first, 0);
  const std::vector<std::uint8_t> encoded = encode_header(header);
  std::copy(encoded.begin(), encoded.end(), bytes.begin() + kHeaderOffset);
  if (auto r = common::write_output_file(path, bytes, common::Durability::Synced, fs); !r)
    return std::unexpected(EditError::io(r.error()));
  return open(path, fs);
}

EditResult<void> ArchiveEditor::put(std::uint32_t id, std::span<const std::uint8_t> bytes, const PutOptions& options) {
  EditorState& s = *state_;
  if (s.broken) return std::unexpected(*s.broken);
  if (bytes.size() > kLargestBody) return std::unexpected(EditError::too_large(s.path));
  const DatFileEntry* old = s.archive.tree.find(id);
  std::uint32_t flags = options.flags.value_or(old != nullptr ? old->bit_flags : 0) & ~kCompressedFlag;
  if (!options.compress) {
    return put_stored(id, bytes, flags, options.timestamp.value_or(old != nullptr ? old->timestamp : 0),
                      options.version.value_or(old != nullptr ? old->version : 0));
  }
  auto stored = compress_lrs(bytes);
  if (!stored) return std::unexpected(EditError::too_large(s.path));
  return put_stored(id, *stored, flags | kCompressedFlag,
                    options.timestamp.value_or(old != nullptr ? old->timestamp : 0),
                    options.version.value_or(old != nullptr ? old->version : 0));
}

EditResult<void> ArchiveEditor::put_stored(std::uint32_t id, std::span<const std::uint8_t> stored,
                                           std::uint32_t bit_flags, std::uint32_t timestamp, std::uint32_t version) {
  EditorState& s = *state_;
  if (s.broken) return std::unexpected(*s.broken);
  if (stored.size() > kLargestBody) return std::unexpected(EditError::too_large(s.path));
  DatFileEntry entry;
  entry.bit_flags = bit_flags;
  entry.id = id;
  entry.size = static_cast<std::uint32_t>(stored.size());
  entry.timestamp = timestamp;
  entry.version = version;
  const auto replaced = s.archive.tree.put(entry);
  // A committed body the batch replaces is freed once the batch is committed;
  // a body of the batch itself was never written and simply goes.
  if (replaced && !s.bodies.contains(id) && replaced->size > 0) s.released.emplace_back(replaced->offset, replaced->size);
  s.bodies[id].assign(stored.begin(), stored.end());
  return {};
}

EditResult<void> ArchiveEditor::remove(std::uint32_t id) {
  EditorState& s = *state_;
  if (s.broken) return std::unexpected(*s.broken);
  const auto removed = s.archive.tree.remove(id);
  if (!removed) return std::unexpected(EditError::not_found(s.path, id));
  if (s.bodies.erase(id) == 0 && removed->size > 0) s.released.emplace_back(removed->offset, removed->size);
  return {};
}

void ArchiveEditor::abandon() {
  if (!state_->broken) state_->drop_batch();
}

std::optional<DatFileEntry> ArchiveEditor::find(std::uint32_t id) const {
  const DatFileEntry* entry = state_->archive.tree.find(id);
  if (entry == nullptr) return std::nullopt;
  return *entry;
}

std::uint64_t ArchiveEditor::entry_count() const { return state_->archive.tree.size(); }

const DatHeader& ArchiveEditor::header() const { return state_->pending_header; }

std::vector<DatFileEntry> ArchiveEditor::entries() const {
  const DirectoryTree& tree = state_->archive.tree;
  std::vector<DatFileEntry> out;
  out.reserve(tree.size());
  if (tree.root() == DirectoryTree::kNone) return out;
  // In order: (node, next position), visiting child i before entry i.
  std::vector<std::pair<std::uint32_t, std::uint32_t>> stack{{tree.root(), 0}};
  while (!stack.empty()) {
    auto& [n, next] = stack.back();
    const auto& node = tree.node(n);
    if (next > node.count) {
      stack.pop_back();
      continue;
    }
    const std::uint32_t at = next++;
    if (at > 0) out.push_back(tree.entries(n)[at - 1]);
    if (!node.leaf()) stack.emplace_back(tree.child(n, at), 0);
  }
  return out;
}

EditResult<std::vector<std::uint8_t>> ArchiveEditor::stored_bytes(std::uint32_t id) const {
  const EditorState& s = *state_;
  if (const auto it = s.bodies.find(id); it != s.bodies.end()) return it->second;
  const DatFileEntry* entry = s.archive.tree.find(id);
  if (entry == nullptr) return std::unexpected(EditError::not_found(s.path, id));
  std::vector<std::uint8_t> out(entry->size);
  FileWindow window(*s.file, s.archive.file_length, std::size_t{1} << 16);
  ChainWalk walk;
  if (auto r = walk_chain(window, s.archive.grid, entry->offset, entry->size, walk, out); !r)
    return std::unexpected(s.file_error("read", r.error()));
  if (!walk.fault.empty())
    return std::unexpected(
        EditError::archive(s.path, DatError::corruption("file " + common::hex8(id) + ": " + walk.fault)));
  return out;
}

void ArchiveEditor::set_kept_fields(const DatHeader& fields) {
  DatHeader& h = state_->pending_header;
  h.magic = fields.magic;
  h.dataset = fields.dataset;
  h.subset = fields.subset;
  h.new_lru = fields.new_lru;
  h.old_lru = fields.old_lru;
  h.use_lru = fields.use_lru;
  h.master_map_id = fields.master_map_id;
  h.engine_version = fields.engine_version;
  h.game_version = fields.game_version;
  h.version_string = fields.version_string;
  h.version_minor = fields.version_minor;
}

bool ArchiveEditor::has_changes() const {
  const EditorState& s = *state_;
  return s.archive.tree.changed() || !s.bodies.empty() || !(s.pending_header == s.archive.header);
}

const common::Path& ArchiveEditor::path() const { return state_->path; }

}  // namespace ravelin::dat
