"""ravelin.patch against `ravelin-bake patch --report` over the sample world,
its revision 2 and another seed's world."""

import json
import shutil

import pytest
import ravelin

ARCHIVES = ("client_portal.dat", "client_cell_1.dat")


@pytest.fixture(scope="module")
def worlds(tmp_path_factory, bake_cli):
    made = {}
    for name, args in {"r1": (), "r2": ("--revision", "2"), "s5": ("--seed", "5")}.items():
        made[name] = tmp_path_factory.mktemp(name)
        result = bake_cli("sample-world", str(made[name]), *args)
        assert result.returncode == 0, result.stderr.decode()
    return made


def copy(world, to):
    to.mkdir()
    for name in ARCHIVES:
        shutil.copyfile(world / name, to / name)
    return to


def files(world):
    out = {}
    for name in ARCHIVES:
        with ravelin.DatDatabase(world / name) as db:
            out[name] = {file_id: db.get_file(file_id) for file_id in db.file_ids()}
    return out


def archive_bytes(world):
    return [(world / name).read_bytes() for name in ARCHIVES]


def test_patch_of_old_holds_new_and_matches_the_command(worlds, tmp_path, bake_cli):
    target = copy(worlds["r1"], tmp_path / "api")
    p = ravelin.patch(target, worlds["r1"], worlds["r2"])
    assert p.totals == {"kind": "totals", "added": 1, "removed": 1, "replaced": 4, "merged": 0, "unchanged": 0,
                        "conflicts": 0, "written": True}
    assert p.conflicts == []
    assert files(target) == files(worlds["r2"])

    cli_target = copy(worlds["r1"], tmp_path / "cli")
    report = tmp_path / "report.jsonl"
    result = bake_cli("patch", str(cli_target), "--old", str(worlds["r1"]), "--new", str(worlds["r2"]),
                      "--report", str(report))
    assert result.returncode == 0, result.stderr.decode()
    lines = [json.loads(line) for line in report.read_text().splitlines()]
    assert lines == p.changes + p.conflicts + [p.totals]

    again = ravelin.patch(target, worlds["r1"], worlds["r2"])
    assert again.changes == [] and again.totals["unchanged"] == 6 and not again.totals["written"]


def test_conflicts_dry_run_and_keep_going(worlds, tmp_path):
    target = copy(worlds["s5"], tmp_path / "t")
    before = archive_bytes(target)
    dry = ravelin.patch(target, worlds["r1"], worlds["r2"], dry_run=True)
    assert dry.conflicts and not dry.totals["written"]
    assert archive_bytes(target) == before
    for conflict in dry.conflicts:
        assert set(conflict) == {"kind", "archive", "id", "path", "old", "new", "target", "why"}
        assert conflict["why"]
    stopped = ravelin.patch(target, worlds["r1"], worlds["r2"])
    assert stopped.conflicts == dry.conflicts and stopped.changes == dry.changes
    assert archive_bytes(target) == before

    kept = ravelin.patch(target, worlds["r1"], worlds["r2"], keep_going=True)
    assert kept.totals["written"] and kept.conflicts == dry.conflicts
    added = [int(c["id"], 16) for c in kept.changes if c["action"] == "add"]
    assert added
    with ravelin.DatDatabase(target / "client_portal.dat") as db:
        assert all(file_id in db for file_id in added)


def test_errors(worlds, tmp_path):
    half = tmp_path / "half"
    half.mkdir()
    shutil.copyfile(worlds["r1"] / "client_portal.dat", half / "client_portal.dat")
    with pytest.raises(ravelin.BakeError, match=r"^target: open client_cell_1.dat at "):
        ravelin.patch(half, worlds["r1"], worlds["r2"])
    assert (half / "client_portal.dat").read_bytes() == (worlds["r1"] / "client_portal.dat").read_bytes()
    with pytest.raises(ravelin.BakeError, match=r"^new: "):
        ravelin.patch(worlds["r1"], worlds["r1"], tmp_path / "absent")
