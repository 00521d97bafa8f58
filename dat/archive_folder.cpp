// Extracting an archive to a folder, and copying entries between archives.
#include "ravelin/dat/archive_folder.h"

#include <algorithm>
#include <set>
#include <utility>

#include "dat/archive_folder_format.h"
#include "dat/block_reader.h"
#include "ravelin/common/file.h"
#include "ravelin/common/id_text.h"
#include "ravelin/common/output_file.h"
#include "ravelin/dat/utils.h"

namespace ravelin::dat {
namespace folder {

std::string file_name(std::uint32_t id) { return common::hex_id(id); }

std::optional<std::uint32_t> id_of_name(std::string_view name) {
  if (name.size() != 10 || !name.starts_with("0x")) return std::nullopt;
  for (const char c : name.substr(2))
    if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F'))) return std::nullopt;
  return common::parse_u32(name);
}

std::string index_line(const DatFileEntry& e) {
  return "{\"id\":\"" + common::hex_id(e.id) + "\",\"bit_flags\":" + std::to_string(e.bit_flags) +
         ",\"timestamp\":" + std::to_string(e.timestamp) + ",\"version\":" + std::to_string(e.version) +
         ",\"compressed\":" + (e.is_compressed() ? "true" : "false") + ",\"size\":" + std::to_string(e.size) + "}\n";
}

std::string header_text(const DatHeader& header, bool stored) {
  std::string text = "{\n";
  for (const DatHeaderField& field : kDatHeaderFields) {
    const std::string value = header_field_text(header, field);
    const bool quoted = field.form != HeaderFieldForm::Decimal;
    text += "  \"" + std::string(field.name) + "\": " + (quoted ? "\"" + value + "\"" : value) + ",\n";
  }
  text += std::string("  \"stored\": ") + (stored ? "true" : "false") + "\n}\n";
  return text;
}

}  // namespace folder

namespace {

// Read-ahead of the archive: bodies are read in file order.
constexpr std::size_t kReadWindow = std::size_t{1} << 20;

FolderError io_error(std::string action, const common::Path& path, const common::IoError& error) {
  return {FolderError::Kind::Io, common::FileError{std::move(action), path, error}.to_string()};
}

FolderError archive_error(const common::Path& path, const DatError& error) {
  if (error.kind() == DatError::Kind::PathError) return {FolderError::Kind::Archive, error.to_string()};
  return {FolderError::Kind::Archive, common::display_path(path) + ": " + error.to_string()};
}

// The entries to extract, ascending by id.
FolderResult<std::vector<DatFileEntry>> chosen_entries(const DatDatabase& db, const common::Path& archive,
                                                       std::span<const std::uint32_t> ids) {
  if (ids.empty()) return db.sorted_entries();
  std::vector<DatFileEntry> out;
  for (const std::uint32_t id : std::set<std::uint32_t>(ids.begin(), ids.end())) {
    const DatFileEntry* entry = db.find_entry(id);
    if (entry == nullptr)
      return std::unexpected(FolderError{FolderError::Kind::NotFound, "File ID " + common::hex8(id) + " not found in " +
                                                                         common::display_path(archive)});
    out.push_back(*entry);
  }
  return out;
}

// `dir` made ready: created when missing, refused when it holds something and
// `force` is not given. With `force`, the index of an earlier extract goes
// first (the folder is not a finished extract until the new one is written),
// and its files this extract does not write after it.
FolderResult<void> prepare_folder(const common::Path& dir, const std::vector<DatFileEntry>& entries, bool force,
                                  common::FileSystem& fs) {
  auto kind = fs.kind(dir);
  if (!kind) return std::unexpected(io_error("open", dir, kind.error()));
  if (*kind != common::FileKind::Missing && *kind != common::FileKind::Directory)
    return std::unexpected(FolderError{FolderError::Kind::BadInput, common::display_path(dir) + " is not a directory"});
  const common::Path files = common::join_path(dir, folder::kFilesDir);
  if (*kind == common::FileKind::Directory) {
    auto names = fs.list_directory(dir);
    if (!names) return std::unexpected(io_error("list", dir, names.error()));
    if (!names->empty() && !force)
      return std::unexpected(FolderError{FolderError::Kind::NotEmpty,
                                         common::display_path(dir) + " is not empty (--force writes into it)"});
    if (!names->empty()) {
      const common::Path index = common::join_path(dir, folder::kIndexName);
      if (auto r = fs.remove(index); !r) return std::unexpected(io_error("remove", index, r.error()));
      auto files_kind = fs.kind(files);
      if (files_kind && *files_kind == common::FileKind::Directory) {
        auto old = fs.list_directory(files);
        if (!old) return std::unexpected(io_error("list", files, old.error()));
        std::set<std::uint32_t> kept;
        for (const DatFileEntry& e : entries) kept.insert(e.id);
        for (const std::string& name : *old) {
          const auto id = folder::id_of_name(name);
          if (!id || kept.contains(*id)) continue;
          const common::Path stale = common::join_path(files, name);
          if (auto r = fs.remove(stale); !r) return std::unexpected(io_error("remove", stale, r.error()));
        }
      }
    }
  }
  if (auto r = common::create_directories_synced(files, fs); !r)
    return std::unexpected(io_error("create", files, r.error()));
  return {};
}

// Writes `bytes` as the file at `path`, in place: the folder is the
// extract's own, and one sync of the file system at the end makes every file
// durable before the index that lists them is written.
FolderResult<void> write_plain(const common::Path& path, std::span<const std::uint8_t> bytes, common::FileSystem& fs) {
  auto file = fs.create(path, common::CreateMode::Truncate);
  if (!file) return std::unexpected(io_error("create", path, file.error()));
  if (!bytes.empty())
    if (auto r = (*file)->write_at(0, bytes); !r) return std::unexpected(io_error("write", path, r.error()));
  return {};
}

}  // namespace

FolderResult<ExtractStats> extract_archive(const common::Path& archive, const common::Path& dir,
                                           const ExtractOptions& options, common::FileSystem& fs) {
  auto db = DatDatabase::open(archive, fs);
  if (!db) return std::unexpected(archive_error(archive, db.error()));
  auto entries = chosen_entries(*db, archive, options.ids);
  if (!entries) return std::unexpected(std::move(entries).error());
  if (auto r = prepare_folder(dir, *entries, options.force, fs); !r) return std::unexpected(std::move(r).error());

  auto file = common::File::open_read_only(archive, fs);
  if (!file) return std::unexpected(io_error("open", archive, file.error()));
  auto length = file->size();
  if (!length) return std::unexpected(io_error("read", archive, length.error()));
  BlockReader reader(*file, *length, kReadWindow);

  // Bodies in the archive's own order, so that its reads run forward.
  std::vector<std::uint32_t> order(entries->size());
  for (std::size_t i = 0; i < order.size(); ++i) order[i] = static_cast<std::uint32_t>(i);
  std::ranges::stable_sort(order, {}, [&](std::uint32_t i) { return (*entries)[i].offset; });

  const common::Path files = common::join_path(dir, folder::kFilesDir);
  ExtractStats stats;
  std::vector<std::uint8_t> stored;
  for (const std::uint32_t i : order) {
    const DatFileEntry& e = (*entries)[i];
    stored.resize(e.size);
    if (auto r = read_block_chain(reader, db->header().block_size, e.offset, stored); !r)
      return std::unexpected(FolderError{FolderError::Kind::Archive, common::display_path(archive) + ": file " +
                                                                         common::hex_id(e.id) + ": " +
                                                                         r.error().to_string()});
    const common::Path path = common::join_path(files, folder::file_name(e.id));
    if (!options.stored && e.is_compressed()) {
      const std::vector<std::uint8_t> plain = utils::decompress_lrs(stored);
      if (auto r = write_plain(path, plain, fs); !r) return std::unexpected(std::move(r).error());
      stats.bytes += plain.size();
    } else {
      if (auto r = write_plain(path, stored, fs); !r) return std::unexpected(std::move(r).error());
      stats.bytes += stored.size();
    }
    ++stats.files;
  }
  if (auto r = fs.sync_file_system(dir); !r) return std::unexpected(io_error("sync", dir, r.error()));

  const common::Path header = common::join_path(dir, folder::kHeaderName);
  if (auto r = common::write_output_file(header, folder::header_text(db->header(), options.stored),
                                         common::Durability::Synced, fs);
      !r)
    return std::unexpected(FolderError{FolderError::Kind::Io, r.error().to_string()});
  std::string index;
  for (const DatFileEntry& e : *entries) index += folder::index_line(e);
  if (auto r = common::write_output_file(common::join_path(dir, folder::kIndexName), index,
                                         common::Durability::Synced, fs);
      !r)
    return std::unexpected(FolderError{FolderError::Kind::Io, r.error().to_string()});
  return stats;
}

EditResult<CopyStats> copy_entries(const DatDatabase& from, const common::Path& from_path, ArchiveEditor& to,
                                   std::span<const std::uint32_t> ids) {
  // Every id looked up first: a missing one puts nothing.
  std::vector<const DatFileEntry*> found;
  for (const std::uint32_t id : ids) {
    const DatFileEntry* entry = from.find_entry(id);
    if (entry == nullptr) return std::unexpected(EditError::not_found(from_path, id));
    found.push_back(entry);
  }
  CopyStats stats;
  for (const DatFileEntry* e : found) {
    auto stored = from.read_file_data(e->offset, e->size);
    if (!stored) return std::unexpected(EditError::archive(from_path, stored.error()));
    const bool replaces = to.find(e->id).has_value();
    if (auto r = to.put_stored(e->id, *stored, e->bit_flags, e->timestamp, e->version); !r)
      return std::unexpected(std::move(r).error());
    ++(replaces ? stats.replaced : stats.added);
  }
  return stats;
}

EditResult<CopyStats> copy_between(const common::Path& from, const common::Path& to,
                                   std::span<const std::uint32_t> ids, CommitStats* commit, common::FileSystem& fs) {
  auto editor = ArchiveEditor::open(to, fs);
  if (!editor) return std::unexpected(std::move(editor).error());
  EditResult<CopyStats> stats;
  {
    // The source is closed before the commit: when it is the target itself,
    // its open reader would keep the commit from reusing free blocks.
    auto source = DatDatabase::open(from, fs);
    if (!source) {
      if (source.error().kind() == DatError::Kind::PathError)
        return std::unexpected(EditError::io(common::FileError{"open", from, source.error().io_error()}));
      return std::unexpected(EditError::archive(from, source.error()));
    }
    stats = copy_entries(*source, from, *editor, ids);
  }
  if (!stats) return stats;
  auto committed = editor->commit();
  if (!committed) return std::unexpected(std::move(committed).error());
  if (commit != nullptr) *commit = *committed;
  return stats;
}

}  // namespace ravelin::dat
