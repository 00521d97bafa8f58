// Opening a 1,000,000-entry archive (block size 256), in order and with one
// id out of place, fetching one small file from it, and decompression
// throughput. The archives are written once per run into $TMPDIR (or /tmp)
// with the archive writer.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <unistd.h>

#include "ravelin/common/file.h"
#include "ravelin/dat/lib.h"
#include "ravelin/dat/utils.h"
#include "dat_writer/archive_writer.h"
#include "ravelin/dat/compress.h"

namespace {

constexpr std::uint32_t kEntries = 1'000'000;
constexpr std::uint32_t kFirstId = 0x01000000;

std::filesystem::path scratch_dir() {
  const char* dir = std::getenv("TMPDIR");
  return dir != nullptr && *dir != '\0' ? std::filesystem::path(dir) : std::filesystem::path("/tmp");
}

ravelin::dat_writer::ArchiveWriter big_writer() {
  ravelin::dat_writer::ArchiveWriter w({.block_size = 256, .entries_per_node = 61});
  std::vector<std::uint8_t> body(48);
  for (std::uint32_t i = 0; i < kEntries; ++i) {
    for (std::size_t k = 0; k < body.size(); ++k) body[k] = static_cast<std::uint8_t>(i >> (k % 4 * 8));
    // Spread ids the way cell archives do: many landblocks, a few files each.
    w.add_file(kFirstId + i * 3, body);
  }
  return w;
}

// Written on first use and removed at exit. `out_of_order` moves the root's
// first id past all others, so every look-up goes through the hash index.
std::filesystem::path write_big_archive(bool out_of_order) {
  auto p = scratch_dir() / ("ravelin_dat_open_bench_" + std::to_string(::getpid()) +
                            (out_of_order ? "_unordered" : "") + ".dat");
  const auto start = std::chrono::steady_clock::now();
  ravelin::dat_writer::ArchiveLayout layout = big_writer().build();
  if (out_of_order) {
    // Node byte 256 (the first entry's id) lies 4 bytes into the node's second block.
    const std::uint32_t id_at = 256;
    const std::uint32_t payload = layout.block_size - 4;
    ravelin::dat_writer::patch_u32(layout.bytes, layout.node_blocks[0][id_at / payload] + 4 + id_at % payload,
                                   0xFFFFFFFFu);
  }
  if (auto r = ravelin::common::write_whole_file(p, layout.bytes); !r) {
    std::fprintf(stderr, "cannot write %s: %s\n", p.c_str(), r.error().message.c_str());
    std::exit(1);
  }
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::fprintf(stderr, "wrote %u-entry archive (%ju bytes) in %.2f s\n", kEntries,
               static_cast<std::uintmax_t>(layout.bytes.size()), seconds);
  return p;
}

const std::filesystem::path& big_archive() {
  static const std::filesystem::path path = [] {
    auto p = write_big_archive(false);
    std::atexit([] { std::filesystem::remove(big_archive()); });
    return p;
  }();
  return path;
}

const std::filesystem::path& unordered_big_archive() {
  static const std::filesystem::path path = [] {
    auto p = write_big_archive(true);
    std::atexit([] { std::filesystem::remove(unordered_big_archive()); });
    return p;
  }();
  return path;
}

void BM_DatDatabaseOpen(benchmark::State& state) {
  const auto& path = big_archive();
  for (auto _ : state) {
    auto db = ravelin::dat::DatDatabase::open(path);
    if (!db || db->entry_count() != kEntries || !db->is_ordered()) state.SkipWithError("open failed");
    benchmark::DoNotOptimize(db);
  }
}
BENCHMARK(BM_DatDatabaseOpen)->Unit(benchmark::kMillisecond);

// The fallback: a directory whose ids are not in order gets the hash index.
void BM_DatDatabaseOpenUnordered(benchmark::State& state) {
  const auto& path = unordered_big_archive();
  for (auto _ : state) {
    auto db = ravelin::dat::DatDatabase::open(path);
    if (!db || db->entry_count() != kEntries || db->is_ordered() || db->get_file(0xFFFFFFFFu)->size() != 48)
      state.SkipWithError("open failed");
    benchmark::DoNotOptimize(db);
  }
}
BENCHMARK(BM_DatDatabaseOpenUnordered)->Unit(benchmark::kMillisecond);

void BM_GetSmallFile(benchmark::State& state) {
  auto db = ravelin::dat::DatDatabase::open(big_archive());
  if (!db) {
    state.SkipWithError("open failed");
    return;
  }
  std::uint32_t i = 0;
  for (auto _ : state) {
    auto bytes = db->get_file(kFirstId + (i++ * 7919 % kEntries) * 3);
    if (!bytes) state.SkipWithError("get_file failed");
    benchmark::DoNotOptimize(bytes);
  }
}
BENCHMARK(BM_GetSmallFile)->Unit(benchmark::kMicrosecond);

// Mixed input, like record data: repeated structure with varying values.
std::vector<std::uint8_t> decompression_input() {
  std::mt19937 rng(7);
  std::vector<std::uint8_t> data;
  while (data.size() < (4u << 20)) {
    const std::uint32_t words[] = {static_cast<std::uint32_t>(0x02000000u + rng() % 64), static_cast<std::uint32_t>(rng() % 4),
                                   0x3F800000u, static_cast<std::uint32_t>(rng())};
    for (const std::uint32_t w : words)
      for (int k = 0; k < 4; ++k) data.push_back(static_cast<std::uint8_t>(w >> (8 * k)));
    if (rng() % 8 == 0) data.insert(data.end(), 24, 0);
  }
  return data;
}

void BM_DecompressLrs(benchmark::State& state) {
  static const std::vector<std::uint8_t> raw = decompression_input();
  static const std::vector<std::uint8_t> body = ravelin::dat::compress_lrs(raw).value();
  for (auto _ : state) {
    auto out = ravelin::dat::utils::decompress_lrs(body);
    if (out.size() != raw.size()) state.SkipWithError("short output");
    benchmark::DoNotOptimize(out);
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(raw.size()));
  state.counters["ratio"] = static_cast<double>(body.size()) / static_cast<double>(raw.size());
}
BENCHMARK(BM_DecompressLrs)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
