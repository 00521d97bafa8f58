// Every record of the archives in the given directories through its JSON
// document and back:   record_round_trip_test DIR...
// For each typed file of client_portal.dat and client_cell_1.dat that the
// archive gives: the full-fidelity decoder decodes it exactly when the bake's
// decoder does, and a decoded record's document encodes to its bytes and
// decodes to the same document. Prints one line per failure; exit 0 when
// there is none and at least one record was checked.
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "ravelin/common/reader.h"
#include "ravelin/dat/file_type/animation.h"
#include "ravelin/dat/file_type/motion_table.h"
#include "ravelin/dat/file_type/physics_script.h"
#include "ravelin/dat/file_type/region.h"
#include "ravelin/dat/file_type/setup_model.h"
#include "ravelin/dat/landblock.h"
#include "ravelin/dat/lib.h"
#include "ravelin/dat/record_json.h"

namespace {

using namespace ravelin;
namespace ft = dat::file_type;
using Bytes = std::vector<std::uint8_t>;

bool bake_decodes(dat::RecordType type, const Bytes& bytes) {
  common::Reader r(bytes);
  switch (type) {
    case dat::RecordType::Region: return ft::Region::unpack(r).has_value();
    case dat::RecordType::Setup: return ft::SetupModel::unpack(r).has_value();
    case dat::RecordType::MotionTable: return ft::MotionTable::read(r).has_value();
    case dat::RecordType::Animation: return ft::Animation::read(r).has_value();
    case dat::RecordType::PhysicsScript: return ft::PhysicsScript::read(r).has_value();
    case dat::RecordType::CellLandblock: return dat::CellLandblock::unpack(bytes).has_value();
    case dat::RecordType::LandblockInfo: return dat::LandblockInfo::unpack(bytes).has_value();
  }
  return false;
}

// Empty when the record round-trips, else what went wrong.
std::string check(dat::RecordType type, const Bytes& bytes) {
  const auto record = dat::decode_stored_record(type, bytes);
  if (record.has_value() != bake_decodes(type, bytes))
    return record ? "decodes, the bake's decoder fails" : "fails, the bake's decoder decodes";
  if (!record) return {};
  for (const bool compact : {true, false}) {
    const std::string document = dat::stored_record_json(*record, compact);
    const auto encoded = dat::encode_record_json(type, document);
    if (!encoded) return "its document does not encode: " + encoded.error().to_string();
    if (*encoded != bytes) return "its document encodes to other bytes";
    const auto again = dat::record_json(type, *encoded, compact);
    if (!again || *again != document) return "the encoded bytes decode to another document";
  }
  return {};
}

}  // namespace

int main(int argc, char** argv) {
  std::size_t checked = 0, undecodable = 0, failures = 0;
  for (int a = 1; a < argc; ++a) {
    for (const char* name : {"client_portal.dat", "client_cell_1.dat"}) {
      const std::filesystem::path path = std::filesystem::path(argv[a]) / name;
      auto db = dat::DatDatabase::open(path);
      if (!db) continue;  // damaged beyond opening
      const bool cell = dat::is_cell_archive_path(path);
      for (const dat::DatFileEntry& entry : db->entries()) {
        const auto type = dat::record_type_for_id(entry.id, cell);
        if (!type) continue;
        const auto bytes = db->get_file(entry.id);
        if (!bytes) continue;
        ++checked;
        if (!dat::decode_stored_record(*type, *bytes)) ++undecodable;
        if (const std::string problem = check(*type, *bytes); !problem.empty()) {
          std::printf("%s 0x%08X (%s): %s\n", path.c_str(), entry.id, std::string(dat::record_type_name(*type)).c_str(),
                      problem.c_str());
          ++failures;
        }
      }
    }
  }
  std::printf("%zu records checked (%zu undecodable), %zu failures\n", checked, undecodable, failures);
  return failures == 0 && checked > 0 ? 0 : 1;
}
