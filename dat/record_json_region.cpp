#include "dat/record_json_region.h"

#include <array>

namespace ravelin::dat {
namespace {

namespace ft = file_type;
// The shared writers, which this file's own put overloads would hide.
using dat::put;

constexpr std::array<std::string_view, 11> kSkyTimeWords = {"word_0", "word_1", "word_2", "word_3",
                                                            "word_4", "word_5", "word_6", "word_7",
                                                            "word_8", "word_9", "word_10"};

// --- writing ------------------------------------------------------------------------

void put(JsonWriter& w, const ft::StoredGameTime& t) {
  w.begin_object();
  put_f64(w, "time_value", t.time_value);
  w.key("time_word_1").hex_word(t.time_word_1);
  w.key("time_word_2").hex_word(t.time_word_2);
  w.key("time_word_3").hex_word(t.time_word_3);
  put_text(w, "name", t.name);
  put_list(w.key("times_of_day"), t.times_of_day, [&w](const ft::StoredTimeOfDay& d) {
    w.begin_object();
    w.key("value").hex_word(d.value);
    w.key("flag").boolean(d.flag_word != 0);
    // The decoder keeps only whether the word is 0.
    if (d.flag_word > 1) w.key("flag_word").number(d.flag_word);
    put_text(w, "name", d.name);
    w.end_object();
  });
  put_texts(w, "names", t.names);
  put_list(w.key("seasons"), t.seasons, [&w](const ft::StoredSeason& s) {
    w.begin_object();
    w.key("value").hex_word(s.value);
    put_text(w, "name", s.name);
    w.end_object();
  });
  w.end_object();
}

void put(JsonWriter& w, const ft::SkyObject& o) {
  w.begin_object();
  put_f32(w, "active_start", o.active_start);
  put_f32(w, "active_end", o.active_end);
  w.key("word_2").hex_word(o.word_2);
  w.key("word_3").hex_word(o.word_3);
  w.key("word_4").hex_word(o.word_4);
  w.key("word_5").hex_word(o.word_5);
  w.key("object_id").hex_word(o.object_id);
  w.key("script_id").hex_word(o.script_id);
  w.key("word_8").hex_word(o.word_8);
  w.end_object();
}

void put(JsonWriter& w, const ft::SkyTimeOfDay& t) {
  w.begin_object();
  for (std::size_t i = 0; i < t.words.size(); ++i) w.key(kSkyTimeWords[i]).hex_word(t.words[i]);
  put_list(w.key("time_entries"), t.time_entries, [&w](const ft::SkyTimeEntry& e) {
    w.begin_object();
    w.key("word_0").hex_word(e.word_0);
    w.key("word_1").hex_word(e.word_1);
    w.key("word_2").hex_word(e.word_2);
    w.key("word_3").hex_word(e.word_3);
    w.key("word_4").hex_word(e.word_4);
    w.key("word_5").hex_word(e.word_5);
    w.end_object();
  });
  w.end_object();
}

void put(JsonWriter& w, const ft::StoredSkyDesc& sky) {
  w.begin_object();
  put_f64(w, "sky_value_1", sky.sky_value_1);
  put_f64(w, "sky_value_2", sky.sky_value_2);
  put_list(w.key("day_groups"), sky.day_groups, [&w](const ft::StoredDayGroup& g) {
    w.begin_object();
    put_f32(w, "chance", g.chance);
    put_text(w, "name", g.name);
    put_list(w.key("sky_objects"), g.sky_objects, [&w](const ft::SkyObject& o) { put(w, o); });
    put_list(w.key("sky_times"), g.sky_times, [&w](const ft::SkyTimeOfDay& t) { put(w, t); });
    w.end_object();
  });
  w.end_object();
}

void put(JsonWriter& w, const ft::SoundDesc& sound) {
  w.begin_object();
  put_list(w.key("stb_descs"), sound.stb_descs, [&w](const ft::AmbientSTBDesc& d) {
    w.begin_object();
    w.key("stb_id").hex_word(d.stb_id);
    put_list(w.key("ambient_sounds"), d.ambient_sounds, [&w](const ft::AmbientSound& s) {
      w.begin_object();
      w.key("s_type").number(s.s_type);
      put_f32(w, "volume", s.volume);
      put_f32(w, "base_chance", s.base_chance);
      put_f32(w, "min_rate", s.min_rate);
      put_f32(w, "max_rate", s.max_rate);
      w.end_object();
    });
    w.end_object();
  });
  w.end_object();
}

void put(JsonWriter& w, const ft::SceneDesc& scene) {
  w.begin_object();
  put_list(w.key("scene_types"), scene.scene_types, [&w](const ft::SceneType& t) {
    w.begin_object();
    w.key("stb_index").signed_number(t.stb_index);
    put_numbers(w.key("scenes"), t.scenes);
    w.end_object();
  });
  w.end_object();
}

void put(JsonWriter& w, const ft::StoredTerrainDesc& terrain) {
  w.begin_object();
  put_list(w.key("terrain_types"), terrain.terrain_types, [&w](const ft::StoredTerrainType& t) {
    w.begin_object();
    put_text(w, "name", t.name);
    w.key("tag").hex_word(t.tag);
    put_numbers(w.key("scene_info_indices"), t.scene_info_indices);
    w.end_object();
  });
  w.key("surface_word_1").hex_word(terrain.surface_word_1);
  w.key("surface_word_2").hex_word(terrain.surface_word_2);
  const auto pairs = [](JsonWriter& out, const std::vector<ft::WordPair>& list) {
    put_list(out, list, [&out](const ft::WordPair& p) { put_hex_words(out, std::array{p.first, p.second}); });
  };
  pairs(w.key("pair_list_1"), terrain.pair_list_1);
  pairs(w.key("pair_list_2"), terrain.pair_list_2);
  pairs(w.key("pair_list_3"), terrain.pair_list_3);
  put_list(w.key("surface_entries"), terrain.surface_entries, [&w](const auto& e) { put_hex_words(w, e); });
  w.end_object();
}

void put(JsonWriter& w, const ft::RegionMisc& m) {
  w.begin_object();
  w.key("misc_word_1").hex_word(m.misc_word_1);
  w.key("misc_word_2").hex_word(m.misc_word_2);
  w.key("misc_word_3").hex_word(m.misc_word_3);
  w.key("misc_word_4").hex_word(m.misc_word_4);
  w.key("misc_word_5").hex_word(m.misc_word_5);
  w.key("misc_word_6").hex_word(m.misc_word_6);
  w.end_object();
}

template <class T>
void put_optional(JsonWriter& w, const std::optional<T>& value) {
  if (value) {
    put(w, *value);
  } else {
    w.null();
  }
}

// --- reading ------------------------------------------------------------------------

RecordResult<ft::StoredGameTime> read_game_time(const JsonValue& v) {
  return read_object<ft::StoredGameTime>(v, [](JsonObject& o, ft::StoredGameTime& t) -> RecordResult<void> {
    RAVELIN_TRY(t.time_value, f64_member(o, "time_value"));
    RAVELIN_TRY(t.time_word_1, hex_member(o, "time_word_1"));
    RAVELIN_TRY(t.time_word_2, hex_member(o, "time_word_2"));
    RAVELIN_TRY(t.time_word_3, hex_member(o, "time_word_3"));
    RAVELIN_TRY(t.name, text_member(o, "name"));
    RAVELIN_TRY(t.times_of_day, list_member<ft::StoredTimeOfDay>(o, "times_of_day", [](const JsonValue& e) {
                  return read_object<ft::StoredTimeOfDay>(e, [](JsonObject& d, ft::StoredTimeOfDay& out) -> RecordResult<void> {
                    RAVELIN_TRY(out.value, hex_member(d, "value"));
                    bool flag = false;
                    RAVELIN_TRY(flag, boolean_member(d, "flag"));
                    out.flag_word = flag ? 1 : 0;
                    auto word = d.optional("flag_word");
                    if (!word) return std::unexpected(word.error());
                    if (*word) {
                      RAVELIN_TRY(out.flag_word, (*word)->u32());
                      if ((out.flag_word != 0) != flag)
                        return (*word)->fail(flag ? "a word other than 0: flag is true" : "0: flag is false");
                    }
                    RAVELIN_TRY(out.name, text_member(d, "name"));
                    return {};
                  });
                }));
    RAVELIN_TRY(t.names, texts_member(o, "names"));
    RAVELIN_TRY(t.seasons, list_member<ft::StoredSeason>(o, "seasons", [](const JsonValue& e) {
                  return read_object<ft::StoredSeason>(e, [](JsonObject& s, ft::StoredSeason& out) -> RecordResult<void> {
                    RAVELIN_TRY(out.value, hex_member(s, "value"));
                    RAVELIN_TRY(out.name, text_member(s, "name"));
                    return {};
                  });
                }));
    return {};
  });
}

RecordResult<ft::SkyObject> read_sky_object(const JsonValue& v) {
  return read_object<ft::SkyObject>(v, [](JsonObject& o, ft::SkyObject& out) -> RecordResult<void> {
    RAVELIN_TRY(out.active_start, f32_member(o, "active_start"));
    RAVELIN_TRY(out.active_end, f32_member(o, "active_end"));
    RAVELIN_TRY(out.word_2, hex_member(o, "word_2"));
    RAVELIN_TRY(out.word_3, hex_member(o, "word_3"));
    RAVELIN_TRY(out.word_4, hex_member(o, "word_4"));
    RAVELIN_TRY(out.word_5, hex_member(o, "word_5"));
    RAVELIN_TRY(out.object_id, hex_member(o, "object_id"));
    RAVELIN_TRY(out.script_id, hex_member(o, "script_id"));
    RAVELIN_TRY(out.word_8, hex_member(o, "word_8"));
    return {};
  });
}

RecordResult<ft::SkyTimeOfDay> read_sky_time(const JsonValue& v) {
  return read_object<ft::SkyTimeOfDay>(v, [](JsonObject& o, ft::SkyTimeOfDay& out) -> RecordResult<void> {
    for (std::size_t i = 0; i < out.words.size(); ++i) RAVELIN_TRY(out.words[i], hex_member(o, kSkyTimeWords[i]));
    RAVELIN_TRY(out.time_entries, list_member<ft::SkyTimeEntry>(o, "time_entries", [](const JsonValue& e) {
                  return read_object<ft::SkyTimeEntry>(e, [](JsonObject& t, ft::SkyTimeEntry& entry) -> RecordResult<void> {
                    RAVELIN_TRY(entry.word_0, hex_member(t, "word_0"));
                    RAVELIN_TRY(entry.word_1, hex_member(t, "word_1"));
                    RAVELIN_TRY(entry.word_2, hex_member(t, "word_2"));
                    RAVELIN_TRY(entry.word_3, hex_member(t, "word_3"));
                    RAVELIN_TRY(entry.word_4, hex_member(t, "word_4"));
                    RAVELIN_TRY(entry.word_5, hex_member(t, "word_5"));
                    return {};
                  });
                }));
    return {};
  });
}

RecordResult<ft::StoredSkyDesc> read_sky(const JsonValue& v) {
  return read_object<ft::StoredSkyDesc>(v, [](JsonObject& o, ft::StoredSkyDesc& sky) -> RecordResult<void> {
    RAVELIN_TRY(sky.sky_value_1, f64_member(o, "sky_value_1"));
    RAVELIN_TRY(sky.sky_value_2, f64_member(o, "sky_value_2"));
    RAVELIN_TRY(sky.day_groups, list_member<ft::StoredDayGroup>(o, "day_groups", [](const JsonValue& e) {
                  return read_object<ft::StoredDayGroup>(e, [](JsonObject& g, ft::StoredDayGroup& out) -> RecordResult<void> {
                    RAVELIN_TRY(out.chance, f32_member(g, "chance"));
                    RAVELIN_TRY(out.name, text_member(g, "name"));
                    RAVELIN_TRY(out.sky_objects, list_member<ft::SkyObject>(g, "sky_objects", read_sky_object));
                    RAVELIN_TRY(out.sky_times, list_member<ft::SkyTimeOfDay>(g, "sky_times", read_sky_time));
                    return {};
                  });
                }));
    return {};
  });
}

RecordResult<ft::SoundDesc> read_sound(const JsonValue& v) {
  return read_object<ft::SoundDesc>(v, [](JsonObject& o, ft::SoundDesc& sound) -> RecordResult<void> {
    RAVELIN_TRY(sound.stb_descs, list_member<ft::AmbientSTBDesc>(o, "stb_descs", [](const JsonValue& e) {
                  return read_object<ft::AmbientSTBDesc>(e, [](JsonObject& d, ft::AmbientSTBDesc& out) -> RecordResult<void> {
                    RAVELIN_TRY(out.stb_id, hex_member(d, "stb_id"));
                    RAVELIN_TRY(out.ambient_sounds, list_member<ft::AmbientSound>(d, "ambient_sounds", [](const JsonValue& s) {
                                  return read_object<ft::AmbientSound>(s, [](JsonObject& a, ft::AmbientSound& sound) -> RecordResult<void> {
                                    RAVELIN_TRY(sound.s_type, u32_member(a, "s_type"));
                                    RAVELIN_TRY(sound.volume, f32_member(a, "volume"));
                                    RAVELIN_TRY(sound.base_chance, f32_member(a, "base_chance"));
                                    RAVELIN_TRY(sound.min_rate, f32_member(a, "min_rate"));
                                    RAVELIN_TRY(sound.max_rate, f32_member(a, "max_rate"));
                                    return {};
                                  });
                                }));
                    return {};
                  });
                }));
    return {};
  });
}

RecordResult<ft::SceneDesc> read_scene(const JsonValue& v) {
  return read_object<ft::SceneDesc>(v, [](JsonObject& o, ft::SceneDesc& scene) -> RecordResult<void> {
    RAVELIN_TRY(scene.scene_types, list_member<ft::SceneType>(o, "scene_types", [](const JsonValue& e) {
                  return read_object<ft::SceneType>(e, [](JsonObject& t, ft::SceneType& out) -> RecordResult<void> {
                    RAVELIN_TRY(out.stb_index, i32_member(t, "stb_index"));
                    RAVELIN_TRY(out.scenes, list_member<std::uint32_t>(t, "scenes", as_u32));
                    return {};
                  });
                }));
    return {};
  });
}

RecordResult<ft::WordPair> read_pair(const JsonValue& v) {
  std::array<std::uint32_t, 2> words{};
  RAVELIN_TRY(words, (read_fixed<std::uint32_t, 2>(v, as_hex)));
  return ft::WordPair{words[0], words[1]};
}

RecordResult<ft::StoredTerrainDesc> read_terrain(const JsonValue& v) {
  return read_object<ft::StoredTerrainDesc>(v, [](JsonObject& o, ft::StoredTerrainDesc& t) -> RecordResult<void> {
    RAVELIN_TRY(t.terrain_types, list_member<ft::StoredTerrainType>(o, "terrain_types", [](const JsonValue& e) {
                  return read_object<ft::StoredTerrainType>(e, [](JsonObject& tt, ft::StoredTerrainType& out) -> RecordResult<void> {
                    RAVELIN_TRY(out.name, text_member(tt, "name"));
                    RAVELIN_TRY(out.tag, hex_member(tt, "tag"));
                    RAVELIN_TRY(out.scene_info_indices, list_member<std::uint32_t>(tt, "scene_info_indices", as_u32));
                    return {};
                  });
                }));
    RAVELIN_TRY(t.surface_word_1, hex_member(o, "surface_word_1"));
    RAVELIN_TRY(t.surface_word_2, hex_member(o, "surface_word_2"));
    RAVELIN_TRY(t.pair_list_1, list_member<ft::WordPair>(o, "pair_list_1", read_pair));
    RAVELIN_TRY(t.pair_list_2, list_member<ft::WordPair>(o, "pair_list_2", read_pair));
    RAVELIN_TRY(t.pair_list_3, list_member<ft::WordPair>(o, "pair_list_3", read_pair));
    RAVELIN_TRY(t.surface_entries,
                (list_member<std::array<std::uint32_t, 11>>(o, "surface_entries", [](const JsonValue& e) {
                  return read_fixed<std::uint32_t, 11>(e, as_hex);
                })));
    return {};
  });
}

RecordResult<ft::RegionMisc> read_misc(const JsonValue& v) {
  return read_object<ft::RegionMisc>(v, [](JsonObject& o, ft::RegionMisc& m) -> RecordResult<void> {
    RAVELIN_TRY(m.misc_word_1, hex_member(o, "misc_word_1"));
    RAVELIN_TRY(m.misc_word_2, hex_member(o, "misc_word_2"));
    RAVELIN_TRY(m.misc_word_3, hex_member(o, "misc_word_3"));
    RAVELIN_TRY(m.misc_word_4, hex_member(o, "misc_word_4"));
    RAVELIN_TRY(m.misc_word_5, hex_member(o, "misc_word_5"));
    RAVELIN_TRY(m.misc_word_6, hex_member(o, "misc_word_6"));
    return {};
  });
}

}  // namespace

void put(JsonWriter& w, const ft::StoredRegion& r) {
  w.begin_object();
  w.key("id").hex_word(r.id);
  w.key("header_word_1").hex_word(r.header_word_1);
  w.key("header_word_2").hex_word(r.header_word_2);
  put_text(w, "name", r.name);
  put_hex_words(w.key("region_words"), r.region_words);
  put_hex_words(w.key("region_table"), r.region_table);
  put(w.key("game_time"), r.game_time);
  w.key("section_mask").number(r.section_mask);
  put_optional(w.key("sky"), r.sky);
  put_optional(w.key("sound"), r.sound);
  put_optional(w.key("scene"), r.scene);
  put(w.key("terrain"), r.terrain);
  put_optional(w.key("misc"), r.misc);
  put_trailing(w, r.trailing);
  w.end_object();
}

RecordResult<ft::StoredRegion> read_region(const JsonValue& document) {
  return read_object<ft::StoredRegion>(document, [](JsonObject& o, ft::StoredRegion& r) -> RecordResult<void> {
    RAVELIN_TRY(r.id, hex_member(o, "id"));
    RAVELIN_TRY(r.header_word_1, hex_member(o, "header_word_1"));
    RAVELIN_TRY(r.header_word_2, hex_member(o, "header_word_2"));
    RAVELIN_TRY(r.name, text_member(o, "name"));
    RAVELIN_TRY(r.region_words, read_member(o, "region_words", expect::kArray, [](const JsonValue& v) {
                  return read_fixed<std::uint32_t, 8>(v, as_hex);
                }));
    RAVELIN_TRY(r.region_table, read_member(o, "region_table", expect::kArray, [](const JsonValue& v) {
                  return read_fixed<std::uint32_t, 256>(v, as_hex);
                }));
    RAVELIN_TRY(r.game_time, read_member(o, "game_time", expect::kObject, read_game_time));
    RAVELIN_TRY(r.section_mask, u32_member(o, "section_mask"));
    RAVELIN_TRY(r.sky, optional_member<ft::StoredSkyDesc>(o, "sky", read_sky));
    RAVELIN_TRY(r.sound, optional_member<ft::SoundDesc>(o, "sound", read_sound));
    RAVELIN_TRY(r.scene, optional_member<ft::SceneDesc>(o, "scene", read_scene));
    RAVELIN_TRY(r.terrain, read_member(o, "terrain", expect::kObject, read_terrain));
    RAVELIN_TRY(r.misc, optional_member<ft::RegionMisc>(o, "misc", read_misc));
    RAVELIN_TRY(r.trailing, trailing_member(o));
    return {};
  });
}

}  // namespace ravelin::dat
