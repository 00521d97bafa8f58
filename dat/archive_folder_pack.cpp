// Packing a folder into a fresh archive: index.jsonl and header.json read and
// checked whole, every file named and sized, and only then the archive
// streamed out through the fresh-archive writer.
#include <algorithm>
#include <cerrno>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <utility>

#include "dat/archive_folder_format.h"
#include "ravelin/common/file.h"
#include "ravelin/common/id_text.h"
#include "ravelin/dat/archive_compact.h"
#include "ravelin/dat/archive_folder.h"
#include "ravelin/dat/compress.h"

namespace ravelin::dat {
namespace {

using Json = nlohmann::json;

FolderError bad_input(std::string text) { return {FolderError::Kind::BadInput, std::move(text)}; }

FolderError io_error(std::string action, const common::Path& path, const common::IoError& error) {
  return {FolderError::Kind::Io, common::FileError{std::move(action), path, error}.to_string()};
}

// A u32 given as a number or as a text parse_u32 takes ("0x00005442").
std::optional<std::uint32_t> u32_value(const Json& value) {
  if (value.is_number_unsigned()) {
    const auto n = value.get<std::uint64_t>();
    if (n <= 0xFFFFFFFFu) return static_cast<std::uint32_t>(n);
    return std::nullopt;
  }
  if (value.is_string()) return common::parse_u32(value.get_ref<const std::string&>());
  return std::nullopt;
}

// One entry of the folder: its line and whether its file is stored.
struct Listed {
  DatFileEntry entry;  // size: the file's, once sized
  std::size_t line = 0;
};

FolderResult<std::vector<Listed>> parse_index(const common::Path& path, std::string_view text) {
  const std::string where = common::display_path(path) + ":";
  std::vector<Listed> out;
  std::map<std::uint32_t, std::size_t> line_of;
  std::size_t number = 0;
  while (!text.empty()) {
    ++number;
    const std::size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (line.find_first_not_of(" \t\r") == std::string_view::npos) continue;
    const auto problem = [&](const std::string& what) { return bad_input(where + std::to_string(number) + ": " + what); };
    const Json json = Json::parse(line, nullptr, false);
    if (json.is_discarded() || !json.is_object()) return std::unexpected(problem("not a JSON object"));
    DatFileEntry e;
    const auto field = [&](const char* name, std::uint32_t& into) -> std::optional<FolderError> {
      const auto it = json.find(name);
      if (it == json.end()) return problem(std::string("no \"") + name + "\"");
      const auto value = u32_value(*it);
      if (!value) return problem(std::string("\"") + name + "\" is not an unsigned 32-bit number");
      into = *value;
      return std::nullopt;
    };
    for (const auto& [name, into] : {std::pair{"id", &e.id}, std::pair{"bit_flags", &e.bit_flags},
                                     std::pair{"timestamp", &e.timestamp}, std::pair{"version", &e.version}})
      if (auto p = field(name, *into)) return std::unexpected(std::move(*p));
    const auto compressed = json.find("compressed");
    if (compressed == json.end() || !compressed->is_boolean())
      return std::unexpected(problem("\"compressed\" is not true or false"));
    if (compressed->get<bool>() != e.is_compressed())
      return std::unexpected(problem("\"compressed\" is " + std::string(compressed->get<bool>() ? "true" : "false") +
                                     " but bit 0 of \"bit_flags\" says otherwise"));
    if (const auto [it, added] = line_of.emplace(e.id, number); !added)
      return std::unexpected(problem("file id " + common::hex_id(e.id) + " is already on line " +
                                     std::to_string(it->second)));
    out.push_back({e, number});
  }
  std::ranges::sort(out, {}, [](const Listed& l) { return l.entry.id; });
  return out;
}

struct FolderHeader {
  DatHeader header;
  bool stored = false;
};

FolderResult<FolderHeader> parse_header(const common::Path& path, std::string_view text) {
  const std::string where = common::display_path(path) + ": ";
  const Json json = Json::parse(text, nullptr, false);
  if (json.is_discarded() || !json.is_object()) return std::unexpected(bad_input(where + "not a JSON object"));
  FolderHeader out;
  for (const DatHeaderField& field : kDatHeaderFields) {
    const auto it = json.find(field.name);
    if (it == json.end()) {
      if (field.word == &DatHeader::block_size) return std::unexpected(bad_input(where + "no \"block_size\""));
      continue;
    }
    if (field.word != nullptr) {
      const auto value = u32_value(*it);
      if (!value)
        return std::unexpected(bad_input(where + "\"" + std::string(field.name) + "\" is not an unsigned 32-bit number"));
      out.header.*field.word = *value;
      continue;
    }
    const std::string hex = it->is_string() ? it->get<std::string>() : std::string();
    bool ok = hex.size() == 32;
    for (std::size_t i = 0; ok && i < 16; ++i) {
      const auto byte = common::parse_u32("0x" + hex.substr(2 * i, 2));
      ok = byte.has_value() && hex[2 * i] != 'x' && hex[2 * i + 1] != 'x';
      if (ok) out.header.version_string[i] = static_cast<std::uint8_t>(*byte);
    }
    if (!ok) return std::unexpected(bad_input(where + "\"version_string\" is not 32 hexadecimal digits"));
  }
  if (const auto it = json.find("stored"); it != json.end()) {
    if (!it->is_boolean()) return std::unexpected(bad_input(where + "\"stored\" is not true or false"));
    out.stored = it->get<bool>();
  }
  return out;
}

FolderResult<std::string> read_text(const common::Path& path, common::FileSystem& fs) {
  auto bytes = fs.read_whole(path);
  if (!bytes) return std::unexpected(io_error("read", path, bytes.error()));
  return std::string(bytes->begin(), bytes->end());
}

// The bodies: held in memory from the sizing pass (compressed ones always,
// others while they fit the budget), else read from their files.
class FolderBodySource final : public StoredBodySource {
 public:
  FolderBodySource(std::vector<common::Path> paths, std::vector<std::vector<std::uint8_t>> held,
                   std::vector<bool> is_held, common::FileSystem& fs)
      : paths_(std::move(paths)), held_(std::move(held)), is_held_(std::move(is_held)), fs_(fs) {}

  DatResult<void> read(std::size_t index, std::span<std::uint8_t> out) override {
    if (is_held_[index]) {
      std::ranges::copy(held_[index], out.begin());
      std::vector<std::uint8_t>().swap(held_[index]);
      return {};
    }
    auto file = common::File::open_read_only(paths_[index], fs_);
    if (!file) return std::unexpected(failed("open", index, file.error()));
    if (auto r = file->read_exact_at(0, out); !r) return std::unexpected(failed("read", index, r.error()));
    return {};
  }

 private:
  DatError failed(const char* action, std::size_t index, const common::IoError& error) const {
    return DatError::other(common::FileError{action, paths_[index], error}.to_string());
  }

  std::vector<common::Path> paths_;
  std::vector<std::vector<std::uint8_t>> held_;
  std::vector<bool> is_held_;
  common::FileSystem& fs_;
};

}  // namespace

FolderResult<PackStats> pack_folder(const common::Path& dir, const common::Path& archive, const PackOptions& options,
                                    common::FileSystem& fs) {
  if (options.block_size && (*options.block_size <= 8 || *options.block_size % 4 != 0))
    return std::unexpected(bad_input("block size " + std::to_string(*options.block_size) +
                                     ": must be more than 8 and a multiple of 4"));
  const common::Path index_path = common::join_path(dir, folder::kIndexName);
  auto index_kind = fs.kind(index_path);
  if (!index_kind) return std::unexpected(io_error("open", index_path, index_kind.error()));
  if (*index_kind != common::FileKind::Regular)
    return std::unexpected(bad_input(common::display_path(dir) + " has no " + std::string(folder::kIndexName) +
                                     " (a folder `ravelin-bake dat extract` wrote has one)"));
  auto index_text = read_text(index_path, fs);
  if (!index_text) return std::unexpected(std::move(index_text).error());
  auto listed = parse_index(index_path, *index_text);
  if (!listed) return std::unexpected(std::move(listed).error());
  const common::Path header_path = common::join_path(dir, folder::kHeaderName);
  auto header_text = read_text(header_path, fs);
  if (!header_text) return std::unexpected(std::move(header_text).error());
  auto header = parse_header(header_path, *header_text);
  if (!header) return std::unexpected(std::move(header).error());
  if (options.block_size) header->header.block_size = *options.block_size;
  if (header->header.block_size < 5)
    return std::unexpected(bad_input(common::display_path(header_path) + ": block size " +
                                     std::to_string(header->header.block_size) +
                                     " leaves no room for a link and a payload"));

  // Every file under files/ is listed; every listed file is there.
  const common::Path files = common::join_path(dir, folder::kFilesDir);
  auto files_kind = fs.kind(files);
  if (!files_kind) return std::unexpected(io_error("open", files, files_kind.error()));
  if (*files_kind == common::FileKind::Directory) {
    auto names = fs.list_directory(files);
    if (!names) return std::unexpected(io_error("list", files, names.error()));
    std::ranges::sort(*names);
    for (const std::string& name : *names) {
      const auto id = folder::id_of_name(name);
      const bool is_listed =
          id && std::ranges::binary_search(*listed, *id, {}, [](const Listed& l) { return l.entry.id; });
      if (!is_listed)
        return std::unexpected(bad_input(common::display_path(common::join_path(files, name)) + " is not listed in " +
                                         common::display_path(index_path)));
    }
  }

  std::vector<DatFileEntry> entries;
  std::vector<common::Path> paths;
  std::vector<std::vector<std::uint8_t>> held(listed->size());
  std::vector<bool> is_held(listed->size(), false);
  std::uint64_t held_bytes = 0;
  entries.reserve(listed->size());
  paths.reserve(listed->size());
  for (const Listed& l : *listed) {
    common::Path path = common::join_path(files, folder::file_name(l.entry.id));
    const std::size_t index = entries.size();
    auto file = common::File::open_read_only(path, fs);
    if (!file) {
      if (file.error().code == ENOENT)
        return std::unexpected(bad_input(common::display_path(index_path) + ":" + std::to_string(l.line) +
                                         ": no file " + common::display_path(path)));
      return std::unexpected(io_error("open", path, file.error()));
    }
    auto size = file->size();
    if (!size) return std::unexpected(io_error("read", path, size.error()));
    if (*size > 0xFFFFFFFFu)
      return std::unexpected(FolderError{FolderError::Kind::TooLarge,
                                         common::display_path(path) + " is larger than an entry can hold"});
    DatFileEntry e = l.entry;
    const bool recompress = !header->stored && e.is_compressed();
    if (recompress || held_bytes + *size <= options.held_budget) {
      std::vector<std::uint8_t> bytes(*size);
      if (auto r = file->read_exact_at(0, bytes); !r) return std::unexpected(io_error("read", path, r.error()));
      if (recompress) {
        auto body = compress_lrs(bytes);
        if (!body) return std::unexpected(bad_input(common::display_path(path) + ": " + body.error().to_string()));
        bytes = std::move(*body);
      }
      held_bytes += bytes.size();
      e.size = static_cast<std::uint32_t>(bytes.size());
      held[index] = std::move(bytes);
      is_held[index] = true;
    } else {
      e.size = static_cast<std::uint32_t>(*size);
    }
    entries.push_back(e);
    paths.push_back(std::move(path));
  }

  FolderBodySource bodies(std::move(paths), std::move(held), std::move(is_held), fs);
  const FreshArchive fresh{.header = header->header, .entries = entries, .body_order = {}, .prefix = {}};
  auto written = write_fresh_archive(archive, fresh, bodies, fs);
  if (!written) {
    const CompactError& e = written.error();
    const auto kind = e.kind() == CompactError::Kind::TooLarge ? FolderError::Kind::TooLarge
                      : e.kind() == CompactError::Kind::Io     ? FolderError::Kind::Io
                                                               : FolderError::Kind::BadInput;
    return std::unexpected(FolderError{kind, e.to_string()});
  }
  return PackStats{.entries = entries.size(), .nodes = written->nodes, .depth = written->depth,
                   .length = written->length};
}

}  // namespace ravelin::dat
