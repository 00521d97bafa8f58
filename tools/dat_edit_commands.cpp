// `ravelin-bake dat put|rm|compact|check`: changing an archive in place (a
// batch of puts or removes published by one commit), rewriting it whole, and
// checking its structure. `dat put --json` puts a record from its document.
#include "tools/dat_edit_commands.h"

#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ravelin/common/file.h"
#include "ravelin/common/id_text.h"
#include "ravelin/dat/archive_check.h"
#include "ravelin/dat/archive_compact.h"
#include "ravelin/dat/archive_editor.h"
#include "ravelin/dat/record_put.h"
#include "tools/commands.h"
#include "tools/dat_record_edit_command.h"

namespace ravelin::tools {
namespace {

constexpr std::string_view kStdin = "-";

struct EditArgs {
  std::string archive;
  std::string id_text;
  std::string file;
  std::string list;
  std::string json_document;  // put --json: the record's document (- reads standard input)
  bool compressed = false;
  std::string flags;
  std::string timestamp;
  std::string file_version;
  std::vector<std::string> ids;
  std::string output;
  bool json = false;
};

// One file of a put: its id and where its bytes come from.
struct PutSource {
  std::uint32_t id = 0;
  std::string path;
  bool from_stdin = false;  // FILE was "-"; the paths of a list are always paths
};

common::FileResult<std::vector<std::uint8_t>> read_input(const std::string& path, bool from_stdin) {
  auto bytes = common::default_file_system().read_whole(from_stdin ? "/dev/stdin" : path);
  if (!bytes) return std::unexpected(common::FileError{"read", from_stdin ? "standard input" : path, bytes.error()});
  return std::move(*bytes);
}

std::string_view trim(std::string_view text) {
  const auto first = text.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// A --from list that does not parse: the message names the list and the line.
struct ListProblem {
  std::string text;
};

// Lines "ID PATH" (the path is the rest of the line, so it may hold blanks);
// blank lines and lines starting with '#' are skipped. An id given twice would
// make the batch depend on the line order, so it is refused.
std::expected<std::vector<PutSource>, ListProblem> parse_put_list(std::string_view list_name, std::string_view text) {
  std::vector<PutSource> out;
  std::map<std::uint32_t, std::size_t> line_of_id;
  std::size_t number = 0;
  while (!text.empty()) {
    ++number;
    const std::size_t end = text.find('\n');
    const std::string_view line = trim(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (line.empty() || line.front() == '#') continue;
    const auto where = [&] { return std::string(list_name) + " line " + std::to_string(number) + ": "; };
    const std::size_t gap = line.find_first_of(" \t");
    const std::string_view id_text = line.substr(0, gap);
    const std::string_view path = gap == std::string_view::npos ? std::string_view() : trim(line.substr(gap));
    const auto id = parse_u32(id_text);
    if (!id) return std::unexpected(ListProblem{where() + "not a 32-bit file id: " + std::string(id_text)});
    if (path.empty()) return std::unexpected(ListProblem{where() + "no file after the id (lines are `ID PATH`)"});
    if (const auto [it, added] = line_of_id.emplace(*id, number); !added)
      return std::unexpected(ListProblem{where() + "file id " + common::hex_id(*id) + " is already put on line " +
                                         std::to_string(it->second)});
    out.push_back({*id, std::string(path)});
  }
  return out;
}

std::string count_of(std::uint64_t n, std::string_view one, std::string_view many) {
  return std::to_string(n) + " " + std::string(n == 1 ? one : many);
}

// What a commit did with the archive's blocks, for the line put and rm print.
std::string blocks_text(const dat::CommitStats& stats) {
  std::string text = count_of(stats.blocks_written, "block", "blocks") + " written (" +
                     std::to_string(stats.blocks_reused) + " reused, " + std::to_string(stats.blocks_appended) +
                     " appended), " + std::to_string(stats.blocks_freed) + " freed, " +
                     std::to_string(stats.blocks_reclaimed) + " reclaimed";
  if (stats.blocks_left_leaked != 0)
    text += ", " + std::to_string(stats.blocks_left_leaked) + " left for a later commit (readers had it open)";
  return text;
}

std::optional<std::uint32_t> given_u32(const std::string& text) {
  if (text.empty()) return std::nullopt;
  return parse_u32(text);  // checked while parsing
}

dat::PutOptions put_options(const EditArgs& args) {
  return dat::PutOptions{.compress = args.compressed,
                         .flags = given_u32(args.flags),
                         .timestamp = given_u32(args.timestamp),
                         .version = given_u32(args.file_version)};
}

// One record from its document: encoded as the type the archive reads the id
// as, put keeping the replaced entry's compression and fields.
int run_put_json(const EditArgs& args) {
  const std::uint32_t id = parse_u32(args.id_text).value_or(0);  // checked while parsing
  const bool from_stdin = args.json_document == kStdin;
  auto editor = dat::ArchiveEditor::open(args.archive);
  if (!editor) return fail(editor.error().to_string());
  auto text = read_input(args.json_document, from_stdin);
  if (!text) return fail(text.error().to_string());
  const bool added = !editor->find(id);
  const std::string_view json(reinterpret_cast<const char*>(text->data()), text->size());
  if (auto put = dat::put_record_json(*editor, id, json, put_options(args)); !put) {
    if (put.error().document_error() == nullptr) return fail(put.error().to_string());
    return fail((from_stdin ? std::string("standard input") : common::display_path(args.json_document)) + ": " +
                put.error().to_string());
  }
  auto stats = editor->commit();
  if (!stats) return fail(stats.error().to_string());
  std::fprintf(stderr, "%s\n", put_summary(args.archive, 1, added ? 1 : 0, *stats).c_str());
  return 0;
}

int run_put(const EditArgs& args) {
  std::vector<PutSource> sources;
  if (!args.list.empty()) {
    const bool from_stdin = args.list == kStdin;
    auto text = read_input(args.list, from_stdin);
    if (!text) return fail(text.error().to_string());
    auto parsed = parse_put_list(from_stdin ? "standard input" : args.list,
                                 std::string_view(reinterpret_cast<const char*>(text->data()), text->size()));
    if (!parsed) {
      std::fprintf(stderr, "error: %s\n", parsed.error().text.c_str());
      return 2;
    }
    sources = std::move(*parsed);
  } else {
    sources.push_back({parse_u32(args.id_text).value_or(0), args.file, args.file == kStdin});
  }
  const dat::PutOptions options = put_options(args);

  // The archive is opened (and locked) before the inputs are read: a refused
  // or busy archive is named before any large input is read.
  auto editor = dat::ArchiveEditor::open(args.archive);
  if (!editor) return fail(editor.error().to_string());
  std::uint64_t added = 0;
  for (const PutSource& source : sources) {
    auto bytes = read_input(source.path, source.from_stdin);
    if (!bytes) return fail(bytes.error().to_string());
    if (!editor->find(source.id)) ++added;
    if (auto r = editor->put(source.id, *bytes, options); !r) return fail(r.error().to_string());
  }
  auto stats = editor->commit();
  if (!stats) return fail(stats.error().to_string());
  std::fprintf(stderr, "%s\n", put_summary(args.archive, sources.size(), added, *stats).c_str());
  return 0;
}

int run_rm(const EditArgs& args) {
  auto editor = dat::ArchiveEditor::open(args.archive);
  if (!editor) return fail(editor.error().to_string());
  for (const std::string& text : args.ids)
    if (auto r = editor->remove(parse_u32(text).value_or(0)); !r) return fail(r.error().to_string());
  auto stats = editor->commit();
  if (!stats) return fail(stats.error().to_string());
  std::fprintf(stderr, "removed %s from %s: %s\n", count_of(args.ids.size(), "file", "files").c_str(),
               common::display_path(args.archive).c_str(), blocks_text(*stats).c_str());
  return 0;
}

int run_compact(const EditArgs& args) {
  std::optional<common::Path> out;
  if (!args.output.empty()) out = args.output;
  auto stats = dat::compact_archive(args.archive, out);
  if (!stats) return fail(stats.error().to_string());
  std::fprintf(stderr, "compacted %s%s: %s in %s (depth %u), %ju bytes before, %ju after\n",
               common::display_path(args.archive).c_str(), out ? (" into " + common::display_path(*out)).c_str() : "",
               count_of(stats->entries, "entry", "entries").c_str(), count_of(stats->nodes, "node", "nodes").c_str(),
               stats->depth, static_cast<std::uintmax_t>(stats->length_before),
               static_cast<std::uintmax_t>(stats->length_after));
  return 0;
}

int run_check(const EditArgs& args) {
  auto report = dat::check_archive(args.archive);
  if (!report) {
    if (report.error().kind() == dat::DatError::Kind::PathError) return fail(report.error().to_string());
    return fail(common::display_path(args.archive) + ": " + report.error().to_string());
  }
  const std::string text = args.json ? dat::check_report_json_lines(*report) : dat::check_report_text(*report);
  if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0)
    return fail("IO error: failed to write standard output");
  if (!report->has_faults()) return 0;
  std::size_t faults = 0;
  for (const dat::CheckFinding& f : report->findings) faults += f.severity == dat::FindingSeverity::Fault;
  return fail(common::display_path(args.archive) + " has " + count_of(faults, "fault", "faults"));
}

CLI::Validator file_id_validator() { return u32_validator("file id"); }

}  // namespace

std::string put_summary(const common::Path& archive, std::uint64_t files, std::uint64_t added,
                        const dat::CommitStats& stats) {
  return "put " + count_of(files, "file", "files") + " into " + common::display_path(archive) + " (" +
         std::to_string(added) + " new, " + std::to_string(files - added) + " replaced): " + blocks_text(stats);
}

void add_dat_edit_commands(CLI::App& dat, Action& action) {
  auto args = std::make_shared<EditArgs>();
  dat.description("Inspect, change and check a DAT archive");

  auto* put = dat.add_subcommand(
      "put",
      "Add or replace files, one commit: ARCHIVE ID FILE (- reads standard input), ARCHIVE --from LIST, or "
      "ARCHIVE ID --json FILE.json (a record from its JSON document)");
  put->add_option("ARCHIVE", args->archive, "Archive file")->required();
  auto* id = put->add_option("ID", args->id_text, "File id, 0x hexadecimal or decimal")->check(file_id_validator());
  auto* file = put->add_option("FILE", args->file, "The file's new bytes; - reads standard input")->type_name("FILE");
  auto* from = put->add_option("--from", args->list,
                               "Put every file of LIST (lines `ID PATH`; blank lines and # comments skipped) in "
                               "one commit; - reads standard input")
                   ->type_name("LIST");
  from->excludes(id);
  id->excludes(from);
  auto* json = put->add_option("--json", args->json_document,
                               "Put record ID from its JSON document (as `show` prints it), encoded as the type the "
                               "archive reads ID as; a replaced entry keeps its compression and fields; - reads "
                               "standard input")
                   ->type_name("FILE.json");
  put->add_flag("--compressed", args->compressed, "Store the bodies compressed");
  put->add_option("--flags", args->flags,
                  "bit_flags but bit 0 (which --compressed sets); default: the replaced "
                  "entry's, else 0")
      ->check(u32_validator("number"))
      ->type_name("N");
  put->add_option("--timestamp", args->timestamp, "Entry timestamp; default: the replaced entry's, else 0")
      ->check(u32_validator("number"))
      ->type_name("N");
  put->add_option("--file-version", args->file_version, "Entry version; default: the replaced entry's, else 0")
      ->check(u32_validator("number"))
      ->type_name("N");
  put->callback([args, put, id, file, from, json, &action] {
    if (json->count() != 0) {
      // Checked here rather than with excludes(), which would list --json on
      // the help lines of FILE and --from.
      if (file->count() != 0) throw CLI::ExcludesError(json->get_name(), "FILE");
      if (from->count() != 0) throw CLI::ExcludesError(json->get_name(), from->get_name());
      if (id->count() == 0) throw CLI::RequiredError(put->get_name() + ": ID with --json FILE.json");
      action = [args] { return run_put_json(*args); };
      return;
    }
    if (args->list.empty() && (id->count() == 0 || file->count() == 0))
      throw CLI::RequiredError(put->get_name() + ": ID and FILE, or --from LIST");
    action = [args] { return run_put(*args); };
  });

  auto* rm = dat.add_subcommand("rm", "Remove files, one commit (an id that is not there: an error, nothing removed)");
  rm->add_option("ARCHIVE", args->archive, "Archive file")->required();
  rm->add_option("ID", args->ids, "File ids, 0x hexadecimal or decimal")->required()->check(file_id_validator());
  rm->callback([args, &action] { action = [args] { return run_rm(*args); }; });

  auto* compact = dat.add_subcommand("compact", "Rewrite the archive with no free blocks and a fresh directory");
  compact->add_option("ARCHIVE", args->archive, "Archive file")->required();
  compact->add_option("-o,--output", args->output, "Write the compacted archive to OUT; the archive stays as it is")
      ->type_name("OUT");
  compact->callback([args, &action] { action = [args] { return run_compact(*args); }; });

  auto* check = dat.add_subcommand("check", "Check the archive's whole structure: one line per finding, then totals");
  check->add_option("ARCHIVE", args->archive, "Archive file")->required();
  check->add_flag("--json", args->json, "JSON Lines: one object per finding, then the totals");
  check->callback([args, &action] { action = [args] { return run_check(*args); }; });

  add_dat_record_edit_command(dat, action);
}

}  // namespace ravelin::tools
