// Benchmarks of the records' full-fidelity path over every typed record of a
// generated world on disk ($RAVELIN_BENCH_WORLD, default build/retail-world;
// scripts/bench.sh writes it), one benchmark per record type and step:
//   Decode   bytes -> stored record          Encode   stored record -> bytes
//   Show     bytes -> JSON document           Read     JSON document -> bytes
// Encoding is meant to cost at most twice the decoding of the same records.
// The records are fetched once, before the first benchmark.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "ravelin/dat/lib.h"
#include "ravelin/dat/record_json.h"

namespace {

using ravelin::dat::RecordType;
using Bytes = std::vector<std::uint8_t>;

std::filesystem::path world_dir() {
  const char* dir = std::getenv("RAVELIN_BENCH_WORLD");
  return dir != nullptr && *dir != '\0' ? std::filesystem::path(dir) : std::filesystem::path("build/retail-world");
}

// Every record of one type: its bytes, its stored record and its document.
struct TypeRecords {
  std::vector<Bytes> bytes;
  std::vector<ravelin::dat::StoredRecord> records;
  std::vector<std::string> documents;
  std::size_t byte_count = 0;
};

constexpr std::size_t kTypeCount = 7;

const std::array<TypeRecords, kTypeCount>& world_records() {
  static const auto records = [] {
    std::array<TypeRecords, kTypeCount> out;
    for (const char* name : {"client_portal.dat", "client_cell_1.dat"}) {
      const auto path = world_dir() / name;
      auto db = ravelin::dat::DatDatabase::open(path);
      if (!db) {
        std::fprintf(stderr, "cannot open %s: %s\n", path.c_str(), db.error().to_string().c_str());
        std::exit(1);
      }
      const bool cell = ravelin::dat::is_cell_archive_path(path);
      for (const ravelin::dat::DatFileEntry& entry : db->entries()) {
        const auto type = ravelin::dat::record_type_for_id(entry.id, cell);
        if (!type) continue;
        auto bytes = db->get_file(entry.id);
        if (!bytes) continue;
        auto record = ravelin::dat::decode_stored_record(*type, *bytes);
        if (!record) continue;
        TypeRecords& of_type = out[static_cast<std::size_t>(*type)];
        of_type.byte_count += bytes->size();
        of_type.documents.push_back(ravelin::dat::stored_record_json(*record, true));
        of_type.records.push_back(std::move(*record));
        of_type.bytes.push_back(std::move(*bytes));
      }
    }
    return out;
  }();
  return records;
}

void count(benchmark::State& state, const TypeRecords& of_type) {
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * of_type.records.size()));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * of_type.byte_count));
  state.counters["records"] = static_cast<double>(of_type.records.size());
}

void BM_Decode(benchmark::State& state, RecordType type) {
  const TypeRecords& of_type = world_records()[static_cast<std::size_t>(type)];
  for (auto _ : state) {
    for (const Bytes& bytes : of_type.bytes) {
      auto record = ravelin::dat::decode_stored_record(type, bytes);
      benchmark::DoNotOptimize(record);
    }
  }
  count(state, of_type);
}

void BM_Encode(benchmark::State& state, RecordType type) {
  const TypeRecords& of_type = world_records()[static_cast<std::size_t>(type)];
  for (auto _ : state) {
    for (const auto& record : of_type.records) {
      auto bytes = ravelin::dat::encode_stored_record(record);
      if (!bytes) state.SkipWithError("encode failed");
      benchmark::DoNotOptimize(bytes);
    }
  }
  count(state, of_type);
}

void BM_Show(benchmark::State& state, RecordType type) {
  const TypeRecords& of_type = world_records()[static_cast<std::size_t>(type)];
  for (auto _ : state) {
    for (const Bytes& bytes : of_type.bytes) {
      auto document = ravelin::dat::record_json(type, bytes, true);
      benchmark::DoNotOptimize(document);
    }
  }
  count(state, of_type);
}

void BM_Read(benchmark::State& state, RecordType type) {
  const TypeRecords& of_type = world_records()[static_cast<std::size_t>(type)];
  for (auto _ : state) {
    for (const std::string& document : of_type.documents) {
      auto bytes = ravelin::dat::encode_record_json(type, document);
      if (!bytes) state.SkipWithError("encode failed");
      benchmark::DoNotOptimize(bytes);
    }
  }
  count(state, of_type);
}

#define RAVELIN_RECORD_BENCH(step)                                                                   \
  BENCHMARK_CAPTURE(step, region, RecordType::Region)->Unit(benchmark::kMicrosecond);                \
  BENCHMARK_CAPTURE(step, setup, RecordType::Setup)->Unit(benchmark::kMicrosecond);                  \
  BENCHMARK_CAPTURE(step, motion_table, RecordType::MotionTable)->Unit(benchmark::kMicrosecond);     \
  BENCHMARK_CAPTURE(step, animation, RecordType::Animation)->Unit(benchmark::kMicrosecond);          \
  BENCHMARK_CAPTURE(step, physics_script, RecordType::PhysicsScript)->Unit(benchmark::kMicrosecond); \
  BENCHMARK_CAPTURE(step, cell_landblock, RecordType::CellLandblock)->Unit(benchmark::kMillisecond); \
  BENCHMARK_CAPTURE(step, landblock_info, RecordType::LandblockInfo)->Unit(benchmark::kMillisecond)

RAVELIN_RECORD_BENCH(BM_Decode);
RAVELIN_RECORD_BENCH(BM_Encode);
RAVELIN_RECORD_BENCH(BM_Show);
RAVELIN_RECORD_BENCH(BM_Read);

}  // namespace

BENCHMARK_MAIN();
