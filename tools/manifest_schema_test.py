"""Validates manifests against docs/manifest.schema.json with a real validator.

Every line of sample-world bakes (all landblocks from the LandblockInfo, and
landblock 0xA9B4 from the spawns manifest) and the examples of manifest.md must
pass; lines with a member missing, a member of the wrong type, an extra member
or an unknown source must fail.

    manifest_schema_test.py RAVELIN_BAKE WORK_DIR SOURCE_DIR
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
schema = json.loads((source_dir / "docs" / "manifest.schema.json").read_text())
jsonschema.Draft202012Validator.check_schema(schema)
validator = jsonschema.Draft202012Validator(schema)
failures = []


def check(what, ok):
    if not ok:
        failures.append(what)


def parse_line(line):
    """Parses one manifest line; the bare tokens inf and -inf (outside strings)
    become Infinity and -Infinity, which Python's json module reads, as it
    reads NaN."""
    out, in_string, i = [], False, 0
    while i < len(line):
        c = line[i]
        if in_string:
            out.append(c)
            if c == "\\":
                out.append(line[i + 1])
                i += 1
            elif c == '"':
                in_string = False
        elif c == '"':
            in_string = True
            out.append(c)
        elif line.startswith("inf", i):
            out.append("Infinity")
            i += 2
        else:
            out.append(c)
        i += 1
    return json.loads("".join(out))


def errors_of(document):
    return list(validator.iter_errors(document))


def run(*args):
    subprocess.run([bake, *args], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


shutil.rmtree(work, ignore_errors=True)
work.mkdir(parents=True)
world = work / "world"
run("sample-world", str(world))
run("bake-all", "--dat-dir", str(world), "--out-dir", str(work / "info"), "--jobs", "2")
spawns = work / "spawns.jsonl"
run("bake", "--dat-dir", str(world), "--landblock", "0xA9B4", "--spawns-dir", str(world / "spawns"),
    "--setup-table", str(world / "spawns" / "wcid_to_setup.json"), "-o", str(spawns))

# Every line of every bake validates.
first_of_source = {}
manifests = sorted((work / "info").glob("0x*.events.jsonl")) + [spawns]
check("nine LandblockInfo manifests and one spawns manifest", len(manifests) == 10)
line_count = 0
for manifest in manifests:
    for number, line in enumerate(manifest.read_text(encoding="utf-8").splitlines(), 1):
        document = parse_line(line)
        line_count += 1
        first_of_source.setdefault(document["source"], document)
        errors = errors_of(document)
        check(f"{manifest.name}:{number} validates: {[e.message for e in errors]}", not errors)
check("every source seen", sorted(first_of_source) == ["ambient", "animation_sound", "physics_script_particle", "sky_chain"])
check("some lines seen", line_count > 50)

# The examples of manifest.md validate too.
examples = re.findall(r"<!-- example:\w+ -->\n```json\n(.*)\n```", (source_dir / "docs" / "manifest.md").read_text())
check("four examples in manifest.md", len(examples) == 4)
for example in examples:
    check(f"manifest.md example validates: {example[:60]}", not errors_of(parse_line(example)))

# The bare tokens NaN, inf and -inf are accepted in float members.
ambient_line = (work / "info" / "0xA9B4.events.jsonl").read_text().splitlines()[0]
tokens = re.sub(r'"volume":[-0-9.]+', '"volume":inf', ambient_line, count=1)
tokens = re.sub(r'"base_chance":[-0-9.]+', '"base_chance":-inf', tokens, count=1)
tokens = re.sub(r'"min_rate":[-0-9.]+', '"min_rate":NaN', tokens, count=1)
check("the float tokens were put in", all(t in tokens for t in ('"volume":inf', '"base_chance":-inf', '"min_rate":NaN')))
check("NaN, inf and -inf validate", not errors_of(parse_line(tokens)))
check("inf inside a text stays text", parse_line('{"a":"inf, -inf"}') == {"a": "inf, -inf"})

# Broken lines are rejected.
wrong_types = {
    "ambient": ("terrain_type", "1"),
    "animation_sound": ("link_outer_key", "0x00000001"),
    "physics_script_particle": ("start_time_s", "0.000000"),
    "sky_chain": ("emitter_id", 838860801),
}
for source, document in sorted(first_of_source.items()):
    for member in document:
        broken = copy.deepcopy(document)
        del broken[member]
        check(f"{source} without {member} is rejected", errors_of(broken))
    member, value = wrong_types[source]
    broken = dict(document, **{member: value})
    check(f"{source} with {member} of the wrong type is rejected", errors_of(broken))
    check(f"{source} with an extra member is rejected", errors_of(dict(document, extra=1)))
    check(f"{source} with a lower-case id is rejected",
          errors_of(dict(document, **{next(k for k, v in document.items() if str(v).startswith("0x")): "0xabcdef01"})))
    check(f"{source} under another source is rejected", errors_of(dict(document, source="weather")))
ambient = first_of_source["ambient"]
check("a sound without continuous is rejected",
      errors_of(dict(ambient, ambient_sounds=[{k: v for k, v in ambient["ambient_sounds"][0].items() if k != "continuous"}])))
check("a vertex index past 80 is rejected", errors_of(dict(ambient, vertex_indices=[81])))
check("a non-object line is rejected", errors_of([ambient]))

for failure in failures:
    print("FAIL:", failure, file=sys.stderr)
if failures:
    sys.exit(1)
print(f"manifest schema: {line_count} lines of {len(manifests)} manifests valid, broken lines rejected")
