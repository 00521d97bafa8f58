// `ravelin-bake dat cp|extract|pack`: files carried between archives as they
// are stored, and whole archives as folders and back.
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "ravelin/common/file_system.h"
#include "ravelin/common/id_text.h"
#include "ravelin/dat/archive_folder.h"
#include "tools/commands.h"

namespace ravelin::tools {
namespace {

struct FolderArgs {
  std::string from;
  std::string to;
  std::vector<std::string> ids;
  std::string list;
  std::string archive;
  std::string dir;
  bool stored = false;
  bool force = false;
  std::string output;
  std::string block_size;
};

std::string count_of(std::uint64_t n, std::string_view one, std::string_view many) {
  return std::to_string(n) + " " + std::string(n == 1 ? one : many);
}

// A --from list: one id a line; blank lines and lines starting with '#' are
// skipped. An id given twice is refused with its line.
std::expected<std::vector<std::uint32_t>, std::string> parse_id_list(std::string_view name, std::string_view text) {
  std::vector<std::uint32_t> ids;
  std::map<std::uint32_t, std::size_t> line_of;
  std::size_t number = 0;
  while (!text.empty()) {
    ++number;
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    const auto first = line.find_first_not_of(" \t\r");
    if (first == std::string_view::npos || line[first] == '#') continue;
    line = line.substr(first, line.find_last_not_of(" \t\r") - first + 1);
    const std::string where = std::string(name) + ":" + std::to_string(number) + ": ";
    const auto id = parse_u32(line);
    if (!id) return std::unexpected(where + "not a 32-bit file id: " + std::string(line));
    if (const auto [it, added] = line_of.emplace(*id, number); !added)
      return std::unexpected(where + "file id " + common::hex_id(*id) + " is already on line " +
                             std::to_string(it->second));
    ids.push_back(*id);
  }
  return ids;
}

int run_cp(const FolderArgs& args) {
  std::vector<std::uint32_t> ids;
  for (const std::string& text : args.ids) ids.push_back(parse_u32(text).value_or(0));
  if (!args.list.empty()) {
    const bool from_stdin = args.list == "-";
    auto bytes = common::default_file_system().read_whole(from_stdin ? "/dev/stdin" : args.list);
    if (!bytes)
      return fail(common::FileError{"read", from_stdin ? "standard input" : args.list, bytes.error()}.to_string());
    auto listed = parse_id_list(from_stdin ? "standard input" : args.list,
                                std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
    if (!listed) {
      std::fprintf(stderr, "error: %s\n", listed.error().c_str());
      return 2;  // as a `dat put --from` list that does not parse
    }
    ids.insert(ids.end(), listed->begin(), listed->end());
  }
  dat::CommitStats commit;
  auto copied = dat::copy_between(args.from, args.to, ids, &commit);
  if (!copied) return fail(copied.error().to_string());
  std::fprintf(stderr, "copied %s from %s into %s (%ju new, %ju replaced): %s written, %ju freed\n",
               count_of(copied->added + copied->replaced, "file", "files").c_str(),
               common::display_path(args.from).c_str(), common::display_path(args.to).c_str(),
               static_cast<std::uintmax_t>(copied->added), static_cast<std::uintmax_t>(copied->replaced),
               count_of(commit.blocks_written, "block", "blocks").c_str(),
               static_cast<std::uintmax_t>(commit.blocks_freed));
  return 0;
}

int run_extract(const FolderArgs& args) {
  dat::ExtractOptions options{.stored = args.stored, .force = args.force};
  for (const std::string& text : args.ids) options.ids.push_back(parse_u32(text).value_or(0));
  auto stats = dat::extract_archive(args.archive, args.dir, options);
  if (!stats) return fail(stats.error().to_string());
  std::fprintf(stderr, "extracted %s (%ju bytes%s) from %s into %s\n", count_of(stats->files, "file", "files").c_str(),
               static_cast<std::uintmax_t>(stats->bytes), args.stored ? ", stored" : "",
               common::display_path(args.archive).c_str(), common::display_path(args.dir).c_str());
  return 0;
}

int run_pack(const FolderArgs& args) {
  dat::PackOptions options;
  if (!args.block_size.empty()) options.block_size = parse_u32(args.block_size);
  auto stats = dat::pack_folder(args.dir, args.output, options);
  if (!stats) return fail(stats.error().to_string());
  std::fprintf(stderr, "packed %s from %s into %s: %s (depth %u), %ju bytes\n",
               count_of(stats->entries, "file", "files").c_str(), common::display_path(args.dir).c_str(),
               common::display_path(args.output).c_str(), count_of(stats->nodes, "node", "nodes").c_str(),
               stats->depth, static_cast<std::uintmax_t>(stats->length));
  return 0;
}

// More than 8 (a link and more than one word of payload) and a multiple of 4.
CLI::Validator block_size_validator() {
  return CLI::Validator(
      [](std::string& text) -> std::string {
        const auto n = parse_u32(text);
        if (!n || *n <= 8 || *n % 4 != 0) return "block size " + text + ": must be more than 8 and a multiple of 4";
        return {};
      },
      "N");
}

}  // namespace

void add_dat_folder_commands(CLI::App& dat, Action& action) {
  auto args = std::make_shared<FolderArgs>();

  auto* cp = dat.add_subcommand(
      "cp", "Copy files between archives with their stored bytes and fields, one commit: FROM TO ID... or --from LIST");
  cp->add_option("FROM_ARCHIVE", args->from, "Archive to copy from")->required();
  cp->add_option("TO_ARCHIVE", args->to, "Archive to copy into (an id it holds is replaced)")->required();
  cp->add_option("ID", args->ids, "File ids, 0x hexadecimal or decimal")->check(u32_validator("file id"));
  cp->add_option("--from", args->list, "Copy every id of LIST too (one a line; # comments); - reads standard input")
      ->type_name("LIST");
  cp->callback([args, cp, &action] {
    if (args->ids.empty() && args->list.empty()) throw CLI::RequiredError(cp->get_name() + ": ID... or --from LIST");
    action = [args] { return run_cp(*args); };
  });

  auto* extract = dat.add_subcommand(
      "extract", "Write the archive's files to DIR/files/0xXXXXXXXX, with DIR/index.jsonl and DIR/header.json");
  extract->add_option("ARCHIVE", args->archive, "Archive file")->required();
  extract->add_option("DIR", args->dir, "Folder to write (created; a non-empty one needs --force)")->required();
  extract->add_option("ID", args->ids, "Only these file ids")->check(u32_validator("file id"));
  extract->add_flag("--stored", args->stored, "Write the stored bytes (compressed bodies as they are)");
  extract->add_flag("--force", args->force, "Write into a folder that holds something");
  extract->callback([args, &action] { action = [args] { return run_extract(*args); }; });

  auto* pack = dat.add_subcommand("pack", "Write a new archive from a folder `dat extract` wrote");
  pack->add_option("DIR", args->dir, "Folder with index.jsonl, header.json and files/")->required();
  pack->add_option("-o,--output", args->output, "Archive to write (replaced whole)")->required()->type_name("ARCHIVE");
  pack->add_option("--block-size", args->block_size, "Block size; default: header.json's")->check(block_size_validator());
  pack->callback([args, &action] { action = [args] { return run_pack(*args); }; });
}

}  // namespace ravelin::tools
