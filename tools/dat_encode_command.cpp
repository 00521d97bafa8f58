// `ravelin-bake dat encode FILE.json|- [-o FILE.bin] [--type TYPE]`: a record's
// JSON document (as `dat show` prints it, edited or not) back to the record's
// bytes.
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>

#include "ravelin/common/file.h"
#include "ravelin/common/output_file.h"
#include "ravelin/dat/record_json.h"
#include "tools/commands.h"

namespace ravelin::tools {
namespace {

struct EncodeArgs {
  std::string input;
  std::string output;
  std::string type_text;  // empty: from the document's id
};

int run_encode(const EncodeArgs& args) {
  const bool from_stdin = args.input == "-";
  const std::string source = from_stdin ? std::string("standard input") : common::display_path(args.input);
  auto text = common::read_whole_file(std::filesystem::path(from_stdin ? std::string("/dev/stdin") : args.input));
  if (!text) return fail(source + ": " + text.error().to_string());
  std::optional<dat::RecordType> type;
  if (!args.type_text.empty()) type = dat::parse_record_type(args.type_text);  // checked while parsing
  const std::string_view json(reinterpret_cast<const char*>(text->data()), text->size());
  auto bytes = dat::encode_record_json(type, json);
  if (!bytes) return fail(source + ": " + bytes.error().to_string());
  if (!args.output.empty()) {
    if (auto r = common::write_output_file(args.output, *bytes); !r) return fail(r.error().to_string());
    return 0;
  }
  if (!bytes->empty() && std::fwrite(bytes->data(), 1, bytes->size(), stdout) != bytes->size())
    return fail("IO error: failed to write standard output");
  return std::fflush(stdout) == 0 ? 0 : fail("IO error: failed to write standard output");
}

}  // namespace

void add_dat_encode_command(CLI::App& dat, Action& action) {
  auto args = std::make_shared<EncodeArgs>();
  auto* encode = dat.add_subcommand(
      "encode", "Encode a record's JSON document (as `show` prints it) to the record's bytes");
  encode->add_option("FILE", args->input, "The JSON document; - reads standard input")->required();
  encode->add_option("-o,--output", args->output, "Write to FILE instead of standard output");
  encode
      ->add_option("--type", args->type_text,
                   "Encode as TYPE (" + dat::record_type_names() +
                       "); default: from the document's id, as `show` picks it (an id such as 0x0201FFFF names a "
                       "cell-landblock in a cell archive and a setup elsewhere: give TYPE)")
      ->check(CLI::Validator(
          [](std::string& text) {
            return dat::parse_record_type(text)
                       ? std::string()
                       : "not a record type: " + text + " (one of " + dat::record_type_names() + ")";
          },
          "TYPE"));
  encode->callback([args, &action] { action = [args] { return run_encode(*args); }; });
}

}  // namespace ravelin::tools
