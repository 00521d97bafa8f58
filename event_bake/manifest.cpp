#include "ravelin/event_bake/manifest.h"

#include <algorithm>
#include <array>
#include <cstddef>

#include "event_bake/debug_render.h"
#include "ravelin/common/json_text.h"

namespace ravelin::event_bake {
namespace {

// A text literal as a template argument.
template <std::size_t N>
struct Literal {
  char text[N];
  constexpr Literal(const char (&literal)[N]) { std::copy_n(literal, N, text); }
  constexpr std::string_view view() const { return {text, N - 1}; }
};

// A text made at compile time, held by value.
template <std::size_t N>
struct FixedText {
  std::array<char, N> chars{};
  constexpr std::string_view view() const { return {chars.data(), N}; }
};

// The start of every line of `family`: its "source" and "trigger" from the
// family table, then `rest`, the line's first key up to its value. Made at
// compile time, so a line begins with one append of a constant, as it would
// with the whole head spelled as one literal.
template <EventFamily family, Literal rest>
constexpr auto make_line_head() {
  constexpr std::array<std::string_view, 6> parts = {
      R"({"source":")", event_family_info(family).source, R"(","trigger":")", event_family_info(family).trigger,
      R"(",)", rest.view()};
  constexpr std::size_t size = [&] {
    std::size_t total = 0;
    for (const std::string_view part : parts) total += part.size();
    return total;
  }();
  FixedText<size> head;
  auto at = head.chars.begin();
  for (const std::string_view part : parts) at = std::copy(part.begin(), part.end(), at);
  return head;
}

template <EventFamily family, Literal rest>
inline constexpr auto kLineHead = make_line_head<family, rest>();

template <EventFamily family, Literal rest>
constexpr std::string_view line_head() {
  return kLineHead<family, rest>.view();
}

// "[1,2,3]" without blanks.
void append_integer_array(std::string& out, const std::vector<std::uint32_t>& values) {
  out += '[';
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i != 0) out += ',';
    common::append_decimal(out, values[i]);
  }
  out += ']';
}

void append_bool(std::string& out, bool value) { out += value ? "true" : "false"; }

void append_ambient_line(std::string& line, const AmbientTrigger& e) {
  line += line_head<EventFamily::Ambient, R"("terrain_type":)">();
  common::append_decimal(line, e.terrain_type);
  line += R"(,"scene_type":)";
  common::append_decimal(line, e.scene_type);
  line += R"(,"scene_info_idx":)";
  common::append_decimal(line, e.scene_info_idx);
  line += R"(,"stb_index":)";
  common::append_decimal(line, e.stb_index);
  line += R"(,"stb_id":")";
  common::append_hex_id(line, e.stb_id);
  line += R"(","vertex_indices":)";
  append_integer_array(line, e.vertex_indices);
  line += R"(,"ambient_sounds":[)";
  for (std::size_t i = 0; i < e.ambient_sounds.size(); ++i) {
    const AmbientSoundRecord& s = e.ambient_sounds[i];
    if (i != 0) line += ',';
    line += R"({"s_type":)";
    common::append_decimal(line, s.s_type);
    line += R"(,"volume":)";
    common::append_fixed6(line, s.volume);
    line += R"(,"base_chance":)";
    common::append_fixed6(line, s.base_chance);
    line += R"(,"min_rate":)";
    common::append_fixed6(line, s.min_rate);
    line += R"(,"max_rate":)";
    common::append_fixed6(line, s.max_rate);
    line += R"(,"continuous":)";
    append_bool(line, s.continuous);
    line += '}';
  }
  line += "]}\n";
}

void append_anim_sound_line(std::string& line, const AnimSoundTrigger& e) {
  line += line_head<EventFamily::AnimationSound, R"("csetup_id":")">();
  common::append_hex_id(line, e.csetup_id);
  line += R"(","motion_table_id":")";
  common::append_hex_id(line, e.motion_table_id);
  line += R"(","motion_key":")";
  common::append_hex_id(line, e.motion_key);
  line += R"(","motion_kind":)";
  common::append_decimal(line, e.motion_kind);
  line += R"(,"link_outer_key":)";
  if (e.link_outer_key) {
    common::append_decimal(line, *e.link_outer_key);
  } else {
    line += "null";
  }
  line += R"(,"is_default_stance":)";
  append_bool(line, e.is_default_stance);
  line += R"(,"animation_did":")";
  common::append_hex_id(line, e.animation_did);
  line += R"(","hook_frame":)";
  common::append_decimal(line, e.hook_frame);
  line += R"(,"hook_type":)";
  common::append_decimal(line, e.hook_type);
  line += R"(,"sound_id":)";
  common::append_decimal(line, e.sound_id);
  line += R"(,"priority":)";
  common::append_fixed6(line, e.priority);
  line += R"(,"probability":)";
  common::append_fixed6(line, e.probability);
  line += R"(,"volume":)";
  common::append_fixed6(line, e.volume);
  line += "}\n";
}

void append_particle_line(std::string& line, const PhysicsScriptParticleTrigger& e) {
  line += line_head<EventFamily::PhysicsParticle, R"("default_script_id":")">();
  common::append_hex_id(line, e.default_script_id);
  line += R"(","start_time_s":)";
  common::append_fixed6(line, e.start_time_s);
  line += R"(,"emitter_id":")";
  common::append_hex_id(line, e.emitter_id);
  line += R"(","part_index":)";
  common::append_decimal(line, e.part_index);
  line += R"(,"blocking":)";
  append_bool(line, e.blocking);
  line += R"(,"anchor":"entity_origin"})";
  line += '\n';
}

void append_sky_line(std::string& line, const SkyParticleTrigger& e) {
  line += line_head<EventFamily::Sky, R"("day_group_idx":)">();
  common::append_decimal(line, e.day_group_idx);
  line += R"(,"day_group_name":")";
  common::append_json_string_content(line, e.day_group_name);
  line += R"(","day_group_chance":)";
  common::append_fixed6(line, e.day_group_chance);
  line += R"(,"active_fraction_start":)";
  common::append_fixed6(line, e.active_fraction_start);
  line += R"(,"active_fraction_end":)";
  common::append_fixed6(line, e.active_fraction_end);
  line += R"(,"sky_object_idx":)";
  common::append_decimal(line, e.sky_object_idx);
  line += R"(,"sky_object_id":")";
  common::append_hex_id(line, e.sky_object_id);
  line += R"(","physics_script_id":")";
  common::append_hex_id(line, e.physics_script_id);
  line += R"(","physics_script_source":")";
  line += jsonl_name(e.physics_script_source);
  line += R"(","hook_idx":)";
  common::append_decimal(line, e.hook_idx);
  line += R"(,"start_time_s":)";
  common::append_fixed6(line, e.start_time_s);
  line += R"(,"emitter_id":")";
  common::append_hex_id(line, e.emitter_id);
  line += R"(","blocking":)";
  append_bool(line, e.blocking);
  line += R"(,"anchor":"sky_cell_origin"})";
  line += '\n';
}

// Builds each line completely in `line` (reused) before it joins `out`.
template <class Record, class Build>
void append_lines(std::string& out, std::string& line, const std::vector<Record>& records,
                  Build build) {
  for (const Record& record : records) {
    line.clear();
    build(line, record);
    out += line;
  }
}

template <class Record>
void append_record_list(std::string& out, const std::vector<Record>& records) {
  append_debug_list(out, records, [](std::string& o, const Record& r) { o += r.debug_string(); });
}

}  // namespace

EventCounts LandblockEventBake::counts() const {
  return {ambient_terrain_events.size(), anim_hook_events.size(), physics_particle_events.size(),
          sky_particle_events.size()};
}

std::string LandblockEventBake::to_jsonl_bytes() const {
  std::string out;
  std::string line;
  append_lines(out, line, ambient_terrain_events, append_ambient_line);
  append_lines(out, line, anim_hook_events, append_anim_sound_line);
  append_lines(out, line, physics_particle_events, append_particle_line);
  append_lines(out, line, sky_particle_events, append_sky_line);
  return out;
}

void LandblockEventBake::for_each_jsonl_line(const std::function<void(std::string_view)>& line) const {
  std::string text;
  const auto each = [&](const auto& records, auto build) {
    for (const auto& record : records) {
      text.clear();
      build(text, record);
      line(text);
    }
  };
  each(ambient_terrain_events, append_ambient_line);
  each(anim_hook_events, append_anim_sound_line);
  each(physics_particle_events, append_particle_line);
  each(sky_particle_events, append_sky_line);
}

std::string LandblockEventBake::debug_string() const {
  std::string out = "LandblockEventBake { landblock_id: ";
  common::append_decimal(out, landblock_id);
  out += ", region_did: ";
  common::append_decimal(out, region_did);
  out += ", ambient_terrain_events: ";
  append_record_list(out, ambient_terrain_events);
  out += ", anim_hook_events: ";
  append_record_list(out, anim_hook_events);
  out += ", physics_particle_events: ";
  append_record_list(out, physics_particle_events);
  out += ", sky_particle_events: ";
  append_record_list(out, sky_particle_events);
  out += " }";
  return out;
}

}  // namespace ravelin::event_bake

