// Setup model: how a placed object is composed (parts, per-placement part frames,
// shapes, lights, ids of its default physics script and motion table), plus the
// frame and hook records that animations and physics scripts share with it.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "ravelin/common/id_map.h"
#include "ravelin/common/math.h"
#include "ravelin/common/reader.h"
#include "ravelin/dat/graphics.h"

namespace ravelin::dat::file_type {

// Hook types above this value are rejected.
inline constexpr std::uint32_t kMaxAnimationHookType = 26;

// One typed hook. The payload is opaque here: the bytes as stored, followed by the
// padding that brings the whole hook (type, word, payload) to a multiple of 4.
struct AnimationHook {
  std::uint32_t hook_type = 0;
  std::uint32_t hook_word = 0;
  std::vector<std::uint8_t> payload;

  // Reads type, word, the type's payload and padding. A type above 26 fails with
  // Custom "Unsupported AnimationHook type: 0x{:08X}" positioned after the two
  // words; short data fails with "failed to fill whole buffer". No frames added.
  static common::ReadResult<AnimationHook> read(common::Reader& reader);
  bool operator==(const AnimationHook&) const = default;
};

// One frame record: a Frame per part (the count comes from the caller), then a
// counted list of hooks.
struct AnimationFrame {
  std::vector<Frame> part_frames;
  std::vector<AnimationHook> hooks;

  // Reads `part_count` frames, a u32 hook count and that many hooks; the first
  // failing item fails the whole record with its own error.
  static common::ReadResult<AnimationFrame> read(common::Reader& reader,
                                                 std::uint32_t part_count);
  bool operator==(const AnimationFrame&) const = default;
};

// Exactly `length` bytes as a new payload; fewer left move the cursor to the end
// and fail with "failed to fill whole buffer".
common::ReadResult<std::vector<std::uint8_t>> read_exact_payload(common::Reader& reader,
                                                                 std::uint64_t length);

// The replace-object payload of hook type 5: a byte, a u16, and a second u16 when
// the first has its top bit set (3 or 5 bytes, unpadded).
common::ReadResult<std::vector<std::uint8_t>> read_replace_object_payload(common::Reader& reader);

// 32 bytes: part id, then its frame. Read field by field (failures add a frame
// and rewind to the record's start).
struct LocationType {
  std::uint32_t part_id = 0;
  Frame frame;

  static common::ReadResult<LocationType> read(common::Reader& reader);
  bool operator==(const LocationType&) const = default;
};

// 20 bytes. Radius and height are kept as their raw 32-bit patterns: nothing
// interprets them. Read field by field.
struct CylSphere {
  common::Vector3 origin;
  std::uint32_t radius = 0;
  std::uint32_t height = 0;

  static common::ReadResult<CylSphere> read(common::Reader& reader);
  bool operator==(const CylSphere&) const = default;
};

// 44 bytes: a frame and four raw 32-bit words. Read field by field.
struct LightInfo {
  Frame viewer_space_location;
  std::uint32_t color = 0;
  std::uint32_t intensity = 0;
  std::uint32_t falloff = 0;
  std::uint32_t cone_angle = 0;

  static common::ReadResult<LightInfo> read(common::Reader& reader);
  bool operator==(const LightInfo&) const = default;
};

struct PlacementType {
  AnimationFrame anim_frame;

  bool operator==(const PlacementType&) const = default;
};

struct SetupModel {
  // Presence bits of `flags`.
  static constexpr std::uint32_t kHasPartRefs = 0x1;
  static constexpr std::uint32_t kHasPartVectors = 0x2;

  std::uint32_t id = 0;
  std::uint32_t flags = 0;
  std::vector<std::uint32_t> parts;  // its size is the part count
  std::vector<std::uint32_t> part_refs;      // one per part when bit 0 is set
  std::vector<common::Vector3> part_vectors;  // one per part when bit 1 is set
  common::IdMap<std::uint32_t, LocationType> locations_1;
  common::IdMap<std::uint32_t, LocationType> locations_2;
  common::IdMap<std::int32_t, PlacementType> placements;
  std::vector<CylSphere> cyl_spheres;
  std::vector<common::Sphere> spheres;
  std::array<std::uint32_t, 4> scalars = {};  // raw patterns, never interpreted
  common::Sphere sphere_1;
  common::Sphere sphere_2;
  common::IdMap<std::uint32_t, LightInfo> lights;
  // Stored as plain words; 0 means absent.
  std::optional<std::uint32_t> default_id_1;
  std::optional<std::uint32_t> default_script_id;
  std::optional<std::uint32_t> motion_table_id;
  std::optional<std::uint32_t> default_id_4;
  std::optional<std::uint32_t> default_id_5;

  // Decodes one setup model from the cursor's position; trailing bytes are not
  // examined. A negative placement count fails with Custom "SetupModel 0x{:08X}
  // declared negative placement count {}" positioned after the count. Errors of
  // nested records come back unchanged (no frames of its own).
  static common::ReadResult<SetupModel> unpack(common::Reader& reader);
  bool operator==(const SetupModel&) const = default;
};

}  // namespace ravelin::dat::file_type
