#include "dat_writer/sample_world_revision.h"

#include <algorithm>
#include <bit>
#include <charconv>
#include <cstring>
#include <optional>
#include <utility>

#include "dat_writer/animation_encoder.h"
#include "dat_writer/archive_copy.h"
#include "dat_writer/archive_writer.h"
#include "dat_writer/sample_world.h"
#include "ravelin/common/id_text.h"
#include "ravelin/common/output_file.h"
#include "ravelin/common/sorted_ids.h"
#include "ravelin/dat/file_ids.h"
#include "ravelin/dat/file_type/animation.h"
#include "ravelin/dat/file_type/hook_fields.h"
#include "ravelin/dat/file_type/motion_table.h"
#include "ravelin/dat/file_type/physics_script.h"
#include "ravelin/dat/file_type/region.h"
#include "ravelin/dat/file_type/setup_model.h"
#include "ravelin/dat/landblock.h"
#include "ravelin/dat/lib.h"

namespace ravelin::dat_writer {
namespace {

namespace ft = dat::file_type;
template <class T>
using Result = std::expected<T, std::string>;

constexpr std::size_t kStabBytes = 32;
constexpr std::size_t kFirstStabAt = 12;  // after id, num_cells, num_objects
constexpr std::size_t kObjectCountAt = 8;
// Emitter ids the swapped hook moves by: another emitter of the same range.
constexpr std::uint32_t kEmitterStep = 0x40;
// The emitter a script without one gets: a smoke emitter of the same range.
constexpr std::uint32_t kAddedEmitter = 0x32000140;

std::string fail_text(const std::string& what) { return "revision 2: " + what; }

Result<std::vector<std::uint8_t>> fetch(const dat::DatDatabase& archive, std::uint32_t id) {
  auto bytes = archive.get_file(id);
  if (!bytes) return std::unexpected(fail_text(common::hex_id(id) + ": " + bytes.error().to_string()));
  return std::move(*bytes);
}

template <class Record>
Result<Record> decode(std::span<const std::uint8_t> bytes, std::uint32_t id,
                      common::ReadResult<Record> (*read)(common::Reader&)) {
  common::Reader reader(bytes);
  auto record = read(reader);
  if (!record) return std::unexpected(fail_text(common::hex_id(id) + ": " + record.error().to_string()));
  return std::move(*record);
}

template <class Record>
std::optional<Record> decode_if_present(const dat::DatDatabase& archive, std::uint32_t id,
                                        common::ReadResult<Record> (*read)(common::Reader&)) {
  auto bytes = archive.get_file(id);
  if (!bytes) return std::nullopt;
  auto record = decode(*bytes, id, read);
  if (!record) return std::nullopt;
  return std::move(*record);
}

std::string shortest(float value) {
  char text[32];
  const auto end = std::to_chars(text, text + sizeof text, value).ptr;
  return std::string(text, end);
}

std::uint32_t read_u32(std::span<const std::uint8_t> bytes, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | bytes[at + static_cast<std::size_t>(i)];
  return v;
}

// Decoded records back to the encoders' descriptions.
HookDef hook_def(const ft::AnimationHook& hook) { return {hook.hook_type, hook.hook_word, hook.payload, true}; }

FrameDef frame_def(const dat::Frame& f) {
  return {{f.origin.x, f.origin.y, f.origin.z}, {f.orientation.w, f.orientation.x, f.orientation.y, f.orientation.z}};
}

PhysicsScriptDef script_def(const ft::PhysicsScript& script) {
  PhysicsScriptDef def{script.id, {}};
  for (const auto& entry : script.script_data) def.entries.push_back({entry.start_time, hook_def(entry.hook)});
  return def;
}

AnimationDef animation_def(const ft::Animation& animation) {
  AnimationDef def;
  def.id = animation.id;
  def.flags = animation.has_object_frames ? 1 : 0;
  def.part_count = animation.part_count;
  for (const auto& f : animation.object_frames) def.object_frames.push_back(frame_def(f));
  for (const auto& frame : animation.frames) {
    AnimFrameDef out;
    for (const auto& f : frame.part_frames) out.part_frames.push_back(frame_def(f));
    for (const auto& h : frame.hooks) out.hooks.push_back(hook_def(h));
    def.frames.push_back(std::move(out));
  }
  return def;
}

// The encoders write what the decoders read, but a record with bytes the
// decoder skips would not survive the trip: such a record is refused.
Result<void> check_round_trip(std::span<const std::uint8_t> original, const std::vector<std::uint8_t>& encoded,
                              std::uint32_t id) {
  if (std::equal(original.begin(), original.end(), encoded.begin(), encoded.end())) return {};
  return std::unexpected(fail_text(common::hex_id(id) + " does not re-encode to its own bytes"));
}

// One replaced or added portal file, with the compression of the original.
struct NewFile {
  std::uint32_t id;
  std::vector<std::uint8_t> bytes;
  bool compressed;
};

bool stored_compressed(const dat::DatDatabase& archive, std::uint32_t id) {
  const dat::DatFileEntry* entry = archive.find_entry(id);
  return entry != nullptr && entry->is_compressed();
}

// The placed setup the rules start from: the first object of the focus
// landblock's LandblockInfo that is a stored setup with a motion table and a
// default script.
struct FocusSetup {
  std::uint32_t id;
  ft::SetupModel model;
  std::vector<std::uint8_t> bytes;
  std::size_t stab_index;
};

Result<FocusSetup> focus_setup(const dat::DatDatabase& portal, const dat::LandblockInfo& info) {
  for (std::size_t i = 0; i < info.objects.size(); ++i) {
    const std::uint32_t id = info.objects[i].id;
    if (!dat::is_setup_model_id(id)) continue;
    auto bytes = portal.get_file(id);
    if (!bytes) continue;
    auto model = decode(*bytes, id, &ft::SetupModel::unpack);
    if (!model || !model->motion_table_id || !model->default_script_id) continue;
    return FocusSetup{id, std::move(*model), std::move(*bytes), i};
  }
  return std::unexpected(fail_text("landblock 0xA9B4 places no setup with a motion table and a default script"));
}

// The script's first particle hook gets another emitter; a script without one
// gets its first (a chimney starts to smoke).
Result<NewFile> swap_emitter(const dat::DatDatabase& portal, std::uint32_t script_id,
                             std::vector<std::string>& changes) {
  auto bytes = fetch(portal, script_id);
  if (!bytes) return std::unexpected(bytes.error());
  auto script = decode(*bytes, script_id, &ft::PhysicsScript::read);
  if (!script) return std::unexpected(script.error());
  PhysicsScriptDef def = script_def(*script);
  if (auto r = check_round_trip(*bytes, encode_physics_script(def), script_id); !r) return std::unexpected(r.error());
  for (auto& entry : def.entries) {
    ft::AnimationHook hook{entry.hook.type, entry.hook.word, entry.hook.payload};
    const auto fields = ft::particle_hook_fields(hook);
    if (!fields) continue;
    const std::uint32_t emitter = fields->emitter_id + kEmitterStep;
    for (int k = 0; k < 4; ++k) entry.hook.payload[static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(emitter >> (8 * k));
    changes.push_back("physics script " + common::hex_id(script_id) + ": first particle hook's emitter " +
                      common::hex_id(fields->emitter_id) + " -> " + common::hex_id(emitter));
    return NewFile{script_id, encode_physics_script(def), stored_compressed(portal, script_id)};
  }
  const std::uint32_t emitter = kAddedEmitter;
  def.entries.insert(def.entries.begin(), {0.0, particle_hook(emitter, 0, false)});
  changes.push_back("physics script " + common::hex_id(script_id) + ": a particle hook added, emitter " +
                    common::hex_id(emitter));
  return NewFile{script_id, encode_physics_script(def), stored_compressed(portal, script_id)};
}

std::vector<std::uint32_t> motion_table_animations(const ft::MotionTable& table) {
  std::vector<std::uint32_t> ids;
  auto collect = [&ids](const ft::MotionDataMap& map) {
    map.for_each_sorted([&ids](std::uint32_t, const ft::MotionData& data) {
      for (const auto& ref : data.anims) ids.push_back(ref.anim_id);
    });
  };
  collect(table.motion_data_0);
  collect(table.motion_data_1);
  table.links.for_each_sorted([&collect](std::uint32_t, const ft::MotionDataMap& map) { collect(map); });
  return common::sorted_unique_ids(std::move(ids));
}

// The first sound hook of the highest-id animation of the table that has one
// in a frame with a next frame moves to the end of that next frame.
Result<NewFile> move_sound_hook(const dat::DatDatabase& portal, std::uint32_t table_id,
                                std::vector<std::string>& changes) {
  auto table = decode_if_present(portal, table_id, &ft::MotionTable::read);
  if (!table) return std::unexpected(fail_text("motion table " + common::hex_id(table_id) + " does not decode"));
  const std::vector<std::uint32_t> ids = motion_table_animations(*table);
  for (auto it = ids.rbegin(); it != ids.rend(); ++it) {
    const std::uint32_t id = *it;
    auto bytes = portal.get_file(id);
    if (!bytes) continue;
    auto animation = decode(*bytes, id, &ft::Animation::read);
    if (!animation) continue;
    AnimationDef def = animation_def(*animation);
    for (std::size_t f = 0; f + 1 < animation->frames.size(); ++f) {
      const auto& hooks = animation->frames[f].hooks;
      const auto sound = std::find_if(hooks.begin(), hooks.end(),
                                      [](const ft::AnimationHook& h) { return ft::sound_hook_fields(h).has_value(); });
      if (sound == hooks.end()) continue;
      if (auto r = check_round_trip(*bytes, encode_animation(def), id); !r) return std::unexpected(r.error());
      auto& from = def.frames[f].hooks;
      const auto at = from.begin() + (sound - hooks.begin());
      def.frames[f + 1].hooks.push_back(*at);
      from.erase(at);
      changes.push_back("animation " + common::hex_id(id) + ": a sound hook moved from frame " + std::to_string(f) +
                        " to frame " + std::to_string(f + 1));
      return NewFile{id, encode_animation(def), stored_compressed(portal, id)};
    }
  }
  return std::unexpected(fail_text("no animation of motion table " + common::hex_id(table_id) +
                                   " has a sound hook before its last frame"));
}

// The physics script a sky object runs, by the sky chain's own choice: its
// own, or its setup's default script; 0 for none.
std::uint32_t sky_object_script(const dat::DatDatabase& portal, const ft::SkyObject& object) {
  std::uint32_t script_id = object.script_id;
  if (script_id == 0 && dat::is_setup_model_id(object.object_id)) {
    const auto setup = decode_if_present(portal, object.object_id, &ft::SetupModel::unpack);
    if (setup && setup->default_script_id) script_id = *setup->default_script_id;
  }
  return dat::is_physics_script_id(script_id) ? script_id : 0;
}

// Whether any sky object of the group reaches a physics script with a particle hook.
bool yields_particles(const dat::DatDatabase& portal, const ft::DayGroup& group) {
  for (const ft::SkyObject& object : group.sky_objects) {
    const std::uint32_t script_id = sky_object_script(portal, object);
    if (script_id == 0) continue;
    const auto script = decode_if_present(portal, script_id, &ft::PhysicsScript::read);
    if (!script) continue;
    for (const auto& entry : script->script_data)
      if (ft::particle_hook_fields(entry.hook)) return true;
  }
  return false;
}

// The scripts the region's sky runs: a change to one reaches every landblock.
std::vector<std::uint32_t> sky_scripts(const dat::DatDatabase& portal) {
  std::vector<std::uint32_t> ids;
  const auto region = decode_if_present(portal, dat::kDefaultRegionId, &ft::Region::unpack);
  if (!region || !region->sky) return ids;
  for (const auto& group : region->sky->day_groups)
    for (const auto& object : group.sky_objects) ids.push_back(sky_object_script(portal, object));
  return common::sorted_unique_ids(std::move(ids));
}

// The lowest-id default script of the stored setups that the sky does not run
// and that has a particle hook; failing that, the lowest such script without
// one (swap_emitter then gives it its first emitter). Either way only the
// landblocks placing those setups change.
Result<std::uint32_t> placed_script(const dat::DatDatabase& portal) {
  const std::vector<std::uint32_t> sky = sky_scripts(portal);
  std::vector<std::uint32_t> scripts;
  for (const dat::DatFileEntry& entry : portal.entries()) {
    if (!dat::is_setup_model_id(entry.id)) continue;
    const auto setup = decode_if_present(portal, entry.id, &ft::SetupModel::unpack);
    if (setup && setup->default_script_id && !std::binary_search(sky.begin(), sky.end(), *setup->default_script_id))
      scripts.push_back(*setup->default_script_id);
  }
  std::optional<std::uint32_t> without_emitter;
  for (const std::uint32_t id : common::sorted_unique_ids(std::move(scripts))) {
    const auto script = decode_if_present(portal, id, &ft::PhysicsScript::read);
    if (!script) continue;
    for (const auto& entry : script->script_data)
      if (ft::particle_hook_fields(entry.hook)) return id;
    if (!without_emitter) without_emitter = id;
  }
  if (without_emitter) return *without_emitter;
  return std::unexpected(fail_text("no setup's default script outside the sky decodes"));
}

// The day group's bytes begin with its chance and its name's 2-byte length
// and text; found by that pattern, which must occur once.
Result<NewFile> halve_quiet_day_group_chance(const dat::DatDatabase& portal, std::vector<std::string>& changes) {
  const std::uint32_t region_id = dat::kDefaultRegionId;
  auto bytes = fetch(portal, region_id);
  if (!bytes) return std::unexpected(bytes.error());
  auto region = decode(*bytes, region_id, &ft::Region::unpack);
  if (!region) return std::unexpected(region.error());
  if (!region->sky) return std::unexpected(fail_text("the region has no sky"));
  auto& groups = region->sky->day_groups;
  for (std::size_t g = 0; g < groups.size(); ++g) {
    if (yields_particles(portal, groups[g])) continue;
    std::vector<std::uint8_t> pattern(6 + groups[g].name.size());
    const std::uint32_t bits = std::bit_cast<std::uint32_t>(groups[g].chance);
    for (int k = 0; k < 4; ++k) pattern[static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(bits >> (8 * k));
    pattern[4] = static_cast<std::uint8_t>(groups[g].name.size());
    pattern[5] = static_cast<std::uint8_t>(groups[g].name.size() >> 8);
    std::memcpy(pattern.data() + 6, groups[g].name.data(), groups[g].name.size());
    const auto at = std::search(bytes->begin(), bytes->end(), pattern.begin(), pattern.end());
    if (at == bytes->end() || std::search(at + 1, bytes->end(), pattern.begin(), pattern.end()) != bytes->end())
      return std::unexpected(fail_text("day group \"" + groups[g].name + "\" not found once in the region"));
    const float old_chance = groups[g].chance;
    const float chance = old_chance / 2.0f;
    const auto new_bits = std::bit_cast<std::uint32_t>(chance);
    for (int k = 0; k < 4; ++k) at[k] = static_cast<std::uint8_t>(new_bits >> (8 * k));
    // The patched region must decode to the old one with that chance alone changed.
    groups[g].chance = chance;
    auto patched = decode(*bytes, region_id, &ft::Region::unpack);
    if (!patched || *patched != *region) return std::unexpected(fail_text("the region's day group did not patch"));
    changes.push_back("region " + common::hex_id(region_id) + ": day group " + std::to_string(g) + " \"" +
                      groups[g].name + "\" (no sky particles) chance " + shortest(old_chance) + " -> " + shortest(chance));
    return NewFile{region_id, std::move(*bytes), stored_compressed(portal, region_id)};
  }
  return std::unexpected(fail_text("every day group yields sky particles"));
}

// The next free setup id after the highest stored one.
Result<std::uint32_t> next_setup_id(const dat::DatDatabase& portal) {
  std::uint32_t highest = 0;
  for (const dat::DatFileEntry& entry : portal.entries())
    if (dat::is_setup_model_id(entry.id)) highest = std::max(highest, entry.id);
  if (highest == 0 || !dat::is_setup_model_id(highest + 1)) return std::unexpected(fail_text("no free setup id"));
  return highest + 1;
}

// The LandblockInfo with one more object at the end of its list: the focus
// setup's placement, under the new id.
Result<std::vector<std::uint8_t>> place_copy(const std::vector<std::uint8_t>& info_bytes, const dat::LandblockInfo& info,
                                             std::size_t stab_index, std::uint32_t new_id) {
  std::vector<std::uint8_t> out = info_bytes;
  const std::size_t end_of_objects = kFirstStabAt + kStabBytes * info.objects.size();
  const std::size_t copied = kFirstStabAt + kStabBytes * stab_index;
  std::vector<std::uint8_t> stab(out.begin() + static_cast<std::ptrdiff_t>(copied),
                                 out.begin() + static_cast<std::ptrdiff_t>(copied + kStabBytes));
  patch_u32(stab, 0, new_id);
  out.insert(out.begin() + static_cast<std::ptrdiff_t>(end_of_objects), stab.begin(), stab.end());
  patch_u32(out, kObjectCountAt, read_u32(out, kObjectCountAt) + 1);
  dat::LandblockInfo expected = info;
  expected.objects.push_back(info.objects[stab_index]);
  expected.objects.back().id = new_id;
  const auto placed = dat::LandblockInfo::unpack(out);
  if (!placed || *placed != expected) return std::unexpected(fail_text("the LandblockInfo did not take the placement"));
  return out;
}

// The archive replaces the one it was made from whole or not at all.
Result<std::uintmax_t> write_archive(const ArchiveWriter& writer, const std::filesystem::path& path,
                                     common::FileSystem& fs) {
  const ArchiveLayout layout = writer.build();
  if (auto r = common::write_output_file(path, layout.bytes, common::Durability::Synced, fs); !r)
    return std::unexpected(
        fail_text(r.error().action + " " + common::display_path(r.error().path) + ": " + r.error().error.message));
  return layout.bytes.size();
}

}  // namespace

std::expected<RevisionReport, std::string> revise_sample_world(const std::filesystem::path& dir,
                                                               std::uint32_t entries_per_node, common::FileSystem& fs) {
  const auto portal_path = dir / dat::kPortalArchiveName;
  const auto cell_path = dir / dat::kCellArchiveName;
  auto portal = dat::DatDatabase::open(portal_path, fs);
  if (!portal) return std::unexpected(fail_text(portal.error().to_string()));
  auto cell = dat::DatDatabase::open(cell_path, fs);
  if (!cell) return std::unexpected(fail_text(cell.error().to_string()));

  RevisionReport report;
  const std::uint32_t info_id = dat::landblock_info_file_id(kSampleFocusLandblock << 16);
  auto info_bytes = fetch(*cell, info_id);
  if (!info_bytes) return std::unexpected(info_bytes.error());
  auto info = dat::LandblockInfo::unpack(*info_bytes);
  if (!info) return std::unexpected(fail_text(common::hex_id(info_id) + ": " + info.error().to_string()));
  auto focus = focus_setup(*portal, *info);
  if (!focus) return std::unexpected(focus.error());

  std::vector<NewFile> portal_files;
  auto script_id = placed_script(*portal);
  if (!script_id) return std::unexpected(script_id.error());
  auto script = swap_emitter(*portal, *script_id, report.changes);
  if (!script) return std::unexpected(script.error());
  portal_files.push_back(std::move(*script));
  auto moved = move_sound_hook(*portal, *focus->model.motion_table_id, report.changes);
  if (!moved) return std::unexpected(moved.error());
  const std::uint32_t moved_id = moved->id;
  portal_files.push_back(std::move(*moved));
  auto region = halve_quiet_day_group_chance(*portal, report.changes);
  if (!region) return std::unexpected(region.error());
  portal_files.push_back(std::move(*region));

  auto new_setup = next_setup_id(*portal);
  if (!new_setup) return std::unexpected(new_setup.error());
  std::vector<std::uint8_t> setup_bytes = focus->bytes;
  patch_u32(setup_bytes, 0, *new_setup);
  auto copied = decode(setup_bytes, *new_setup, &ft::SetupModel::unpack);
  if (!copied || copied->id != *new_setup) return std::unexpected(fail_text("the copied setup did not take its new id"));
  portal_files.push_back({*new_setup, std::move(setup_bytes), false});
  auto placed = place_copy(*info_bytes, *info, focus->stab_index, *new_setup);
  if (!placed) return std::unexpected(placed.error());
  report.changes.push_back("setup " + common::hex_id(*new_setup) + " added (a copy of " + common::hex_id(focus->id) +
                           "), placed in landblock 0xA9B4");

  std::uint32_t removed = 0;
  for (const dat::DatFileEntry& entry : portal->entries())
    if (dat::top_byte(entry.id) == dat::kAnimationTopByte && entry.id != moved_id) removed = std::max(removed, entry.id);
  if (removed == 0) return std::unexpected(fail_text("no animation to remove"));
  report.changes.push_back("animation " + common::hex_id(removed) + " removed");

  auto portal_writer = copy_archive(*portal, entries_per_node);
  if (!portal_writer) return std::unexpected(fail_text(portal_writer.error().to_string()));
  auto cell_writer = copy_archive(*cell, entries_per_node);
  if (!cell_writer) return std::unexpected(fail_text(cell_writer.error().to_string()));
  for (const NewFile& file : portal_files) portal_writer->add_file(file.id, file.bytes, {.compressed = file.compressed});
  portal_writer->remove_file(removed);
  cell_writer->add_file(info_id, *placed, {.compressed = stored_compressed(*cell, info_id)});
  portal_writer->header().game_version += 1;
  cell_writer->header().game_version += 1;

  auto portal_size = write_archive(*portal_writer, portal_path, fs);
  if (!portal_size) return std::unexpected(portal_size.error());
  auto cell_size = write_archive(*cell_writer, cell_path, fs);
  if (!cell_size) return std::unexpected(cell_size.error());
  report.portal_size = *portal_size;
  report.cell_size = *cell_size;
  return report;
}

}  // namespace ravelin::dat_writer
