// The four event families of a manifest, in manifest order, with every name
// each goes by: the bake's list, the manifest's "source" and "trigger" texts
// (also the count keys of bake-all's index), the database table, the Python
// attribute and the name people read. Everything that lists, counts or names
// the families takes them from here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace ravelin::event_bake {

enum class EventFamily : std::uint8_t { Ambient, AnimationSound, PhysicsParticle, Sky };

inline constexpr std::size_t kEventFamilyCount = 4;

struct EventFamilyInfo {
  EventFamily family;
  std::string_view member;   // LandblockEventBake's list: "ambient_terrain_events"
  std::string_view source;   // the manifest's "source": "ambient"
  std::string_view trigger;  // the manifest's "trigger": "terrain"
  std::string_view table;    // the database table of its rows: "ambient"
  std::string_view python;   // the Python Bake attribute: "ambient"
  std::string_view display;  // for people: "ambient"
};

// In manifest order: the order of the lines, of every count and of every list.
inline constexpr std::array<EventFamilyInfo, kEventFamilyCount> kEventFamilies = {{
    {EventFamily::Ambient, "ambient_terrain_events", "ambient", "terrain", "ambient", "ambient", "ambient"},
    {EventFamily::AnimationSound, "anim_hook_events", "animation_sound", "animation_sound", "animation_sound",
     "animation_sound", "animation sound"},
    {EventFamily::PhysicsParticle, "physics_particle_events", "physics_script_particle", "physics_script_particle",
     "physics_script_particle", "physics_particle", "physics particle"},
    {EventFamily::Sky, "sky_particle_events", "sky_chain", "time_of_day", "sky_chain", "sky", "sky chain"},
}};

constexpr std::size_t index_of(EventFamily family) { return static_cast<std::size_t>(family); }
constexpr const EventFamilyInfo& event_family_info(EventFamily family) { return kEventFamilies[index_of(family)]; }

// A count per family, in manifest order.
using EventCounts = std::array<std::size_t, kEventFamilyCount>;

}  // namespace ravelin::event_bake
