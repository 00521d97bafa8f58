"""ravelin.bake and BakeSession against `ravelin-bake bake` over the sample world."""

import json
import sqlite3
import threading
from concurrent.futures import ThreadPoolExecutor

import pytest
import ravelin

FOCUS = 0xA9B40000


@pytest.fixture(scope="session")
def landblocks(sample_world):
    cell = ravelin.DatDatabase(sample_world / "client_cell_1.dat")
    return [i & 0xFFFF0000 for i in cell.file_ids() if i & 0xFFFF == 0xFFFF]


@pytest.fixture(scope="session", params=["landblock_info", "spawns_manifest"])
def source(request, sample_world):
    """(keyword arguments, ravelin-bake options) of one entity source."""
    if request.param == "landblock_info":
        return {}, []
    spawns = sample_world / "spawns"
    table = spawns / "wcid_to_setup.json"
    return {"spawns_dir": spawns, "setup_table": table}, ["--spawns-dir", str(spawns), "--setup-table", str(table)]


@pytest.fixture(scope="session")
def cli_manifests(sample_world, bake_cli, landblocks, source):
    """Every landblock's manifest as `ravelin-bake bake` writes it."""
    manifests = {}
    for landblock in landblocks:
        result = bake_cli("bake", "--dat-dir", str(sample_world), "--landblock", f"0x{landblock:08X}", *source[1])
        assert result.returncode == 0, result.stderr
        manifests[landblock] = result.stdout
    return manifests


def parse_manifest_line(line):
    return json.loads(line.replace(b":inf", b":Infinity").replace(b":-inf", b":-Infinity"))


def same_json(a, b):
    """Equality that counts NaN equal to NaN."""
    return json.dumps(a, sort_keys=True) == json.dumps(b, sort_keys=True)


def test_every_landblock_equals_the_cli(sample_world, source, landblocks, cli_manifests):
    for landblock in landblocks:
        b = ravelin.bake(sample_world, landblock, **source[0])
        assert (b.landblock_id, b.region_did) == (landblock, 0x13000000)
        assert b.to_jsonl() == cli_manifests[landblock], f"0x{landblock:08X}"
        families = [b.ambient, b.animation_sound, b.physics_particle, b.sky]
        lines = cli_manifests[landblock].splitlines()
        assert sum(map(len, families)) == len(lines)
        assert same_json([event for family in families for event in family], [parse_manifest_line(l) for l in lines])
        assert [{e["source"] for e in family} for family in families if family] == [
            {s} for s, family in zip(["ambient", "animation_sound", "physics_script_particle", "sky_chain"], families)
            if family]


def test_event_families_name_the_lists_the_lines_and_the_tables(sample_world, bake_cli, tmp_path):
    assert [f.python for f in ravelin.EVENT_FAMILIES] == ["ambient", "animation_sound", "physics_particle", "sky"]
    assert [getattr(ravelin.Bake, f.python).__doc__ for f in ravelin.EVENT_FAMILIES] == [
        "Ambient terrain sound lines, parsed.", "Animation-frame sound lines, parsed.",
        "Physics script particle emitter lines, parsed.", "Sky particle chain lines, parsed."]
    b = ravelin.bake(sample_world, FOCUS)
    counts = []
    for family in ravelin.EVENT_FAMILIES:
        events = getattr(b, family.python)
        assert events, family.display  # the sample landblock has lines of every family
        assert {(e["source"], e["trigger"]) for e in events} == {(family.source, family.trigger)}
        counts.append(len(events))
    assert repr(b) == (f"<ravelin.Bake landblock 0xA9B40000: ambient={counts[0]} animation_sound={counts[1]} "
                       f"physics_particle={counts[2]} sky={counts[3]}>")
    db = tmp_path / "world.sqlite"
    result = bake_cli("bake-all", "--dat-dir", str(sample_world), "--db", str(db), "--landblocks", "0xA9B4")
    assert result.returncode == 0, result.stderr
    with sqlite3.connect(db) as connection:
        for family, count in zip(ravelin.EVENT_FAMILIES, counts):
            assert connection.execute(f'SELECT COUNT(*) FROM "{family.table}"').fetchone() == (count,), family.table


@pytest.mark.parametrize("landblock", [0xA9B4, FOCUS, "0xA9B4", "0xa9b40000", "43444", "0XA9B4"])
def test_landblock_forms_of_the_command_line(sample_world, landblock, cli_manifests):
    b = ravelin.bake(sample_world, landblock)
    assert b.landblock_id == FOCUS
    assert b.to_jsonl() == ravelin.bake(sample_world, FOCUS).to_jsonl()


def test_bakes_compare_by_landblock_region_and_bytes(sample_world):
    one, two = ravelin.bake(sample_world, FOCUS), ravelin.bake(sample_world, "0xA9B4")
    assert one == two and hash(one) == hash(two) and len({one, two}) == 1
    two.sky  # parsing a family changes nothing that compares
    assert one == two
    assert one != ravelin.bake(sample_world, FOCUS, sky=False)
    assert one != ravelin.bake(sample_world, 0xA8B3) and one != one.to_jsonl()


@pytest.mark.parametrize("landblock", [0x1FFFF, "0x1FFFF", FOCUS | 0x1234, "A9B4"])
def test_landblocks_the_command_line_refuses(sample_world, bake_cli, landblock):
    cli = bake_cli("bake", "--dat-dir", str(sample_world), "--landblock", str(landblock))
    assert cli.returncode == 2
    with pytest.raises(ValueError) as raised:
        ravelin.bake(sample_world, landblock)
    assert str(raised.value) in cli.stderr.decode()


def test_options_match_the_cli(sample_world, bake_cli):
    result = bake_cli("bake", "--dat-dir", str(sample_world), "--landblock", "0xA9B4", "--no-sky", "--region",
                      "318767104")
    b = ravelin.bake(sample_world, 0xA9B4, sky=False, region="318767104")
    assert b.to_jsonl() == result.stdout and b.sky == []


def write_broken_table(world):
    path = world / "broken.json"
    path.write_text("[1, 2]")
    return path


@pytest.mark.parametrize(
    "dat_dir, landblock, kwargs, cli_args",
    [
        ("nowhere", FOCUS, {}, []),
        (".", 0x1234, {}, []),
        (".", FOCUS, {"region": 0x13000099}, ["--region", "0x13000099"]),
        (".", FOCUS, {"spawns_dir": "spawns", "setup_table": "no-such-table.json"},
         ["--spawns-dir", "spawns", "--setup-table", "no-such-table.json"]),
        (".", FOCUS, {"spawns_dir": "spawns", "setup_table": "broken.json"},
         ["--spawns-dir", "spawns", "--setup-table", "broken.json"]),
    ],
)
def test_bake_errors_read_as_on_the_command_line(sample_world, bake_cli, dat_dir, landblock, kwargs, cli_args):
    write_broken_table(sample_world)
    here = lambda p: str(sample_world / p)  # noqa: E731
    kwargs = {k: (here(v) if k != "region" else v) for k, v in kwargs.items()}
    cli_args = [here(a) if i % 2 and not a.startswith("0x") else a for i, a in enumerate(cli_args)]
    result = bake_cli("bake", "--dat-dir", here(dat_dir), "--landblock", f"0x{landblock:X}", *cli_args)
    assert result.returncode == 1
    expected = result.stderr.decode().removeprefix("error: ").rstrip("\n")
    with pytest.raises(ravelin.BakeError) as raised:
        ravelin.bake(here(dat_dir), landblock, **kwargs)
    assert str(raised.value) == expected
    with pytest.raises(ravelin.BakeError) as raised:
        with ravelin.BakeSession(here(dat_dir), **{k: v for k, v in kwargs.items()}) as session:
            session.bake(landblock)
    assert str(raised.value) == expected


@pytest.mark.parametrize(
    "landblock, kwargs, error",
    [
        ("0xZZ", {}, ValueError), ("", {}, ValueError), ("0x", {}, ValueError), (" 1", {}, ValueError),
        ("0x100000000", {}, ValueError), (-1, {}, ValueError), (2**32, {}, ValueError),
        (1.0, {}, TypeError), (None, {}, TypeError), (True, {}, TypeError),
        (FOCUS, {"region": -1}, ValueError), (FOCUS, {"spawns_dir": "spawns"}, ValueError),
        (FOCUS, {"setup_table": "t.json"}, ValueError),
    ],
)
def test_argument_errors(sample_world, landblock, kwargs, error):
    with pytest.raises(error):
        ravelin.bake(sample_world, landblock, **kwargs)


def test_session_bakes_from_threads_equal_one_off_bakes(sample_world, source, landblocks, cli_manifests):
    with ravelin.BakeSession(sample_world, **source[0]) as session:
        assert session.landblocks() == landblocks
        with ThreadPoolExecutor(4) as pool:
            bakes = list(pool.map(session.bake, landblocks * 8))
    assert session.closed
    for b in bakes:
        assert b.to_jsonl() == cli_manifests[b.landblock_id]
    with pytest.raises(ValueError, match="closed"):
        session.bake(FOCUS)
    with pytest.raises(ValueError, match="closed"):
        session.landblocks()


def test_closing_while_other_threads_bake(sample_world):
    expected = ravelin.bake(sample_world, FOCUS).to_jsonl()
    session = ravelin.BakeSession(sample_world)
    started = threading.Barrier(5)
    outcomes = [[] for _ in range(4)]

    def bake_until_closed(out):
        started.wait()
        while True:
            try:
                out.append(session.bake(FOCUS).to_jsonl())
            except ValueError:
                return

    threads = [threading.Thread(target=bake_until_closed, args=(out,)) for out in outcomes]
    for t in threads:
        t.start()
    started.wait()
    while sum(map(len, outcomes)) < 20 and all(t.is_alive() for t in threads):
        threading.Event().wait(0.001)
    session.close()
    for t in threads:
        t.join()
    assert sum(map(len, outcomes)) >= 20
    assert all(result == expected for out in outcomes for result in out)
