// `ravelin-bake diff OLD_DIR NEW_DIR --out-dir OUT [--jobs N] [--region ID] [--no-sky] [--atlas]`: what
// changed between two client versions, written as OUT/files.jsonl, records.jsonl, landblocks.jsonl and
// summary.md (and with --atlas OUT/atlas.html, the new world with its changed landblocks marked). Each
// file is written under a temporary name and put in place once the diff is complete; nothing is written
// when an archive cannot be opened, and a write that fails leaves no file of this run half-written.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "ravelin/common/file_system.h"
#include "ravelin/common/output_file.h"
#include "ravelin/event_bake/diff_summary.h"
#include "ravelin/event_bake/world_diff.h"
#include "tools/commands.h"
#include "tools/draw/atlas.h"
#include "tools/json_lines_sink.h"

namespace ravelin::tools {
namespace {

struct DiffArgs {
  std::string old_dir;
  std::string new_dir;
  std::string out_dir;
  unsigned jobs = 0;
  std::string region_text = "0x13000000";
  bool no_sky = false;
  bool atlas = false;
};

draw::PatchChange patch_change(event_bake::LandblockChange change) {
  switch (change) {
    case event_bake::LandblockChange::Added: return draw::PatchChange::Added;
    case event_bake::LandblockChange::Removed: return draw::PatchChange::Removed;
    case event_bake::LandblockChange::Changed: break;
  }
  return draw::PatchChange::Changed;
}

// The page of the new world with the landblocks of landblocks.jsonl marked.
std::expected<void, std::string> write_patch_page(const DiffArgs& args, std::uint32_t region_did,
                                                  const event_bake::WorldDiffResult& result) {
  std::vector<draw::PatchLandblock> patch;
  patch.reserve(result.landblocks.size());
  for (const auto& l : result.landblocks)
    patch.push_back({l.landblock_id, patch_change(l.change), l.removed, l.added, l.caused_by});
  auto atlas = draw::patch_atlas(args.new_dir, patch, region_did);
  if (!atlas) return std::unexpected("atlas: " + atlas.error());
  if (auto r = draw::write_atlas_files(args.out_dir, *atlas); !r) return std::unexpected(r.error().to_string());
  return {};
}

// The output directory, made once both versions have opened (so that a bad
// version leaves no trace), as the first sink opens.
class OutputFolder final : public common::Sink<event_bake::FileDiff> {
 public:
  explicit OutputFolder(common::Path dir) : dir_(std::move(dir)), files_(common::join_path(dir_, "files.jsonl")) {}
  common::SinkResult open() override {
    if (auto r = common::create_directories_synced(dir_); !r)
      return std::unexpected(common::FileError{"create", dir_, r.error()}.to_string());
    return files_.open();
  }
  common::SinkResult add(const event_bake::FileDiff& item) override { return files_.add(item); }
  common::SinkResult finish(const common::JobEnd& end) override { return files_.finish(end); }
  void abandon() override { files_.abandon(); }

 private:
  common::Path dir_;
  JsonLinesSink<event_bake::FileDiff> files_;
};

int run_diff(const DiffArgs& args) {
  event_bake::WorldDiffOptions options;
  options.old_dir = args.old_dir;
  options.new_dir = args.new_dir;
  options.jobs = args.jobs;
  options.region_did = parse_u32(args.region_text).value_or(dat::kDefaultRegionId);
  options.bake_sky = !args.no_sky;

  const common::Path out = args.out_dir;
  OutputFolder files(out);
  JsonLinesSink<event_bake::RecordDiff> records(common::join_path(out, "records.jsonl"));
  JsonLinesSink<event_bake::LandblockDiff> landblocks(common::join_path(out, "landblocks.jsonl"));
  const auto result = event_bake::diff_worlds(options, {&files, &records, &landblocks});
  if (!result) return fail(result.error());
  if (auto r = common::write_output_file(common::join_path(out, "summary.md"), event_bake::diff_summary_markdown(*result));
      !r)
    return fail(r.error().to_string());
  std::string atlas_note;
  if (args.atlas) {
    if (auto drawn = write_patch_page(args, options.region_did, *result); !drawn) return fail(drawn.error());
    atlas_note = "; atlas: " + common::display_path(common::join_path(out, "atlas.html"));
  }
  std::printf("%s; written to %s%s\n", event_bake::diff_summary_line(*result).c_str(),
              common::display_path(args.out_dir).c_str(), atlas_note.c_str());
  return std::fflush(stdout) == 0 ? 0 : fail("IO error: failed to write standard output");
}

}  // namespace

void add_diff_command(CLI::App& app, Action& action) {
  auto args = std::make_shared<DiffArgs>();
  auto* cmd = app.add_subcommand("diff", "What changed between two client versions: files, records and landblocks");
  cmd->add_option("OLD_DIR", args->old_dir, "Directory of the old version's client_portal.dat and client_cell_1.dat")
      ->required();
  cmd->add_option("NEW_DIR", args->new_dir, "Directory of the new version's archives")->required();
  cmd->add_option("--out-dir", args->out_dir, "Directory for files.jsonl, records.jsonl, landblocks.jsonl, summary.md")
      ->required();
  cmd->add_option("--jobs", args->jobs, "Worker threads (default: one per core)")->check(CLI::Range(1u, 1024u));
  cmd->add_option("--region", args->region_text, "Region file id (default 0x13000000)")
      ->check(u32_validator("region id"));
  cmd->add_flag("--no-sky", args->no_sky, "Leave out the sky particle chain");
  cmd->add_flag("--atlas", args->atlas,
                "Also write OUT/atlas.html: the new world's map with the changed, added and removed landblocks marked");
  cmd->callback([args, &action] { action = [args] { return run_diff(*args); }; });
}

}  // namespace ravelin::tools
