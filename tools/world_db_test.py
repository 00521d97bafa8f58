#!/usr/bin/env python3
"""bake-all --db end to end, with Python's sqlite3 and Debian's sqlite3 CLI:
the schema, every event row written back into manifest lines equal to the
bytes `ravelin-bake bake` writes (sample world and a random world with a NaN),
the placed objects and spawns lines, the meta table, and bad input.

    world_db_test.py RAVELIN_BAKE RANDOM_WORLD_WRITER WORK_DIR
"""
import json
import math
import os
import shutil
import sqlite3
import struct
import subprocess
import sys

bake, random_world, work = sys.argv[1:4]
failures = []


def check(name, ok, detail=""):
    if not ok:
        failures.append(name)
        print(f"FAIL: {name} {detail}", file=sys.stderr)


def run(*args, **kw):
    return subprocess.run([bake, *args], capture_output=True, text=True, **kw)


# The manifest's value renderings (what manifest.cpp writes).
def fixed(value):
    if value is None:  # a NaN, stored as NULL
        return "NaN"
    if math.isinf(value):
        return "inf" if value > 0 else "-inf"
    return "%.6f" % (value if value != 0 else 0.0)


def hex_id(value):
    return '"0x%08X"' % value


def boolean(value):
    return "true" if value else "false"


def escaped(text):
    return text.replace("\\", "\\\\").replace('"', '\\"')


def ambient_line(row, sounds):
    sound_objects = ",".join(
        '{"s_type":%d,"volume":%s,"base_chance":%s,"min_rate":%s,"max_rate":%s,"continuous":%s}'
        % (s["s_type"], fixed(s["volume"]), fixed(s["base_chance"]), fixed(s["min_rate"]), fixed(s["max_rate"]),
           boolean(s["continuous"])) for s in sounds)
    return ('{"source":"ambient","trigger":"terrain","terrain_type":%d,"scene_type":%d,"scene_info_idx":%d,'
            '"stb_index":%d,"stb_id":%s,"vertex_indices":%s,"ambient_sounds":[%s]}\n'
            % (row["terrain_type"], row["scene_type"], row["scene_info_idx"], row["stb_index"], hex_id(row["stb_id"]),
               row["vertex_indices"], sound_objects))


def animation_line(r):
    link = "null" if r["link_outer_key"] is None else str(r["link_outer_key"])
    return ('{"source":"animation_sound","trigger":"animation_sound","csetup_id":%s,"motion_table_id":%s,'
            '"motion_key":%s,"motion_kind":%d,"link_outer_key":%s,"is_default_stance":%s,"animation_did":%s,'
            '"hook_frame":%d,"hook_type":%d,"sound_id":%d,"priority":%s,"probability":%s,"volume":%s}\n'
            % (hex_id(r["csetup_id"]), hex_id(r["motion_table_id"]), hex_id(r["motion_key"]), r["motion_kind"], link,
               boolean(r["is_default_stance"]), hex_id(r["animation_did"]), r["hook_frame"], r["hook_type"],
               r["sound_id"], fixed(r["priority"]), fixed(r["probability"]), fixed(r["volume"])))


def particle_line(r):
    return ('{"source":"physics_script_particle","trigger":"physics_script_particle","default_script_id":%s,'
            '"start_time_s":%s,"emitter_id":%s,"part_index":%d,"blocking":%s,"anchor":"entity_origin"}\n'
            % (hex_id(r["default_script_id"]), fixed(r["start_time_s"]), hex_id(r["emitter_id"]), r["part_index"],
               boolean(r["blocking"])))


def sky_line(r):
    return ('{"source":"sky_chain","trigger":"time_of_day","day_group_idx":%d,"day_group_name":"%s",'
            '"day_group_chance":%s,"active_fraction_start":%s,"active_fraction_end":%s,"sky_object_idx":%d,'
            '"sky_object_id":%s,"physics_script_id":%s,"physics_script_source":"%s","hook_idx":%d,'
            '"start_time_s":%s,"emitter_id":%s,"blocking":%s,"anchor":"sky_cell_origin"}\n'
            % (r["day_group_idx"], escaped(r["day_group_name"]), fixed(r["day_group_chance"]),
               fixed(r["active_fraction_start"]), fixed(r["active_fraction_end"]), r["sky_object_idx"],
               hex_id(r["sky_object_id"]), hex_id(r["physics_script_id"]), r["physics_script_source"], r["hook_idx"],
               fixed(r["start_time_s"]), hex_id(r["emitter_id"]), boolean(r["blocking"])))


def manifest_from_rows(con, landblock_id, with_sky):
    """The manifest of one landblock, written back from its rows; line numbers
    must run 0, 1, 2, ... through the four families in order."""
    q = lambda sql: con.execute(sql, (landblock_id,)).fetchall()
    lines = {}
    for row in q("SELECT * FROM ambient WHERE landblock_id = ? ORDER BY line"):
        sounds = con.execute("SELECT * FROM ambient_sounds WHERE landblock_id = ? AND line = ? ORDER BY sound_idx",
                             (landblock_id, row["line"])).fetchall()
        check("sound_idx runs from 0", [s["sound_idx"] for s in sounds] == list(range(len(sounds))))
        lines[row["line"]] = ambient_line(row, sounds)
    for row in q("SELECT * FROM animation_sound WHERE landblock_id = ? ORDER BY line"):
        lines[row["line"]] = animation_line(row)
    for row in q("SELECT * FROM physics_script_particle WHERE landblock_id = ? ORDER BY line"):
        lines[row["line"]] = particle_line(row)
    check(f"0x{landblock_id:08X} lines numbered 0..n-1", sorted(lines) == list(range(len(lines))))
    text = "".join(lines[k] for k in sorted(lines))
    if with_sky:
        text += "".join(sky_line(r) for r in con.execute("SELECT * FROM sky_chain ORDER BY line"))
    return text


def connect(path):
    con = sqlite3.connect(f"file:{path}?mode=ro", uri=True)
    con.row_factory = sqlite3.Row
    return con


def cli(path, sql):
    return subprocess.run(["sqlite3", "-batch", path, sql], capture_output=True, text=True)


def check_exact(name, world, db, options):
    """Every landblock's rows give the bytes `bake` writes for it."""
    con = connect(db)
    landblocks = con.execute("SELECT * FROM landblocks ORDER BY position").fetchall()
    check(f"{name}: landblocks", len(landblocks) > 0)
    for lb in landblocks:
        lid = lb["landblock_id"]
        one = run("bake", "--dat-dir", world, "--landblock", f"0x{lid:08X}", *options)
        if one.returncode != 0:
            check(f"{name}: 0x{lid:08X} failure as the bake's",
                  lb["error"] is not None and one.stderr.strip() == "error: " + lb["error"]
                  and lb["ambient"] is None and lb["bytes"] is None, one.stderr)
            continue
        text = manifest_from_rows(con, lid, (lb["sky_chain"] or 0) > 0)
        check(f"{name}: 0x{lid:08X} rows give the manifest", text == one.stdout)
        check(f"{name}: 0x{lid:08X} bytes", lb["bytes"] == len(one.stdout.encode()))
        check(f"{name}: 0x{lid:08X} x, y", (lb["x"], lb["y"]) == (lid >> 24, (lid >> 16) & 0xFF))
    return con


os.makedirs(work, exist_ok=True)
sample, rand = os.path.join(work, "sample"), os.path.join(work, "random")
for d in (sample, rand):
    shutil.rmtree(d, ignore_errors=True)
assert run("sample-world", sample).returncode == 0
assert subprocess.run([random_world, rand, "7"]).returncode == 0
spawns = ["--spawns-dir", os.path.join(sample, "spawns"), "--setup-table",
          os.path.join(sample, "spawns", "wcid_to_setup.json")]

# The sample world: database and files from one bake; the index and the rows agree.
db = os.path.join(work, "sample.sqlite")
r = run("bake-all", "--dat-dir", sample, "--db", db, "--out-dir", os.path.join(work, "sample-out"), "--jobs", "2")
check("sample: exit 0", r.returncode == 0, r.stderr)
check("sample: summary names the database", r.stderr.rstrip().endswith("; database: " + db), r.stderr)
con = check_exact("sample", sample, db, [])
index = [json.loads(l) for l in open(os.path.join(work, "sample-out", "index.jsonl"))]
rows = con.execute("SELECT * FROM landblocks ORDER BY position").fetchall()
check("landblocks equal index.jsonl",
      [(int(i["landblock_id"], 16), i["ambient"], i["animation_sound"], i["physics_script_particle"], i["sky_chain"],
        i["bytes"]) for i in index] ==
      [(r["landblock_id"], r["ambient"], r["animation_sound"], r["physics_script_particle"], r["sky_chain"], r["bytes"])
       for r in rows])

# Schema: version, the columns, indexes after the rows.
check("user_version 1", con.execute("PRAGMA user_version").fetchone()[0] == 1)
columns = {t: [c[1] for c in con.execute(f"PRAGMA table_info({t})")] for t in
           ("landblocks", "ambient", "ambient_sounds", "animation_sound", "physics_script_particle", "sky_chain",
            "placed_objects", "spawned_setups", "setups", "meta")}
expected_columns = {
    "landblocks": "landblock_id x y ambient animation_sound physics_script_particle sky_chain bytes error",
    "ambient": "landblock_id line terrain_type scene_type scene_info_idx stb_index stb_id vertex_indices",
    "ambient_sounds": "landblock_id line sound_idx s_type volume base_chance min_rate max_rate continuous",
    "animation_sound": "landblock_id line csetup_id motion_table_id motion_key motion_kind link_outer_key "
                       "is_default_stance animation_did hook_frame hook_type sound_id priority probability volume",
    "physics_script_particle": "landblock_id line default_script_id start_time_s emitter_id part_index blocking",
    "sky_chain": "line day_group_idx day_group_name day_group_chance active_fraction_start active_fraction_end "
                 "sky_object_idx sky_object_id physics_script_id physics_script_source hook_idx start_time_s "
                 "emitter_id blocking",
    "placed_objects": "landblock_id idx id origin_x origin_y origin_z orientation_w orientation_x orientation_y "
                      "orientation_z is_setup",
    "spawned_setups": "landblock_id idx wcid setup_id",
    "setups": "setup_id decoded motion_table_id default_script_id",
    "meta": "key value",
}
for table, names in expected_columns.items():
    check(f"{table} columns", set(names.split()) <= set(columns[table]), columns[table])
indexed = {(row[0], row[1]) for row in con.execute(
    "SELECT m.name, i.name FROM sqlite_master m, pragma_index_info(m.name) i WHERE m.type = 'index' AND m.sql IS NOT NULL")}
indexed_columns = {c for _, c in indexed}
for column in ("sound_id", "emitter_id", "default_script_id", "csetup_id", "stb_id", "physics_script_id", "id"):
    check(f"an index on {column}", column in indexed_columns, indexed)
check("sky once", con.execute("SELECT count(*) FROM sky_chain").fetchone()[0] == index[0]["sky_chain"] > 0)
check("no spawns rows without the spawns options", con.execute("SELECT count(*) FROM spawned_setups").fetchone()[0] == 0)
check("sqlite3 CLI: integrity ok", cli(db, "PRAGMA integrity_check").stdout == "ok\n")
check("sqlite3 CLI: reads the events", cli(db, "SELECT count(*) FROM animation_sound").stdout.strip() ==
      str(sum(i["animation_sound"] for i in index)))

# Meta: the tool, the inputs, and both archives' headers as `dat info` prints them.
meta = dict(con.execute("SELECT key, value FROM meta"))
check("meta: version and schema", meta.get("schema_version") == "1" and
      meta.get("ravelin_version") == run("--version").stdout.split()[-1], meta)
check("meta: inputs", meta.get("dat_dir") == os.path.abspath(sample) and meta.get("region_did") == "0x13000000" and
      meta.get("bake_sky") == "true" and meta.get("entity_source") == "landblock_info", meta)
for archive, file in (("portal", "client_portal.dat"), ("cell", "client_cell_1.dat")):
    info = run("dat", "info", os.path.join(sample, file)).stdout
    for line in info.splitlines():
        key, value = line.split(": ", 1)
        check(f"meta {archive}.{key}", meta.get(f"{archive}.{key}") == value, (meta.get(f"{archive}.{key}"), value))

# Placed objects: the LandblockInfo's Stabs in order, as `dat show` decodes them.
portal_ids = {int(line.split()[0], 16) for line in
              run("dat", "ls", os.path.join(sample, "client_portal.dat")).stdout.splitlines()}
f32 = lambda v: struct.unpack("<f", struct.pack("<f", v))[0]
for lb in rows:
    lid = lb["landblock_id"]
    shown = run("dat", "show", "--compact", os.path.join(sample, "client_cell_1.dat"), f"0x{(lid | 0xFFFE):08X}")
    objects = json.loads(shown.stdout)["objects"] if shown.returncode == 0 else []
    got = con.execute("SELECT * FROM placed_objects WHERE landblock_id = ? ORDER BY idx", (lid,)).fetchall()
    want = [(i, int(o["id"], 16), *(f32(o["frame"]["origin"][k]) for k in "xyz"),
             *(f32(o["frame"]["orientation"][k]) for k in "wxyz"),
             int(int(o["id"], 16) >> 24 == 0x02 and int(o["id"], 16) in portal_ids)) for i, o in enumerate(objects)]
    check(f"0x{lid:08X} placed objects", [tuple(g[1:]) for g in got] == want, (got, want))

# Setups: each placed setup once, naming what `dat show` decodes.
placed = sorted({r[0] for r in con.execute("SELECT id FROM placed_objects WHERE is_setup = 1")})
setups = con.execute("SELECT * FROM setups ORDER BY setup_id").fetchall()
check("setups: the placed ones", [s["setup_id"] for s in setups] == placed and len(placed) > 0)
for s in setups:
    shown = json.loads(run("dat", "show", "--compact", os.path.join(sample, "client_portal.dat"),
                           f"0x{s['setup_id']:08X}").stdout)
    want = tuple(None if shown[k] is None else int(shown[k], 16) for k in ("motion_table_id", "default_script_id"))
    check(f"setup 0x{s['setup_id']:08X}", s["decoded"] == 1 and (s["motion_table_id"], s["default_script_id"]) == want)

# The spawns source and --no-sky: spawns lines used, no sky rows, rows still exact.
db_spawns = os.path.join(work, "spawns.sqlite")
r = run("bake-all", "--dat-dir", sample, "--db", db_spawns, "--no-sky", *spawns)
check("spawns: exit 0", r.returncode == 0, r.stderr)
con_s = check_exact("spawns", sample, db_spawns, ["--no-sky", *spawns])
check("--no-sky: sky_chain empty", con_s.execute("SELECT count(*) FROM sky_chain").fetchone()[0] == 0)


def is_u32(v, limit=2**32):
    return isinstance(v, int) and not isinstance(v, bool) and 0 <= v < limit


table = {}
for key, value in json.load(open(os.path.join(sample, "spawns", "wcid_to_setup.json"))).items():
    digits = key[1:] if key.startswith("+") else key
    if digits.isascii() and digits.isdigit() and int(digits) < 2**32 and is_u32(value):
        table[int(digits)] = value
want = []
for text in open(os.path.join(sample, "spawns", "0xA9B4.spawns.jsonl")).read().split("\n"):
    try:
        line = json.loads(text) if text.strip() else None
    except ValueError:
        continue
    wcid = line.get("wcid") if isinstance(line, dict) else None
    if is_u32(wcid, 2**64) and (wcid & 0xFFFFFFFF) in table:
        want.append((wcid & 0xFFFFFFFF, table[wcid & 0xFFFFFFFF]))
got = [(r["wcid"], r["setup_id"]) for r in
       con_s.execute("SELECT * FROM spawned_setups WHERE landblock_id = ? ORDER BY idx", (0xA9B40000,))]
check("spawned setups are the lines used", got == want and len(got) > 0, (got, want))
check("meta: spawns inputs", dict(con_s.execute("SELECT key, value FROM meta")).get("entity_source") ==
      "spawns_manifest")

# The random world: NaN members as NULL, missing LandblockInfos, a failing landblock.
db_random = os.path.join(work, "random.sqlite")
r = run("bake-all", "--dat-dir", rand, "--db", db_random, "--landblocks", "0x0102,0xA9B4,0x1020,0x1324,0x1121")
check("random: a failure exits 1", r.returncode == 1, r.stderr)
con_r = check_exact("random", rand, db_random, [])
check("random: the NaN is NULL",
      con_r.execute("SELECT count(*) FROM animation_sound WHERE volume IS NULL").fetchone()[0] > 0)
check("random: the failure is a row", con_r.execute(
    "SELECT error FROM landblocks WHERE landblock_id = ?", (0x01020000,)).fetchone()[0] ==
      "CellLandblock 0x0102FFFF missing from DAT")
r = run("bake-all", "--dat-dir", rand, "--db", db_random)
check("random: whole world exit 0", r.returncode == 0, r.stderr)
check_exact("random, whole", rand, db_random, [])

# Bad input: missing or unusable directories before any bake; a non-database
# replaced only on success.
for name, target in (("missing directory", os.path.join(work, "no", "such", "w.sqlite")),
                     ("a file for a directory", os.path.join(db, "w.sqlite")),
                     ("a directory for the file", work)):
    r = run("bake-all", "--dat-dir", sample, "--db", target)
    check(f"{name}: exit 1, one error line", r.returncode == 1 and r.stderr.count("\n") == 1 and
          r.stderr.startswith("error: ") and not os.path.exists(target + ".part"), r.stderr)
if os.getuid() != 0:
    ro = os.path.join(work, "read-only")
    os.makedirs(ro, exist_ok=True)
    os.chmod(ro, 0o555)
    r = run("bake-all", "--dat-dir", sample, "--db", os.path.join(ro, "w.sqlite"))
    check("read-only directory: exit 1, one error line", r.returncode == 1 and r.stderr.count("\n") == 1, r.stderr)
not_db = os.path.join(work, "notes.sqlite")
with open(not_db, "w") as f:
    f.write("not a database\n")
r = run("bake-all", "--dat-dir", os.path.join(work, "nowhere"), "--db", not_db)
check("a failed run leaves the file", r.returncode == 1 and open(not_db).read() == "not a database\n" and
      not os.path.exists(not_db + ".part"), r.stderr)
r = run("bake-all", "--dat-dir", sample, "--db", not_db)
check("a finished run replaces it", r.returncode == 0 and cli(not_db, "SELECT count(*) FROM landblocks").stdout == "9\n",
      r.stderr)

if failures:
    print(f"world_db: {len(failures)} checks failed", file=sys.stderr)
    sys.exit(1)
print("world_db: all checks passed")
