// Record documents and the encoders. Byte 0 picks the record type (its value
// modulo 7, in RecordType's order) and what the rest is:
// - bit 7 clear: a JSON document. Reading it as a record either fails with an
//   error, or gives a record whose encoding fails with an error or gives
//   bytes that decode back to the same document; encode_record_json agrees.
// - bit 7 set: a record's bytes. The full-fidelity decoder decodes them
//   exactly when the bake's decoder does, and then its document encodes back
//   to the same bytes.
#include <string>
#include <string_view>
#include <vector>

#include "ravelin/common/reader.h"
#include "ravelin/dat/file_type/animation.h"
#include "ravelin/dat/file_type/motion_table.h"
#include "ravelin/dat/file_type/physics_script.h"
#include "ravelin/dat/file_type/region.h"
#include "ravelin/dat/file_type/setup_model.h"
#include "ravelin/dat/landblock.h"
#include "ravelin/dat/record_json.h"
#include "fuzz/fuzz_entry.h"

namespace {

using namespace ravelin;
namespace ft = dat::file_type;
constexpr const char* kTarget = "record_json";

bool bake_decodes(dat::RecordType type, std::span<const std::uint8_t> bytes) {
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

void check_document(dat::RecordType type, std::string_view json) {
  const auto record = dat::parse_stored_record(type, json);
  const auto direct = dat::encode_record_json(type, json);
  if (!record) {
    RAVELIN_FUZZ_CHECK(kTarget, !direct && direct.error() == record.error());
    return;
  }
  const auto bytes = dat::encode_stored_record(*record);
  RAVELIN_FUZZ_CHECK(kTarget, bytes.has_value() == direct.has_value());
  if (!bytes) return;
  RAVELIN_FUZZ_CHECK(kTarget, *direct == *bytes);
  const auto decoded = dat::decode_stored_record(type, *bytes);
  RAVELIN_FUZZ_CHECK(kTarget, decoded.has_value());
  RAVELIN_FUZZ_CHECK(kTarget, dat::stored_record_json(*decoded, true) == dat::stored_record_json(*record, true));
}

void check_bytes(dat::RecordType type, std::span<const std::uint8_t> bytes) {
  const auto record = dat::decode_stored_record(type, bytes);
  RAVELIN_FUZZ_CHECK(kTarget, record.has_value() == bake_decodes(type, bytes));
  if (!record) return;
  const auto encoded = dat::encode_record_json(type, dat::stored_record_json(*record, true));
  RAVELIN_FUZZ_CHECK(kTarget, encoded.has_value());
  RAVELIN_FUZZ_CHECK(kTarget, std::vector<std::uint8_t>(bytes.begin(), bytes.end()) == *encoded);
}

}  // namespace

RAVELIN_FUZZ_ENTRY(record_json) {
  if (size == 0) return 0;
  const auto type = static_cast<dat::RecordType>((data[0] & 0x7F) % 7);
  const std::span<const std::uint8_t> rest(data + 1, size - 1);
  if ((data[0] & 0x80) != 0) {
    check_bytes(type, rest);
  } else {
    check_document(type, {reinterpret_cast<const char*>(rest.data()), rest.size()});
  }
  return 0;
}
