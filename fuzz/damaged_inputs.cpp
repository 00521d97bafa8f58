// Writes the damaged-input cases for the ravelin-bake suite:
//   ravelin_damaged_inputs DIR
// Each case is a DAT directory DIR/<case>/ (the small sample world with one
// thing broken) and a line of DIR/cases.tsv:
//   name TAB status TAB expected TAB bake arguments (TAB separated)
// where status is 0, 1 or "any" (0 or 1), and `expected` is text the one
// "error: " line must contain ("-" for none). Each case also gets a line
// "diff_<case>" running `diff` from an intact copy of the world to the case's
// directory: it fails only when an archive does not open.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "ravelin/common/file.h"
#include "fuzz/fuzz_support.h"
#include "dat_writer/archive_writer.h"
#include "ravelin/dat/compress.h"
#include "dat_writer/region_encoder.h"

namespace {

using namespace ravelin;
using Files = std::vector<fuzz::ArchiveFile>;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kRegionId = 0x13000000;
constexpr std::uint32_t kCellId = 0xA9B4FFFF;
constexpr std::uint32_t kInfoId = 0xA9B4FFFE;
constexpr std::uint32_t kBlockSize = 256;

struct World {
  Files portal;
  Files cell;
  std::string spawns;
  std::string setup_table;
};

// Archive images of `files`, with a hook to break the laid-out bytes.
struct Images {
  Bytes portal;
  Bytes cell;
};

dat_writer::ArchiveLayout layout_of(const Files& files, const std::function<void(dat_writer::ArchiveWriter&)>& extra = {}) {
  dat_writer::ArchiveWriter w({.block_size = kBlockSize, .entries_per_node = 16});
  for (const auto& f : files) w.add_file(f.id, f.bytes, {.compressed = f.compressed});
  if (extra) extra(w);
  return w.build();
}

std::size_t index_of(const Files& files, std::uint32_t id) {
  for (std::size_t i = 0; i < files.size(); ++i)
    if (files[i].id == id) return i;
  std::fprintf(stderr, "file %08X not in the sample world\n", id);
  std::abort();
}

void put_u32(Bytes& bytes, std::size_t at, std::uint32_t value) {
  if (at + 4 <= bytes.size()) dat_writer::patch_u32(bytes, at, value);
}

class CaseWriter {
 public:
  CaseWriter(std::filesystem::path root, World world) : root_(std::move(root)), world_(std::move(world)) {
    tsv_.open(root_ / "cases.tsv");
  }

  const World& world() const { return world_; }
  Bytes portal_image() const { return layout_of(world_.portal).bytes; }
  Bytes cell_image() const { return layout_of(world_.cell).bytes; }

  // Writes one case; `spawns` selects the spawns-manifest source.
  void add(const std::string& name, const std::string& status, const std::string& expected, const Bytes& portal,
           const Bytes& cell, bool spawns = false, const std::string* spawns_text = nullptr,
           const Bytes* setup_table = nullptr, bool opens = true) {
    const std::filesystem::path dir = root_ / name;
    std::filesystem::create_directories(dir / "spawns");
    write(dir / "client_portal.dat", portal);
    write(dir / "client_cell_1.dat", cell);
    const std::string& text = spawns_text ? *spawns_text : world_.spawns;
    write(dir / "spawns" / "0xA9B4.spawns.jsonl", Bytes(text.begin(), text.end()));
    write(dir / "spawns" / "wcid_to_setup.json",
          setup_table ? *setup_table : Bytes(world_.setup_table.begin(), world_.setup_table.end()));
    line(name, status, expected, dir, spawns, opens);
  }

  // A case whose directory the caller prepares (missing or odd DAT paths).
  void line(const std::string& name, const std::string& status, const std::string& expected,
            const std::filesystem::path& dir, bool spawns = false, bool opens = true) {
    tsv_ << name << '\t' << status << '\t' << (expected.empty() ? "-" : expected) << "\tbake\t--dat-dir\t" << dir.string()
         << "\t--landblock\t0xA9B4";
    if (spawns) {
      tsv_ << "\t--spawns-dir\t" << (dir / "spawns").string() << "\t--setup-table\t"
           << (dir / "spawns" / "wcid_to_setup.json").string();
    }
    tsv_ << '\n';
    // The same directory as the new side of a diff (spawns play no part there).
    tsv_ << "diff_" << name << '\t' << (opens ? "0\t-" : "1\tnew: open client_") << "\tdiff\t" << intact().string()
         << '\t' << dir.string() << "\t--out-dir\t" << (root_ / (name + ".diff")).string() << "\t--jobs\t2\n";
  }

  const std::filesystem::path& root() const { return root_; }

  // The undamaged world, written on first use.
  const std::filesystem::path& intact() {
    if (intact_.empty()) {
      intact_ = root_ / "intact";
      std::filesystem::create_directories(intact_);
      write(intact_ / "client_portal.dat", portal_image());
      write(intact_ / "client_cell_1.dat", cell_image());
    }
    return intact_;
  }

 private:
  static void write(const std::filesystem::path& path, const Bytes& bytes) {
    if (!common::write_whole_file(path, bytes)) {
      std::fprintf(stderr, "cannot write %s\n", path.c_str());
      std::exit(1);
    }
  }

  std::filesystem::path root_;
  std::filesystem::path intact_;
  World world_;
  std::ofstream tsv_;
};

// Portal archive broken in its container: header, directory and block chains.
void container_cases(CaseWriter& c) {
  const Bytes cell = c.cell_image();
  const Files& portal = c.world().portal;
  {
    Bytes short_header = c.portal_image();
    short_header.resize(0x150);
    c.add("archive_shorter_than_header", "1", "Binary read error", short_header, cell, false, nullptr, nullptr, false);
  }
  {
    dat_writer::ArchiveLayout l = layout_of(portal);
    put_u32(l.bytes, l.root_offset + 4, l.root_offset);  // branch 0 of the root is the root
    c.add("directory_node_cycle", "1", "Corruption detected", l.bytes, cell, false, nullptr, nullptr, false);
  }
  {
    dat_writer::ArchiveLayout l = layout_of(portal);
    put_u32(l.bytes, l.root_offset, 0xFFFFFF00);  // the root's chain leaves the file
    c.add("directory_chain_past_end", "1", "IO error: failed to fill whole buffer", l.bytes, cell, false, nullptr, nullptr,
          false);
  }
  const std::size_t region = index_of(portal, kRegionId);
  // A chain that loops back to its first block under an entry claiming the
  // whole archive: the walk ends at the archive's block count (or earlier,
  // when the size is filled), whatever the loop. The region may even decode
  // from the repeated bytes; a setup model is not required at all.
  const std::size_t first_setup = [&] {
    for (std::size_t i = 0; i < portal.size(); ++i)
      if (portal[i].id >> 24 == 0x02) return i;
    std::abort();
  }();
  for (const auto& [name, looped_index, status] : {std::tuple{"region_block_chain_cycle", region, "any"},
                                                   std::tuple{"setup_block_chain_cycle", first_setup, "0"}}) {
    const auto length = static_cast<std::uint32_t>(c.portal_image().size());
    dat_writer::ArchiveWriter w({.block_size = kBlockSize, .entries_per_node = 16});
    for (std::size_t i = 0; i < portal.size(); ++i) {
      dat_writer::FileOptions o{.compressed = portal[i].compressed};
      if (i == looped_index) o.size_override = length;
      w.add_file(portal[i].id, portal[i].bytes, o);
    }
    dat_writer::ArchiveLayout looped = w.build();
    const auto& blocks = looped.file_blocks[looped_index];
    put_u32(looped.bytes, blocks.back(), blocks.front());
    c.add(name, status, "", looped.bytes, cell);
  }
  {
    dat_writer::ArchiveLayout l = layout_of(portal);
    put_u32(l.bytes, l.file_blocks[region].front(), 0xFFFFFF00);
    c.add("region_chain_past_end", "1", "Region 0x13000000 missing from DAT", l.bytes, cell);
  }
  // Entries whose size is 4 GiB: the region is required, a setup model is not.
  for (const auto& [name, id, status, expected] :
       {std::tuple{"region_size_4gib", kRegionId, "1", "Region 0x13000000 missing from DAT"},
        std::tuple{"setup_size_4gib", 0u, "0", ""}}) {
    dat_writer::ArchiveWriter w({.block_size = kBlockSize, .entries_per_node = 16});
    bool done = false;
    for (const auto& f : portal) {
      dat_writer::FileOptions o{.compressed = f.compressed};
      const bool hit = id != 0 ? f.id == id : (!done && f.id >> 24 == 0x02);
      if (hit) o.size_override = 0xFFFFFFFF, done = true;
      w.add_file(f.id, f.bytes, o);
    }
    c.add(name, status, expected, w.build().bytes, cell);
  }
  // Compressed bodies declaring 4 GiB: the output stops with the stream.
  for (const auto& [name, required] : {std::pair{"region_declares_4gib", true}, std::pair{"setups_declare_4gib", false}}) {
    dat_writer::ArchiveWriter w({.block_size = kBlockSize, .entries_per_node = 16});
    for (const auto& f : portal) {
      if (required ? f.id == kRegionId : f.id >> 24 == 0x02) {
        Bytes body = dat::compress_lrs(f.bytes).value();
        dat_writer::patch_u32(body, 0, 0xFFFFFFFF);
        w.add_file(f.id, body, {.compressed = true, .raw = true});
      } else {
        w.add_file(f.id, f.bytes, {.compressed = f.compressed});
      }
    }
    c.add(name, "any", "", w.build().bytes, cell);
  }
}

// Counts of 0xFFFFFFFF. Required files end the bake with their Parse error;
// per-object files only shrink the result.
void count_cases(CaseWriter& c) {
  const World& world = c.world();
  const Bytes portal_image = c.portal_image();
  const Bytes cell_image = c.cell_image();
  {
    dat_writer::RegionDef def;
    def.game_time.times_of_day = {{}, {}};
    def.game_time.seasons = {{}};
    def.sky = dat_writer::SkyDescDef{};
    def.sky->day_groups = {{}};
    def.sky->day_groups[0].sky_objects = {{}};
    def.sky->day_groups[0].sky_times = {{}};
    def.sky->day_groups[0].sky_times[0].entries = {{}};
    def.sound = dat_writer::SoundDescDef{};
    def.sound->tables = {{}};
    def.scene = dat_writer::SceneDescDef{};
    def.scene->scene_types = {{}};
    def.terrain.terrain_types = {{}};
    dat_writer::CountOffsets counts;
    const Bytes region = dat_writer::encode_region(def, &counts);
    for (std::size_t k = 0; k < counts.size(); ++k) {
      Files portal = world.portal;
      Bytes broken = region;
      dat_writer::patch_u32(broken, counts[k], 0xFFFFFFFF);
      portal[index_of(portal, kRegionId)].bytes = broken;
      c.add("region_count_" + std::to_string(k), "1", "parse Region 0x13000000", layout_of(portal).bytes,
            cell_image);
    }
  }
  {
    Files cell = world.cell;
    cell[index_of(cell, kCellId)].bytes.resize(100);
    c.add("cell_landblock_truncated", "1", "parse CellLandblock 0xA9B4FFFF", portal_image, layout_of(cell).bytes);
  }
  {
    Files cell = world.cell;
    put_u32(cell[index_of(cell, kInfoId)].bytes, 8, 0xFFFFFFFF);  // after id and num_cells
    c.add("landblock_info_object_count", "1", "parse LandblockInfo 0xA9B4FFFE", portal_image, layout_of(cell).bytes);
  }
  // Per-object records: the count's offset within each file.
  struct PerObject {
    const char* name;
    std::uint32_t top_byte;
    std::size_t count_at;
  };
  for (const PerObject& p : {PerObject{"setup_part_count", 0x02, 8}, PerObject{"motion_table_count", 0x09, 8},
                             PerObject{"animation_frame_count", 0x03, 12},
                             PerObject{"physics_script_count", 0x33, 4}}) {
    Files portal = world.portal;
    for (auto& f : portal)
      if (f.id >> 24 == p.top_byte) put_u32(f.bytes, p.count_at, 0xFFFFFFFF);
    c.add(p.name, "0", "", layout_of(portal).bytes, cell_image);
  }
  {
    Files portal = world.portal;
    for (auto& f : portal) {
      const std::uint32_t top = f.id >> 24;
      if (top == 0x02 || top == 0x03 || top == 0x09 || top == 0x33) f.bytes = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    }
    c.add("every_object_broken", "0", "", layout_of(portal).bytes, cell_image);
    c.add("every_object_broken_spawns", "0", "", layout_of(portal).bytes, cell_image, true);
  }
}

void path_and_text_cases(CaseWriter& c) {
  const Bytes portal = c.portal_image();
  const Bytes cell = c.cell_image();
  c.line("dat_dir_missing", "1", "open client_portal.dat", c.root() / "no-such-dir", false, false);
  {
    const std::filesystem::path dir = c.root() / "dat_path_is_directory";
    std::filesystem::create_directories(dir / "client_portal.dat");
    c.line("dat_path_is_directory", "1", "open client_portal.dat", dir, false, false);
  }
  const std::string table_error = "setup-table ";
  for (const auto& [name, text] : {std::pair{"setup_table_not_json", std::string("wcid -> setup")},
                                   std::pair{"setup_table_array", std::string("[{\"1\": 2}]")}}) {
    const Bytes table(text.begin(), text.end());
    c.add(name, "1", table_error, portal, cell, true, nullptr, &table);
  }
  {
    Bytes junk(64u << 20);
    std::uint32_t state = 12345;
    for (auto& b : junk) b = static_cast<std::uint8_t>((state = state * 1103515245u + 12345u) >> 24);
    c.add("setup_table_64mb_junk", "1", table_error, portal, cell, true, nullptr, &junk);
  }
  {
    std::string lines;
    lines.reserve(24u << 20);
    static constexpr const char* kGarbage[] = {"{\"wcid\": ", "]]]", "{\"wcid\": -7}", "{\"wcid\": 1e99}", "\xFF\xFE",
                                               "{\"wcid\": \"3\"}", "{", "null", "{\"wcid\": 18446744073709551616}"};
    for (std::size_t i = 0; i < 1000000; ++i) {
      lines += kGarbage[i % std::size(kGarbage)];
      lines += '\n';
    }
    c.add("spawns_million_garbage_lines", "0", "", portal, cell, true, &lines);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: ravelin_damaged_inputs DIR\n");
    return 2;
  }
  const std::filesystem::path root = argv[1];
  std::error_code ec;
  std::filesystem::remove_all(root, ec);
  std::filesystem::create_directories(root);
  const dat_writer::SampleWorld sample = dat_writer::build_sample_world(fuzz::small_world_params());
  World world{fuzz::archive_files(sample.portal), fuzz::archive_files(sample.cell), sample.spawns_jsonl,
              sample.setup_table_json};
  CaseWriter writer(root, std::move(world));
  container_cases(writer);
  count_cases(writer);
  path_and_text_cases(writer);
  return 0;
}
