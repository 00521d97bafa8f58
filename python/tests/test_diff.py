"""ravelin.diff and Bake.inputs against `ravelin-bake diff` and `bake --inputs`
over the two sample-world revisions."""

import json

import jsonpatch
import pytest
import ravelin


@pytest.fixture(scope="session")
def revision_2(tmp_path_factory, bake_cli):
    world = tmp_path_factory.mktemp("sample-world-r2")
    result = bake_cli("sample-world", str(world), "--revision", "2")
    assert result.returncode == 0, result.stderr.decode()
    return world


@pytest.fixture(scope="session")
def cli_diff(sample_world, revision_2, bake_cli, tmp_path_factory):
    """The four files `ravelin-bake diff` writes, .jsonl ones parsed."""
    out = tmp_path_factory.mktemp("diff")
    result = bake_cli("diff", str(sample_world), str(revision_2), "--out-dir", str(out))
    assert result.returncode == 0, result.stderr.decode()
    files = {name: [json.loads(line) for line in (out / f"{name}.jsonl").read_text().splitlines()]
             for name in ("files", "records", "landblocks")}
    files["summary"] = (out / "summary.md").read_text()
    return files


def test_diff_equals_the_command_files(sample_world, revision_2, cli_diff):
    d = ravelin.diff(sample_world, revision_2, jobs=2)
    assert d.files == cli_diff["files"]
    assert d.records == cli_diff["records"]
    assert d.landblocks == cli_diff["landblocks"]
    assert d.summary == cli_diff["summary"]
    assert d.files and d.records and d.landblocks


def test_every_patch_turns_the_old_document_into_the_new_one(sample_world, revision_2, cli_diff):
    for record in cli_diff["records"]:
        name = "client_portal.dat" if record["archive"] == "portal" else "client_cell_1.dat"
        file_id = int(record["id"], 16)
        with ravelin.DatDatabase(sample_world / name) as old, ravelin.DatDatabase(revision_2 / name) as new:
            assert jsonpatch.apply_patch(old.show(file_id), record["patch"]) == new.show(file_id), record["id"]


def test_options_and_errors(sample_world, revision_2, tmp_path):
    no_sky = ravelin.diff(sample_world, revision_2, sky=False, region="0x13000000")
    assert not any("sky_chain" in line for lb in no_sky.landblocks for line in lb["added"] + lb["removed"])
    assert ravelin.diff(sample_world, sample_world).landblocks == []
    with pytest.raises(ravelin.BakeError, match=r"^new: open client_portal.dat at "):
        ravelin.diff(sample_world, tmp_path)
    with pytest.raises(ValueError):
        ravelin.diff(sample_world, revision_2, jobs=0)


def test_bake_inputs_are_the_command_lines(sample_world, bake_cli):
    with ravelin.BakeSession(sample_world) as session:
        for landblock in session.landblocks():
            result = bake_cli("bake", "--dat-dir", str(sample_world), "--landblock", f"0x{landblock:08X}", "--inputs")
            assert result.returncode == 0, result.stderr.decode()
            expected = result.stdout.decode().splitlines()
            assert ravelin.bake(sample_world, landblock).inputs == expected
            assert session.bake(landblock).inputs == expected
