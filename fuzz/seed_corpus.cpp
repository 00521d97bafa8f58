#include "fuzz/seed_corpus.h"

#include <cstdio>
#include <map>
#include <string_view>

#include "ravelin/common/file.h"
#include "fuzz/fuzz_support.h"
#include "dat_writer/archive_writer.h"
#include "dat_writer/byte_writer.h"
#include "ravelin/dat/compress.h"
#include "dat_writer/sample_world.h"
#include "ravelin/dat/record_json.h"

namespace ravelin::fuzz {
namespace {

std::vector<std::uint8_t> bytes_of(std::string_view text) { return {text.begin(), text.end()}; }

std::vector<std::uint8_t> prefixed(std::uint8_t first, std::span<const std::uint8_t> rest) {
  std::vector<std::uint8_t> out{first};
  out.insert(out.end(), rest.begin(), rest.end());
  return out;
}

std::vector<std::uint8_t> bake_input(std::uint8_t mode, std::size_t index, std::span<const std::uint8_t> content) {
  std::vector<std::uint8_t> out{mode, static_cast<std::uint8_t>(index), static_cast<std::uint8_t>(index >> 8)};
  out.insert(out.end(), content.begin(), content.end());
  return out;
}

// The decoder target of a file id, by the id ranges the sample world uses.
const char* decoder_target(std::uint32_t id, bool cell) {
  if (cell) return (id & 0xFFFF) == 0xFFFF ? "cell_landblock" : "landblock_info";
  if (id == 0x13000000) return "region";
  switch (id >> 24) {
    case 0x02: return "setup_model";
    case 0x03: return "animation";
    case 0x09: return "motion_table";
    case 0x33: return "physics_script";
    default: return nullptr;
  }
}

// Small archives: flat, a deep tree of tiny nodes over scattered chains, and
// an empty directory.
void add_archive_seeds(std::vector<Seed>& seeds) {
  const std::vector<std::uint8_t> body = bytes_of("archive body archive body archive body archive body");
  {
    dat_writer::ArchiveWriter w({.block_size = 64, .entries_per_node = 61});
    w.add_file(0x01000001, body);
    w.add_file(0x01000002, body, {.compressed = true});
    w.add_file(0x01000003, {});
    seeds.push_back({"dat_database", w.build().bytes});
  }
  {
    dat_writer::ArchiveWriter w({.block_size = 32, .entries_per_node = 1, .node_layout = dat_writer::ChainLayout::Scattered});
    for (std::uint32_t i = 0; i < 4; ++i) {
      w.add_file(0x02000000 + i, body,
                 {.compressed = i % 2 == 1, .layout = i == 2 ? dat_writer::ChainLayout::OversizedLast
                                                             : dat_writer::ChainLayout::Reversed});
    }
    seeds.push_back({"dat_database", w.build().bytes});
  }
  seeds.push_back({"dat_database", dat_writer::ArchiveWriter({.block_size = 16}).build().bytes});
  // The check sees the reader's archives, and ones with a free list, unused
  // blocks and bytes past file_size.
  for (const Seed& seed : std::vector<Seed>(seeds.end() - 3, seeds.end())) seeds.push_back({"archive_check", seed.bytes});
  {
    dat_writer::ArchiveWriter w({.block_size = 64, .entries_per_node = 3});
    for (std::uint32_t i = 0; i < 12; ++i)
      w.add_file(0x03000000 + i, body, {.compressed = i % 3 == 0, .layout = i % 4 == 1 ? dat_writer::ChainLayout::Scattered
                                                                                       : dat_writer::ChainLayout::Contiguous});
    dat_writer::ArchiveLayout a = w.build();
    // The first unused block of file 1's scattered chain is the free list.
    const std::uint32_t free_block = a.file_blocks[1][0] + 64;
    dat_writer::patch_u32(a.bytes, free_block, 0);
    dat_writer::patch_u32(a.bytes, 0x154, free_block);
    dat_writer::patch_u32(a.bytes, 0x158, free_block);
    dat_writer::patch_u32(a.bytes, 0x15C, 1);
    a.bytes.resize(a.bytes.size() + 100, 0);
    seeds.push_back({"archive_check", a.bytes});
  }
}

void add_text_seeds(std::vector<Seed>& seeds) {
  const std::vector<std::vector<std::uint8_t>> texts = {
      bytes_of("plain"),
      {'c', 'a', 'f', 0xE9, 0x80, 0x9F},           // windows-1252 high bytes
      {0xEF, 0xBB, 0xBF, 'u', 0xC3, 0xA9, 0xFF},   // UTF-8 mark, then a bad byte
      {0xFF, 0xFE, 'a', 0, 0x3D, 0xD8, 0x00, 0xDE},  // UTF-16LE with a surrogate pair
      {0xFE, 0xFF, 0, 'b', 0xDC, 0x00},             // UTF-16BE with a lone low surrogate
  };
  for (std::uint8_t width_index = 0; width_index < 4; ++width_index) {
    for (const auto& text : texts) {
      dat_writer::ByteWriter w;
      w.u8(width_index);
      const auto n = static_cast<std::uint32_t>(text.size());
      if (width_index == 0) w.u8(static_cast<std::uint8_t>(n));
      else if (width_index == 1) w.u16(static_cast<std::uint16_t>(n));
      else w.u32(n);
      w.bytes(text);
      seeds.push_back({"read_pstring", w.take()});
    }
  }
}

void add_lz_seeds(std::vector<Seed>& seeds, std::span<const std::uint8_t> sample) {
  const std::vector<std::uint8_t> runs = bytes_of("aaaaaaaaaaaaaaaaaaaaaaaaabcabcabcabcabcabcabc-xyz");
  seeds.push_back({"decompress_lrs", prefixed(0, dat::compress_lrs(runs).value())});
  seeds.push_back({"decompress_lrs", prefixed(0, dat::compress_lrs(sample).value())});
  seeds.push_back({"decompress_lrs", prefixed(1, runs)});
  // An overlapping copy, and the end marker.
  seeds.push_back({"decompress_lrs", {0, 18, 0, 0, 0, 0x40, 'X', 0x01, 0x0F}});
  seeds.push_back({"decompress_lrs", {0, 9, 0, 0, 0, 0x40, 'Y', 0x00, 0x00, 'Z'}});
  for (const auto& input : {runs, bytes_of("abc"), bytes_of("a"), std::vector<std::uint8_t>(sample.begin(), sample.end())})
    seeds.push_back({"compress_lrs", input});
}

void add_json_seeds(std::vector<Seed>& seeds, const dat_writer::SampleWorld& world) {
  seeds.push_back({"setup_table", bytes_of(world.setup_table_json)});
  for (std::string_view s : {R"({"1": 33554433, "+2": 4294967295, "-3": 1, "4": 1.5, "5": -1, "x": {"a": [1, {}]}})",
                             "[1, 2]", "{\"7\": 1e3, \"8\": 4294967296, \"\": 1}", "{\"9\": 2", "\"text\""}) {
    seeds.push_back({"setup_table", bytes_of(s)});
  }
  seeds.push_back({"spawns_lines", bytes_of(world.spawns_jsonl)});
  seeds.push_back({"spawns_lines",
                   bytes_of("{\"wcid\": 3}\r\n  \n{\"wcid\": 1, \"wcid\": 70}\n{\"wcid\": -1}\n{\"wcid\": 2.0}\n"
                            "[\"wcid\", 4]\n{\"wcid\": 18446744073709551615}\n{\"wcid\": 5")});
}

// record_json: each typed record's bytes (byte 0: its type | 0x80) and its
// document (byte 0: its type).
void add_record_json_seeds(std::vector<Seed>& seeds, const std::vector<ArchiveFile>& files, bool cell) {
  for (const ArchiveFile& file : files) {
    const auto type = dat::record_type_for_id(file.id, cell);
    if (!type) continue;
    const auto code = static_cast<std::uint8_t>(*type);
    seeds.push_back({"record_json", prefixed(code | 0x80, file.bytes)});
    if (const auto json = dat::record_json(*type, file.bytes, true))
      seeds.push_back({"record_json", prefixed(code, bytes_of(*json))});
  }
}

}  // namespace

std::vector<Seed> seed_corpus() {
  std::vector<Seed> seeds;
  const dat_writer::SampleWorld world = dat_writer::build_sample_world(small_world_params());
  const std::vector<ArchiveFile> portal = archive_files(world.portal);
  const std::vector<ArchiveFile> cell = archive_files(world.cell);
  for (std::size_t i = 0; i < portal.size(); ++i) {
    if (const char* target = decoder_target(portal[i].id, false)) seeds.push_back({target, portal[i].bytes});
    const std::uint8_t sky = portal[i].id == 0x13000000 || i % 2 == 0 ? kBakeSkyBit : 0;
    seeds.push_back({"whole_bake", bake_input(kBakeReplacePortal | sky, i, portal[i].bytes)});
  }
  for (std::size_t i = 0; i < cell.size(); ++i) {
    if (const char* target = decoder_target(cell[i].id, true)) seeds.push_back({target, cell[i].bytes});
    seeds.push_back({"whole_bake", bake_input(kBakeReplaceCell, i, cell[i].bytes)});
  }
  seeds.push_back({"whole_bake", bake_input(kBakeReplaceSpawns | kBakeSpawnsSourceBit, 0, bytes_of(world.spawns_jsonl))});
  seeds.push_back(
      {"whole_bake", bake_input(kBakeReplaceSetupTable | kBakeSpawnsSourceBit, 0, bytes_of(world.setup_table_json))});
  add_archive_seeds(seeds);
  add_text_seeds(seeds);
  add_lz_seeds(seeds, portal.front().bytes);
  add_json_seeds(seeds, world);
  add_record_json_seeds(seeds, portal, false);
  add_record_json_seeds(seeds, cell, true);
  return seeds;
}

std::size_t write_seed_corpus(const std::filesystem::path& root) {
  std::map<std::string, std::size_t> numbers;
  const std::vector<Seed> seeds = seed_corpus();
  for (const Seed& seed : seeds) {
    const std::filesystem::path dir = root / seed.target;
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    char name[32];
    std::snprintf(name, sizeof name, "seed-%04zu", numbers[seed.target]++);
    if (!common::write_whole_file(dir / name, seed.bytes)) {
      std::fprintf(stderr, "cannot write %s\n", (dir / name).c_str());
      return 0;
    }
  }
  return seeds.size();
}

}  // namespace ravelin::fuzz
