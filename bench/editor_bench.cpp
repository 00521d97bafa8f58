// The archive editor on the retail-size cell archive ($RAVELIN_BENCH_WORLD,
// default build/retail-world; scripts/bench.sh writes it), edited in a copy in
// $TMPDIR (or /tmp):
//   - opening for changing against opening for reading (the bound: 1.2x);
//   - a commit of one put: the bytes it writes besides the body's own blocks,
//     counted through the recording backend (the bound: 64 KiB), and its
//     median time with the syncs on disk;
//   - a commit of 10,000 puts: every changed node written once (counted through
//     the recording backend), and its time on disk.
// The recording backend copies the whole file at every sync, so the times of
// the benchmarks that run on it measure the backend: only their counters count.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <unistd.h>
#include <vector>

#include "ravelin/common/file.h"
#include "ravelin/common/recording_file_system.h"
#include "ravelin/dat/archive_editor.h"
#include "ravelin/dat/lib.h"

namespace {

using ravelin::dat::ArchiveEditor;

std::filesystem::path world_dir() {
  const char* dir = std::getenv("RAVELIN_BENCH_WORLD");
  return dir != nullptr && *dir != '\0' ? std::filesystem::path(dir) : std::filesystem::path("build/retail-world");
}

[[noreturn]] void die(const std::string& text) {
  std::fprintf(stderr, "editor_bench: %s\n", text.c_str());
  std::exit(1);
}

const std::vector<std::uint8_t>& cell_bytes() {
  static const std::vector<std::uint8_t> bytes = [] {
    auto read = ravelin::common::read_whole_file(world_dir() / "client_cell_1.dat");
    if (!read) die("cannot read " + (world_dir() / "client_cell_1.dat").string() + ": " + read.error().message);
    return std::move(*read);
  }();
  return bytes;
}

std::filesystem::path scratch_path() {
  const char* dir = std::getenv("TMPDIR");
  const std::filesystem::path base = dir != nullptr && *dir != '\0' ? dir : "/tmp";
  return base / ("ravelin_editor_bench_" + std::to_string(::getpid()) + ".dat");
}

// A copy of the cell archive on disk, written on first use, removed at exit.
const std::filesystem::path& scratch_copy() {
  static const std::filesystem::path path = [] {
    const auto p = scratch_path();
    if (auto r = ravelin::common::write_whole_file(p, cell_bytes()); !r) die("cannot write " + p.string());
    std::atexit([] { (void)ravelin::common::default_file_system().remove(scratch_path()); });
    return p;
  }();
  return path;
}

void BM_OpenForReading(benchmark::State& state) {
  const auto& path = scratch_copy();
  for (auto _ : state) {
    auto db = ravelin::dat::DatDatabase::open(path);
    if (!db) state.SkipWithError("open failed");
    benchmark::DoNotOptimize(db);
  }
}
BENCHMARK(BM_OpenForReading)->Unit(benchmark::kMillisecond);

void BM_OpenForChanging(benchmark::State& state) {
  const auto& path = scratch_copy();
  for (auto _ : state) {
    auto editor = ArchiveEditor::open(path);
    if (!editor) state.SkipWithError(editor.error().to_string().c_str());
    benchmark::DoNotOptimize(editor);
  }
}
BENCHMARK(BM_OpenForChanging)->Unit(benchmark::kMillisecond);

std::vector<std::uint8_t> body(std::uint32_t seed, std::size_t n) {
  std::vector<std::uint8_t> out(n);
  for (std::size_t i = 0; i < n; ++i) out[i] = static_cast<std::uint8_t>(seed + i * 7);
  return out;
}

// Ids of new files spread over the cell archive's id space, between its own.
std::uint32_t new_id(std::uint32_t k) { return ((k * 2654435761u) & 0xFFFF0000u) | 0x0100u | (k & 0xFF); }

// One put per commit on disk, syncs and all; the median of the commits.
void BM_CommitOnePutOnDisk(benchmark::State& state) {
  auto editor = ArchiveEditor::open(scratch_copy());
  if (!editor) die(editor.error().to_string());
  std::vector<double> times;
  std::uint32_t k = 0;
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    if (!editor->put(new_id(k), body(k, 100))) state.SkipWithError("put failed");
    ++k;
    if (!editor->commit()) state.SkipWithError("commit failed");
    times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  }
  std::sort(times.begin(), times.end());
  state.counters["median_ms"] = times.empty() ? 0 : times[times.size() / 2];
}
BENCHMARK(BM_CommitOnePutOnDisk)->Unit(benchmark::kMillisecond)->Iterations(50);

// 10,000 puts per commit on disk.
void BM_CommitTenThousandPutsOnDisk(benchmark::State& state) {
  auto editor = ArchiveEditor::open(scratch_copy());
  if (!editor) die(editor.error().to_string());
  std::uint32_t k = 1u << 24;
  for (auto _ : state) {
    state.PauseTiming();
    for (int i = 0; i < 10000; ++i, ++k)
      if (!editor->put(new_id(k), body(k, 60 + k % 400))) state.SkipWithError("put failed");
    state.ResumeTiming();
    if (!editor->commit()) state.SkipWithError("commit failed");
  }
}
BENCHMARK(BM_CommitTenThousandPutsOnDisk)->Unit(benchmark::kMillisecond)->Iterations(3);

struct Written {
  std::uint64_t bytes = 0;
  std::uint64_t writes = 0;
  std::uint64_t syncs = 0;
  std::uint64_t bytes_twice = 0;  // bytes written more than once
};

Written written_since(const ravelin::common::RecordingFileSystem& fs, std::size_t first) {
  Written w;
  std::map<std::uint64_t, std::uint64_t> seen;  // offset -> length
  const auto ops = fs.operations();
  for (std::size_t i = first; i < ops.size(); ++i) {
    if (ops[i].kind == ravelin::common::OperationKind::Sync) ++w.syncs;
    if (ops[i].kind != ravelin::common::OperationKind::Write) continue;
    ++w.writes;
    w.bytes += ops[i].length;
    // The header is written more than once by design; blocks are not.
    if (ops[i].offset == ravelin::dat::kHeaderOffset) continue;
    const auto [it, fresh] = seen.emplace(ops[i].offset, ops[i].length);
    if (!fresh) w.bytes_twice += ops[i].length;
  }
  return w;
}

// Through the recording backend: what one put's commit writes besides the
// body's own blocks (the changed nodes and the header writes).
void BM_CommitOnePutWrites(benchmark::State& state) {
  ravelin::common::RecordingFileSystem fs("/bench");
  fs.put_file("/bench/cell.dat", cell_bytes());
  auto editor = ArchiveEditor::open("/bench/cell.dat", fs);
  if (!editor) die(editor.error().to_string());
  const std::uint32_t block_size = editor->header().block_size;
  Written w;
  ravelin::dat::CommitStats stats;
  std::uint32_t k = 0;
  for (auto _ : state) {
    const std::size_t first = fs.operations().size();
    const auto bytes = body(k, 100);
    if (!editor->put(new_id(k++), bytes)) state.SkipWithError("put failed");
    auto committed = editor->commit();
    if (!committed) state.SkipWithError(committed.error().to_string().c_str());
    stats = *committed;
    w = written_since(fs, first);
    const std::uint64_t body_bytes = (bytes.size() + block_size - 5) / (block_size - 4) * block_size;
    state.counters["bytes_besides_body"] = static_cast<double>(w.bytes - body_bytes);
  }
  state.counters["writes"] = static_cast<double>(w.writes);
  state.counters["syncs"] = static_cast<double>(w.syncs);
  state.counters["blocks_written"] = static_cast<double>(stats.blocks_written);
}
BENCHMARK(BM_CommitOnePutWrites)->Unit(benchmark::kMillisecond)->Iterations(5);

// 10,000 puts in one commit: no block written twice, so no node twice.
void BM_CommitTenThousandPuts(benchmark::State& state) {
  ravelin::common::RecordingFileSystem fs("/bench");
  fs.put_file("/bench/cell.dat", cell_bytes());
  auto editor = ArchiveEditor::open("/bench/cell.dat", fs);
  if (!editor) die(editor.error().to_string());
  const std::uint32_t block_size = editor->header().block_size;
  const std::uint64_t node_blocks = (ravelin::dat::kNodeSize + block_size - 5) / (block_size - 4);
  std::uint32_t k = 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::uint64_t body_blocks = 0;
    for (int i = 0; i < 10000; ++i) {
      const auto bytes = body(k, 60 + k % 400);
      body_blocks += (bytes.size() + block_size - 5) / (block_size - 4);
      if (!editor->put(new_id(k++), bytes)) state.SkipWithError("put failed");
    }
    const std::size_t first = fs.operations().size();
    state.ResumeTiming();
    auto committed = editor->commit();
    if (!committed) state.SkipWithError(committed.error().to_string().c_str());
    state.PauseTiming();
    const Written w = written_since(fs, first);
    state.counters["nodes_written"] = static_cast<double>((committed->blocks_written - body_blocks) / node_blocks);
    state.counters["bytes_written_twice"] = static_cast<double>(w.bytes_twice);
    state.counters["writes"] = static_cast<double>(w.writes);
    state.counters["blocks_reused"] = static_cast<double>(committed->blocks_reused);
    state.ResumeTiming();
  }
}
BENCHMARK(BM_CommitTenThousandPuts)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
