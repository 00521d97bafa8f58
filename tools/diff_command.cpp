// `ravelin-bake diff OLD_DIR NEW_DIR --out-dir OUT [--jobs N] [--region ID] [--no-sky] [--atlas]`: what
// changed between two client versions, written as OUT/files.jsonl, records.jsonl, landblocks.jsonl and
// summary.md (and with --atlas OUT/atlas.html, the new world with its changed landblocks marked). Each file is written under a temporary name and renamed once complete; nothing is
// written when an archive cannot be opened.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "ravelin/common/file.h"
#include "ravelin/event_bake/diff_summary.h"
#include "ravelin/event_bake/world_diff.h"
#include "tools/commands.h"
#include "tools/draw/atlas.h"

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
  return draw::write_patch_atlas(args.new_dir, args.out_dir, patch, region_did);
}

// An output file written line by line under "NAME.partial", renamed to NAME
// by finish(); the first failure is kept.
class PendingFile {
 public:
  PendingFile(const std::filesystem::path& dir, const std::string& name)
      : path_(dir / name), partial_(dir / ("." + name + ".partial")) {
    file_ = std::fopen(partial_.c_str(), "wb");
    if (file_ == nullptr) fail_with_errno("open");
  }
  ~PendingFile() {
    if (file_ != nullptr) std::fclose(file_);
  }
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  void write(const std::string& text) {
    if (file_ != nullptr && error_.empty() && std::fwrite(text.data(), 1, text.size(), file_) != text.size())
      fail_with_errno("write");
  }
  void line(const std::string& text) { write(text + '\n'); }

  // The error text, empty on success.
  std::string finish() {
    if (file_ != nullptr) {
      if (std::fclose(file_) != 0 && error_.empty()) fail_with_errno("write");
      file_ = nullptr;
    }
    if (error_.empty()) {
      std::error_code ec;
      std::filesystem::rename(partial_, path_, ec);
      if (ec) error_ = "IO error: rename " + common::display_path(partial_) + ": " + ec.message();
    }
    return error_;
  }

 private:
  void fail_with_errno(const char* what) {
    if (error_.empty()) error_ = std::string("IO error: ") + what + " " + common::display_path(partial_) + ": " + std::strerror(errno);
  }

  std::filesystem::path path_;
  std::filesystem::path partial_;
  std::FILE* file_ = nullptr;
  std::string error_;
};

int run_diff(const DiffArgs& args) {
  event_bake::WorldDiffOptions options;
  options.old_dir = args.old_dir;
  options.new_dir = args.new_dir;
  options.jobs = args.jobs;
  options.region_did = parse_u32(args.region_text).value_or(dat::kDefaultRegionId);
  options.bake_sky = !args.no_sky;

  // The output files are made only once both versions have opened, so a bad
  // directory leaves OUT as it was.
  std::vector<std::unique_ptr<PendingFile>> outputs;
  auto output = [&](const char* name) -> PendingFile& {
    if (outputs.empty()) {
      std::error_code ec;
      std::filesystem::create_directories(args.out_dir, ec);
    }
    return *outputs.emplace_back(std::make_unique<PendingFile>(args.out_dir, name));
  };
  PendingFile* files = nullptr;
  PendingFile* records = nullptr;
  PendingFile* landblocks = nullptr;
  auto ensure_open = [&] {
    if (files != nullptr) return;
    files = &output("files.jsonl");
    records = &output("records.jsonl");
    landblocks = &output("landblocks.jsonl");
  };
  event_bake::WorldDiffSinks sinks;
  sinks.file = [&](const event_bake::FileDiff& f) {
    ensure_open();
    files->line(f.to_json_line());
  };
  sinks.record = [&](const event_bake::RecordDiff& r) {
    ensure_open();
    records->line(r.to_json_line());
  };
  sinks.landblock = [&](const event_bake::LandblockDiff& l) {
    ensure_open();
    landblocks->line(l.to_json_line());
  };
  const auto result = event_bake::diff_worlds(options, sinks);
  if (!result) return fail(result.error());
  ensure_open();
  output("summary.md").write(event_bake::diff_summary_markdown(*result));
  for (auto& file : outputs)
    if (const std::string error = file->finish(); !error.empty()) return fail(error);
  std::string atlas_note;
  if (args.atlas) {
    if (auto drawn = write_patch_page(args, options.region_did, *result); !drawn) return fail("atlas: " + drawn.error());
    atlas_note = "; atlas: " + common::display_path(std::filesystem::path(args.out_dir) / "atlas.html");
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
