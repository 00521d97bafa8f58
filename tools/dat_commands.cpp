// `ravelin-bake dat info|ls|get|show`: the archive header, the directory
// listing, single file bodies straight from the archive reader, and single
// records decoded to JSON.
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <unistd.h>

#include "ravelin/common/id_text.h"
#include "ravelin/common/file.h"
#include "ravelin/common/output_file.h"
#include "ravelin/dat/lib.h"
#include "ravelin/dat/record_json.h"
#include "tools/commands.h"

namespace ravelin::tools {
namespace {

struct DatArgs {
  std::string archive;
  std::string id_text;
  std::string output;
  std::string type_text;  // empty: none given
  bool compact = false;
  bool header = false;  // dat ls: a line naming the columns first
};

std::optional<dat::RecordType> given_type(const DatArgs& args) {
  if (args.type_text.empty()) return std::nullopt;
  return dat::parse_record_type(args.type_text);  // checked while parsing
}

CLI::Validator file_id_validator() {
  return CLI::Validator(
      [](std::string& text) { return parse_u32(text) ? std::string() : "not a 32-bit file id: " + text; }, "ID");
}

// Accepts the record type names only; anything else is a usage error.
CLI::Validator record_type_validator() {
  return CLI::Validator(
      [](std::string& text) {
        return dat::parse_record_type(text) ? std::string()
                                                   : "not a record type: " + text + " (one of " +
                                                         dat::record_type_names() + ")";
      },
      "TYPE");
}

// "truncated: header says N bytes, file has M" when the archive at `path` is
// shorter than its header's file_size; empty when it is not, or has no header.
std::string truncation(const std::string& path) {
  auto file = common::File::open_read_only(path);
  if (!file) return {};
  auto size = file->size();
  std::vector<std::uint8_t> bytes(dat::kHeaderOffset + dat::kHeaderSize);
  if (!size || !file->read_exact_at(0, bytes)) return {};
  common::Reader reader(bytes, dat::kHeaderOffset);
  auto header = dat::DatHeader::read(reader);
  if (!header || *size >= header->file_size) return {};
  return "truncated: header says " + std::to_string(header->file_size) + " bytes, file has " + std::to_string(*size);
}

// An archive that cannot be opened: the error, naming the file unless the
// error does already, and whether the file is cut short.
int fail_archive(const std::string& path, const dat::DatError& error) {
  if (error.kind() == dat::DatError::Kind::PathError) return fail(error.to_string());
  std::string text = common::display_path(path) + ": " + error.to_string();
  if (const std::string cut = truncation(path); !cut.empty()) text += " (" + cut + ")";
  return fail(text);
}

// An id the archive lacks: the library's text after the archive's name, as the
// other errors of these commands name their file.
int fail_missing(const std::string& path, const dat::DatError& error) {
  if (error.kind() == dat::DatError::Kind::NotFound)
    return fail(common::display_path(path) + ": " + error.to_string());
  return fail(error.to_string());
}

int run_info(const DatArgs& args) {
  auto db = dat::DatDatabase::open(args.archive);
  if (!db) return fail_archive(args.archive, db.error());
  for (const dat::DatHeaderField& field : dat::kDatHeaderFields)
    std::printf("%s: %s\n", std::string(field.name).c_str(), dat::header_field_text(db->header(), field).c_str());
  std::printf("entries: %zu\n", db->entry_count());
  // Block chains past the end of a cut-off archive fail only when read.
  if (const std::string cut = truncation(args.archive); !cut.empty())
    return fail(common::display_path(args.archive) + ": " + cut);
  return 0;
}

int run_ls(const DatArgs& args) {
  auto db = dat::DatDatabase::open(args.archive);
  if (!db) return fail_archive(args.archive, db.error());
  const auto type = given_type(args);
  const bool cell_archive = dat::is_cell_archive_path(args.archive);
  if (args.header) std::printf("id size flags\n");
  for (const dat::DatFileEntry& e : db->sorted_entries()) {
    if (type && dat::record_type_for_id(e.id, cell_archive) != type) continue;
    std::printf("0x%08X %u %u\n", e.id, e.size, e.bit_flags);
  }
  return 0;
}

int run_show(const DatArgs& args) {
  const std::uint32_t id = parse_u32(args.id_text).value_or(0);  // checked while parsing
  auto db = dat::DatDatabase::open(args.archive);
  if (!db) return fail_archive(args.archive, db.error());
  auto json = dat::show_record(*db, args.archive, id, given_type(args), args.compact);
  if (!json) {
    if (const dat::DatError* error = json.error().dat_error()) return fail_missing(args.archive, *error);
    return fail(json.error().to_string());
  }
  json->push_back('\n');
  if (std::fwrite(json->data(), 1, json->size(), stdout) != json->size() || std::fflush(stdout) != 0)
    return fail("IO error: failed to write standard output");
  return 0;
}

int run_get(const DatArgs& args) {
  const std::uint32_t id = parse_u32(args.id_text).value_or(0);  // checked while parsing
  auto db = dat::DatDatabase::open(args.archive);
  if (!db) return fail_archive(args.archive, db.error());
  auto bytes = db->get_file(id);
  if (!bytes) return fail_missing(args.archive, bytes.error());
  if (!args.output.empty()) {
    if (auto r = common::write_output_file(args.output, *bytes); !r) return fail(r.error().to_string());
    return 0;
  }
  if (!bytes->empty() && std::fwrite(bytes->data(), 1, bytes->size(), stdout) != bytes->size())
    return fail("IO error: failed to write standard output");
  return std::fflush(stdout) == 0 ? 0 : fail("IO error: failed to write standard output");
}

}  // namespace

void add_dat_commands(CLI::App& app, Action& action) {
  auto args = std::make_shared<DatArgs>();
  auto* dat = app.add_subcommand("dat", "Inspect a DAT archive");
  dat->require_subcommand(1);

  auto* info = dat->add_subcommand("info", "Print every header field and the entry count");
  info->add_option("ARCHIVE", args->archive, "Archive file")->required();
  info->callback([args, &action] { action = [args] { return run_info(*args); }; });

  auto* ls = dat->add_subcommand(
      "ls",
      "List the entries ascending by id, one a line: id (hexadecimal), size (stored bytes), flags (bit_flags; "
      "bit 0: stored compressed)");
  ls->add_option("ARCHIVE", args->archive, "Archive file")->required();
  ls->add_option("--type", args->type_text, "Only the ids that `show` reads as TYPE: " + dat::record_type_names())
      ->check(record_type_validator());
  ls->add_flag("--header", args->header, "Print the line \"id size flags\" first (the default on a terminal)");
  ls->callback([args, &action] {
    args->header = args->header || isatty(STDOUT_FILENO) == 1;
    action = [args] { return run_ls(*args); };
  });

  auto* get = dat->add_subcommand("get", "Write one file's bytes (decompressed) to stdout or a file");
  get->add_option("ARCHIVE", args->archive, "Archive file")->required();
  get->add_option("ID", args->id_text, "File id, 0x hexadecimal or decimal")
      ->required()
      ->check(file_id_validator());
  get->add_option("-o,--output", args->output, "Write to FILE instead of standard output");
  get->callback([args, &action] { action = [args] { return run_get(*args); }; });

  auto* show = dat->add_subcommand("show", "Decode one file and print it as a JSON document");
  show->add_option("ARCHIVE", args->archive, "Archive file")->required();
  show->add_option("ID", args->id_text, "File id, 0x hexadecimal or decimal")
      ->required()
      ->check(file_id_validator());
  show->add_option("--type", args->type_text,
                   "Decode as TYPE (" + dat::record_type_names() +
                       "); default: from the id (in client_cell*: ....FFFF cell-landblock, ....FFFE "
                       "landblock-info; elsewhere the top byte: 13 region, 02 setup, 09 motion-table, "
                       "03 animation, 33 physics-script)")
      ->check(record_type_validator());
  show->add_flag("--compact", args->compact, "One line instead of indented");
  show->callback([args, &action] { action = [args] { return run_show(*args); }; });
}

}  // namespace ravelin::tools
