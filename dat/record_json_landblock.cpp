#include "dat/record_json_landblock.h"

namespace ravelin::dat {
namespace {

RecordResult<Stab> read_stab(const JsonValue& v) {
  return read_object<Stab>(v, [](JsonObject& o, Stab& s) -> RecordResult<void> {
    RAVELIN_TRY(s.id, hex_member(o, "id"));
    RAVELIN_TRY(s.frame, read_member(o, "frame", expect::kObject, read_landblock_frame));
    return {};
  });
}

RecordResult<StoredPortal> read_portal(const JsonValue& v) {
  return read_object<StoredPortal>(v, [](JsonObject& o, StoredPortal& p) -> RecordResult<void> {
    RAVELIN_TRY(p.flags, u16_member(o, "flags"));
    RAVELIN_TRY(p.other_cell_id, u16_member(o, "other_cell_id"));
    RAVELIN_TRY(p.other_portal_id, u16_member(o, "other_portal_id"));
    RAVELIN_TRY(p.stab_list, list_member<std::uint16_t>(o, "stab_list", as_u16));
    RAVELIN_TRY(p.padding, skipped_member(o, "padding"));
    return {};
  });
}

RecordResult<StoredBuildInfo> read_building(const JsonValue& v) {
  return read_object<StoredBuildInfo>(v, [](JsonObject& o, StoredBuildInfo& b) -> RecordResult<void> {
    RAVELIN_TRY(b.model_id, hex_member(o, "model_id"));
    RAVELIN_TRY(b.frame, read_member(o, "frame", expect::kObject, read_landblock_frame));
    RAVELIN_TRY(b.num_leaves, u32_member(o, "num_leaves"));
    RAVELIN_TRY(b.portals, list_member<StoredPortal>(o, "portals", read_portal));
    return {};
  });
}

RecordResult<StoredRestrictionTable> read_restriction_table(const JsonValue& v) {
  return read_object<StoredRestrictionTable>(v, [](JsonObject& o, StoredRestrictionTable& t) -> RecordResult<void> {
    auto bucket = o.optional("bucket_size");
    if (!bucket) return std::unexpected(bucket.error());
    if (*bucket) RAVELIN_TRY(t.bucket_size, (*bucket)->u16());
    RAVELIN_TRY(t.tables, read_member(o, "tables", expect::kArray, [](const JsonValue& list) {
                  return read_keyed<std::uint32_t, std::uint32_t>(list, expect::kU32, as_u32, expect::kU32, as_u32);
                }));
    return {};
  });
}

}  // namespace

void put(JsonWriter& w, const StoredCellLandblock& c) {
  w.begin_object();
  w.key("id").hex_word(c.id);
  w.key("has_objects").number(c.has_objects);
  put_numbers(w.key("terrain"), c.terrain);
  put_numbers(w.key("height"), c.height);
  put_skipped(w, "padding", c.padding, 1);
  put_trailing(w, c.trailing);
  w.end_object();
}

RecordResult<StoredCellLandblock> read_cell_landblock(const JsonValue& document) {
  return read_object<StoredCellLandblock>(document, [](JsonObject& o, StoredCellLandblock& c) -> RecordResult<void> {
    RAVELIN_TRY(c.id, hex_member(o, "id"));
    RAVELIN_TRY(c.has_objects, u32_member(o, "has_objects"));
    RAVELIN_TRY(c.terrain, read_member(o, "terrain", expect::kArray, [](const JsonValue& v) {
                  return read_fixed<std::uint16_t, kLandblockVertexCount>(v, as_u16);
                }));
    RAVELIN_TRY(c.height, read_member(o, "height", expect::kArray, [](const JsonValue& v) {
                  return read_fixed<std::uint8_t, kLandblockVertexCount>(v, as_u8);
                }));
    RAVELIN_TRY(c.padding, skipped_member(o, "padding"));
    RAVELIN_TRY(c.trailing, trailing_member(o));
    return {};
  });
}

void put(JsonWriter& w, const StoredLandblockInfo& info) {
  w.begin_object();
  w.key("id").hex_word(info.id);
  w.key("num_cells").number(info.num_cells);
  put_list(w.key("objects"), info.objects, [&w](const Stab& s) {
    w.begin_object();
    w.key("id").hex_word(s.id);
    put(w.key("frame"), s.frame);
    w.end_object();
  });
  w.key("pack_mask").number(info.pack_mask);
  put_list(w.key("buildings"), info.buildings, [&w](const StoredBuildInfo& b) {
    w.begin_object();
    w.key("model_id").hex_word(b.model_id);
    put(w.key("frame"), b.frame);
    w.key("num_leaves").number(b.num_leaves);
    put_list(w.key("portals"), b.portals, [&w](const StoredPortal& p) {
      w.begin_object();
      w.key("flags").number(p.flags);
      w.key("other_cell_id").number(p.other_cell_id);
      w.key("other_portal_id").number(p.other_portal_id);
      put_numbers(w.key("stab_list"), p.stab_list);
      put_skipped(w, "padding", p.padding, (p.stab_list.size() & 1u) * 2u);
      w.end_object();
    });
    w.end_object();
  });
  w.key("restriction_tables");
  if (info.restriction_tables) {
    w.begin_object();
    if (info.restriction_tables->bucket_size != 0) w.key("bucket_size").number(info.restriction_tables->bucket_size);
    put_keyed(w.key("tables"), info.restriction_tables->tables, [&w](std::uint32_t k) { w.number(k); },
              [&w](std::uint32_t v) { w.number(v); });
    w.end_object();
  } else {
    w.null();
  }
  put_trailing(w, info.trailing);
  w.end_object();
}

RecordResult<StoredLandblockInfo> read_landblock_info(const JsonValue& document) {
  return read_object<StoredLandblockInfo>(document, [](JsonObject& o, StoredLandblockInfo& info) -> RecordResult<void> {
    RAVELIN_TRY(info.id, hex_member(o, "id"));
    RAVELIN_TRY(info.num_cells, u32_member(o, "num_cells"));
    RAVELIN_TRY(info.objects, list_member<Stab>(o, "objects", read_stab));
    RAVELIN_TRY(info.pack_mask, u16_member(o, "pack_mask"));
    RAVELIN_TRY(info.buildings, list_member<StoredBuildInfo>(o, "buildings", read_building));
    RAVELIN_TRY(info.restriction_tables,
                optional_member<StoredRestrictionTable>(o, "restriction_tables", read_restriction_table));
    RAVELIN_TRY(info.trailing, trailing_member(o));
    return {};
  });
}

}  // namespace ravelin::dat
