"""Validates record documents against docs/records.schema.json with a real validator.

Every record `dat show` prints for two sample worlds validates, as its own type
and as exactly one of the seven; documents with the members only some records
need validate and encode; documents with a member missing, of the wrong type or
unknown are rejected by the schema and by `dat encode` alike; the examples of
records.md validate and encode.

    records_schema_test.py RAVELIN_BAKE WORK_DIR SOURCE_DIR
"""

import copy
import json
import pathlib
import re
import shutil
import subprocess
import sys

import jsonschema

bake, work, source_dir = sys.argv[1], pathlib.Path(sys.argv[2]), pathlib.Path(sys.argv[3])
schema = json.loads((source_dir / "docs" / "records.schema.json").read_text())
jsonschema.Draft202012Validator.check_schema(schema)
validator = jsonschema.Draft202012Validator(schema)
TYPES = ("region", "setup", "motion-table", "animation", "physics-script", "cell-landblock", "landblock-info")
failures = []


def check(what, ok):
    if not ok:
        failures.append(what)


def errors_of(document, type=None):
    """The schema's errors for `document` as `type` (its $defs entry), or as any record."""
    if type is None:
        return list(validator.iter_errors(document))
    return list(validator.evolve(schema={**schema, "oneOf": [{"$ref": f"#/$defs/{type}"}]}).iter_errors(document))


def run(*args, stdin=None):
    return subprocess.run([bake, *args], input=stdin, capture_output=True, check=False)


def encodes(document, type):
    return run("dat", "encode", "-", "--type", type, stdin=json.dumps(document).encode()).returncode == 0


shutil.rmtree(work, ignore_errors=True)
work.mkdir(parents=True)
first_of_type = {}
shown = 0
for world_args in ([], ["--seed", "5", "--revision", "2"]):
    world = work / ("world" + "".join(world_args))
    assert run("sample-world", str(world), *world_args).returncode == 0
    for type in TYPES:
        archive = world / ("client_cell_1.dat" if type in ("cell-landblock", "landblock-info") else "client_portal.dat")
        for line in filter(None, run("dat", "ls", str(archive), "--type", type).stdout.decode().split("\n")):
            file_id = line.split()[0]
            document = json.loads(run("dat", "show", str(archive), file_id, "--compact").stdout)
            first_of_type.setdefault(type, document)
            shown += 1
            errors = errors_of(document, type)
            check(f"{type} {file_id} validates: {[e.message for e in errors[:3]]}", not errors)
            check(f"{type} {file_id} is one record of the seven", not errors_of(document))
check("every type seen", sorted(first_of_type) == sorted(TYPES))
check("some documents seen", shown > 80)


def with_changes(type, change):
    document = copy.deepcopy(first_of_type[type])
    change(document)
    return document


def first_hook(document):
    return document["script_data"][0]["hook"]


# Members only some records need: valid, and the encoder takes them.
needed = {
    "setup trailing bytes": ("setup", lambda d: d.update(trailing_bytes="0102")),
    "setup NaN bits": ("setup", lambda d: d["sphere_1"].update(radius="NaN", radius_bits="0x7FC00001")),
    "motion data flag bits and padding": ("motion-table", lambda d: d["motion_data_0"][0]["value"].update(
        other_flags=4, padding="11")),
    "animation flag bits": ("animation", lambda d: d.update(other_flags=6)),
    "start time NaN bits": ("physics-script", lambda d: d["script_data"][0].update(
        start_time="NaN", start_time_bits="0x7FF8000000000001")),
    "uncovered payload bytes": ("physics-script", lambda d: first_hook(d).update(payload_rest="01" * 32)),
    "cell landblock without its last byte": ("cell-landblock", lambda d: d.update(padding="")),
    "restriction table bucket size": ("landblock-info", lambda d: d.update(
        pack_mask=1, restriction_tables={"bucket_size": 8, "tables": [{"key": 3, "value": 4}, {"key": 3, "value": 5}]})),
    "text bytes and padding": ("region", lambda d: d.update(name="\ufffd", name_bytes="efbbbfff", name_padding="eeee")),
    "a names list's bytes": ("region", lambda d: d["game_time"].update(
        names_bytes=[None] * len(d["game_time"]["names"]))),
    "a flag word": ("region", lambda d: d["game_time"]["times_of_day"][0].update(flag=True, flag_word=7)),
}
for name, (type, change) in needed.items():
    document = with_changes(type, change)
    check(f"{name} validates: {[e.message for e in errors_of(document, type)[:3]]}", not errors_of(document, type))
    check(f"{name} encodes", encodes(document, type))

# Broken documents: the schema and the encoder reject them alike.
broken = {
    "region without terrain": ("region", lambda d: d.pop("terrain")),
    "region table of 255 words": ("region", lambda d: d["region_table"].pop()),
    "region word as a number": ("region", lambda d: d["region_words"].__setitem__(0, 1)),
    "setup with an unknown member": ("setup", lambda d: d.update(colour=1)),
    "setup placement key past i32": ("setup", lambda d: d["placements"][0].update(key=2147483648)),
    "motion flags with bit 2": ("motion-table", lambda d: d["motion_data_0"][0]["value"].update(flags=4)),
    "animation part count negative": ("animation", lambda d: d.update(part_count=-1)),
    "hook type 27": ("physics-script", lambda d: first_hook(d).update(hook_type=27)),
    "particle hook without its emitter": ("physics-script", lambda d: first_hook(d).pop("emitter_id")),
    "float as lower-case nan": ("physics-script", lambda d: d["script_data"][0].update(start_time="nan")),
    "payload hex of odd length": ("physics-script", lambda d: first_hook(d).update(payload_rest="0")),
    "cell landblock of 80 heights": ("cell-landblock", lambda d: d["height"].pop()),
    "terrain word past u16": ("cell-landblock", lambda d: d["terrain"].__setitem__(0, 65536)),
    "landblock info id without digits": ("landblock-info", lambda d: d.update(id="0x")),
}
for name, (type, change) in broken.items():
    document = with_changes(type, change)
    check(f"{name} is rejected by the schema", errors_of(document, type))
    check(f"{name} is rejected by dat encode", not encodes(document, type))

# The examples of records.md validate and encode.
examples = re.findall(r"<!-- example:([a-z-]+) -->\n```json\n(.*?)\n```", (source_dir / "docs" / "records.md").read_text(),
                      re.S)
check("an example of every type in records.md", sorted({t for t, _ in examples}) == sorted(TYPES))
for type, text in examples:
    document = json.loads(text)
    check(f"records.md {type} example validates: {[e.message for e in errors_of(document, type)[:3]]}",
          not errors_of(document, type))
    check(f"records.md {type} example encodes", encodes(document, type))

for failure in failures:
    print("FAIL:", failure, file=sys.stderr)
if failures:
    sys.exit(1)
print(f"records schema: {shown} documents valid, {len(needed)} with extra members valid, {len(broken)} broken rejected, "
      f"{len(examples)} examples")
