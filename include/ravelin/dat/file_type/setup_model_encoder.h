// The setup model file as stored: its maps as stored (file order, repeated
// keys), its default ids as the words they are (0 for none), and the bytes
// after its last id.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "ravelin/common/math.h"
#include "ravelin/common/reader.h"
#include "ravelin/dat/file_type/record_encoder.h"
#include "ravelin/dat/file_type/setup_model.h"

namespace ravelin::dat::file_type {

struct StoredSetupModel {
  std::uint32_t id = 0;
  std::uint32_t flags = 0;  // bit 0: part_refs stored, bit 1: part_vectors stored; others kept
  std::vector<std::uint32_t> parts;
  std::vector<std::uint32_t> part_refs;       // one per part with flags bit 0, else none
  std::vector<common::Vector3> part_vectors;  // one per part with flags bit 1, else none
  std::vector<Keyed<std::uint32_t, LocationType>> locations_1;
  std::vector<Keyed<std::uint32_t, LocationType>> locations_2;
  std::vector<Keyed<std::int32_t, PlacementType>> placements;  // one part frame per part each
  std::vector<CylSphere> cyl_spheres;
  std::vector<common::Sphere> spheres;
  std::array<std::uint32_t, 4> scalars{};
  common::Sphere sphere_1;
  common::Sphere sphere_2;
  std::vector<Keyed<std::uint32_t, LightInfo>> lights;
  std::uint32_t default_id_1 = 0;  // 0: none
  std::uint32_t default_script_id = 0;
  std::uint32_t motion_table_id = 0;
  std::uint32_t default_id_4 = 0;
  std::uint32_t default_id_5 = 0;
  Bytes trailing;

  // Decodes what SetupModel::unpack decodes, from the file's first byte, and
  // fails where it fails (SetupModel::unpack's error is the one to show).
  static common::ReadResult<StoredSetupModel> read(std::span<const std::uint8_t> bytes);
  bool operator==(const StoredSetupModel&) const = default;
};

// The setup model's bytes. Fails when part_refs or part_vectors disagree with
// the flags and the part count, a placement holds another number of part
// frames, there are more than 2^31 - 1 placements, or a hook is not of a known
// type with its type's payload.
RecordResult<Bytes> encode_setup_model(const StoredSetupModel& setup);

}  // namespace ravelin::dat::file_type
