"""ravelin.ArchiveEditor and ravelin.check_archive over copies of the sample world's archives."""

import json
import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

import pytest
import ravelin

NEW_ID = 0x0A00BEEF
ABSENT_ID = 0x0BADBEEF
BODY = b"".join(b"sound %d of the landblock\n" % (i // 7) for i in range(400))


@pytest.fixture
def portal(sample_world, tmp_path):
    """A copy of the sample world's portal archive, to change."""
    copy = tmp_path / "client_portal.dat"
    shutil.copyfile(sample_world / "client_portal.dat", copy)
    return copy


def some_ids(path, count=3):
    with ravelin.DatDatabase(path) as db:
        return db.file_ids()[:count]


def test_put_replace_remove_commit_read_back(portal, bake_cli):
    first, second, third = some_ids(portal)
    with ravelin.DatDatabase(portal) as db:
        before = len(db)
    with ravelin.ArchiveEditor(portal) as ed:
        ed.put(NEW_ID, BODY, compressed=True, timestamp=77, version=3)
        ed.put(first, b"shrunk")
        ed.put(second, BODY * 3, flags=0x40)
        ed.remove(third)
        assert NEW_ID in ed and f"0x{NEW_ID:08X}" in ed and third not in ed and len(ed) == before
        new = ed.entry(NEW_ID)
        assert (new.id, new.bit_flags & 1, new.timestamp, new.version) == (NEW_ID, 1, 77, 3)
        assert new.size > 0
        assert ed.entry(second).bit_flags == 0x40
        stats = ed.commit()
    assert isinstance(stats, ravelin.CommitStats) and stats.reuse
    assert stats.blocks_written == stats.blocks_reused + stats.blocks_appended > 0
    with ravelin.DatDatabase(portal) as db:
        assert len(db) == before and third not in db
        assert db.get_file(NEW_ID) == BODY
        assert db.get_file(first) == b"shrunk" and db.get_file(second) == BODY * 3
    # The command line reads what the editor wrote.
    result = bake_cli("dat", "get", str(portal), f"0x{NEW_ID:08X}")
    assert result.returncode == 0 and result.stdout == BODY
    assert ravelin.check_archive(portal).ok


def test_any_bytes_like_body(portal):
    bodies = {1: bytearray(b"from a bytearray"), 2: memoryview(b"--from a memoryview--")[2:-2],
              3: memoryview(b"as stored")}
    with ravelin.ArchiveEditor(portal) as ed:
        ed.put(1, bodies[1], compressed=True)
        ed.put(2, bodies[2])
        ed.put_stored(3, bodies[3])
        ed.commit()
    with ravelin.DatDatabase(portal) as db:
        assert all(db.get_file(file_id) == bytes(body) for file_id, body in bodies.items())


def test_leaving_the_block_without_commit_writes_nothing(portal):
    before = portal.read_bytes()
    with ravelin.ArchiveEditor(portal) as ed:
        ed.put(NEW_ID, BODY)
        ed.remove(some_ids(portal, 1)[0])
    assert ed.closed and portal.read_bytes() == before
    with pytest.raises(ValueError, match="ArchiveEditor is closed"):
        ed.put(NEW_ID, b"late")


def test_an_exception_abandons_and_closes(portal):
    before = portal.read_bytes()
    with pytest.raises(KeyError):
        with ravelin.ArchiveEditor(portal) as ed:
            ed.put(NEW_ID, BODY)
            raise KeyError("stop")
    assert ed.closed and portal.read_bytes() == before
    # The lock went with it: the next editor opens.
    with ravelin.ArchiveEditor(portal) as again:
        assert NEW_ID not in again


def test_abandon_drops_the_batch_and_keeps_the_editor(portal):
    first = some_ids(portal, 1)[0]
    with ravelin.ArchiveEditor(portal) as ed:
        count = len(ed)
        ed.put(NEW_ID, BODY)
        ed.remove(first)
        ed.abandon()
        assert NEW_ID not in ed and first in ed and len(ed) == count
        ed.put(NEW_ID, b"after")
        ed.commit()
    with ravelin.DatDatabase(portal) as db:
        assert db.get_file(NEW_ID) == b"after" and first in db


def test_a_reader_open_across_a_commit_keeps_its_version(portal):
    first = some_ids(portal, 1)[0]
    with ravelin.DatDatabase(portal) as db:
        old = db.get_file(first)
    reader = ravelin.DatDatabase(portal)
    with ravelin.ArchiveEditor(portal) as ed:
        ed.put(first, BODY)
        ed.put(NEW_ID, BODY)
        stats = ed.commit()
        # The reader holds its lock: nothing reused, nothing freed under it.
        assert not stats.reuse and stats.blocks_reused == 0 and stats.blocks_freed == 0
        assert stats.blocks_left_leaked > 0
        assert reader.get_file(first) == old and NEW_ID not in reader
        with ravelin.DatDatabase(portal) as fresh:
            assert fresh.get_file(first) == BODY
        reader.close()
        ed.remove(NEW_ID)
        stats = ed.commit()
        assert stats.reuse and stats.blocks_reclaimed > 0
    report = ravelin.check_archive(portal)
    assert report.ok and report.totals["leaked_blocks"] == 0


def test_a_second_editor_is_busy(portal):
    with ravelin.ArchiveEditor(portal) as ed:
        with pytest.raises(ravelin.DatError) as busy:
            ravelin.ArchiveEditor(portal)
        assert busy.value.kind == "busy"
        assert str(busy.value) == f"{portal} is being changed by another process"
        ed.put(NEW_ID, b"still mine")
        ed.commit()
    with ravelin.ArchiveEditor(portal) as again:
        assert NEW_ID in again


def test_remove_of_an_absent_id(portal):
    with ravelin.ArchiveEditor(portal) as ed:
        with pytest.raises(ravelin.DatError) as absent:
            ed.remove(ABSENT_ID)
        assert absent.value.kind == "not_found"
        assert str(absent.value) == f"File ID {ABSENT_ID:08X} not found in {portal}"
        ed.put(NEW_ID, b"x")
        ed.commit()
    assert NEW_ID in ravelin.DatDatabase(portal)


def test_damaged_archives_are_refused_untouched(portal, tmp_path):
    cut = tmp_path / "cut.dat"
    cut.write_bytes(portal.read_bytes()[:1024])
    with pytest.raises(ravelin.DatError) as refused:
        ravelin.ArchiveEditor(cut)
    assert refused.value.kind == "refused"
    assert str(refused.value).startswith(f"cannot edit {cut}: ")
    assert str(refused.value).endswith("; run `ravelin-bake dat compact` to rewrite it")
    assert cut.stat().st_size == 1024
    report = ravelin.check_archive(cut)
    assert not report.ok and report.faults and all(f.severity == "fault" for f in report.faults)

    not_archive = tmp_path / "notes.txt"
    not_archive.write_bytes(b"not an archive\n" * 100)
    with pytest.raises(ravelin.DatError) as error:
        ravelin.ArchiveEditor(not_archive)
    assert error.value.kind in ("refused", "archive") and str(not_archive) in str(error.value)
    assert not_archive.read_bytes() == b"not an archive\n" * 100
    with pytest.raises(ravelin.DatError, match="missing.dat"):
        ravelin.check_archive(tmp_path / "missing.dat")


def test_create_like_another_archive(portal, tmp_path):
    made = tmp_path / "made.dat"
    with ravelin.ArchiveEditor.create(made, like=portal) as ed:
        assert len(ed) == 0
        ed.put_stored(NEW_ID, b"as stored", bit_flags=0x20, timestamp=5, version=6)
        assert ed.entry(NEW_ID) == ravelin.Entry(NEW_ID, 0x20, 9, 5, 6)
        ed.commit()
    with ravelin.DatDatabase(portal) as model, ravelin.DatDatabase(made) as db:
        layout = {"block_size", "file_size", "free_head", "free_tail", "free_count", "root_offset"}
        assert {k: v for k, v in db.header.items() if k not in layout} == \
            {k: v for k, v in model.header.items() if k not in layout}
        assert db.header["block_size"] == model.header["block_size"]
        assert db.get_file(NEW_ID) == b"as stored"
    with ravelin.DatDatabase(portal) as model:
        magic = model.header["magic"]
        with ravelin.ArchiveEditor.create(tmp_path / "small.dat", 64, like=model) as ed:
            ed.put(1, BODY, compressed=True)
            ed.commit()
    small = ravelin.DatDatabase(tmp_path / "small.dat")
    assert small.header["block_size"] == 64 and small.header["magic"] == magic
    assert small.get_file(1) == BODY
    with pytest.raises(ValueError, match="needs a block_size or a `like` archive"):
        ravelin.ArchiveEditor.create(tmp_path / "none.dat")
    with pytest.raises(ravelin.DatError) as refused:
        ravelin.ArchiveEditor.create(tmp_path / "tiny.dat", 4)
    assert refused.value.kind == "refused"


def test_put_record_encodes_and_keeps_the_entry(portal):
    anim = 0x03000200
    with ravelin.DatDatabase(portal) as db:
        stored = db.get_file(anim)
    document = ravelin.decode_record("animation", stored)
    hooks = [hook for frame in document["frames"] for hook in frame["hooks"] if hook.get("sound_id") == "0x0A000001"]
    assert hooks
    hooks[0]["sound_id"] = "0x0A00002A"
    copy = dict(document, id="0x0300BEEF")
    with ravelin.ArchiveEditor(portal) as ed:
        ed.put(anim, stored, compressed=True, flags=0x300, timestamp=7, version=9)
        ed.commit()
        ed.put_record(anim, document)
        ed.put_record(0x0300BEEF, json.dumps(copy))
        replaced, new = ed.entry(anim), ed.entry(0x0300BEEF)
        assert (replaced.bit_flags, replaced.timestamp, replaced.version) == (0x301, 7, 9)
        assert (new.bit_flags, new.timestamp, new.version) == (0, 0, 0)
        with pytest.raises(ravelin.RecordError, match="^/id: expected 0x03000201, the file id it is put as$"):
            ed.put_record(0x03000201, document)
        with pytest.raises(ValueError, match="^no record type for file id 0x0E000001 in .*client_portal.dat"):
            ed.put_record(0x0E000001, document)
        ed.commit()
    with ravelin.DatDatabase(portal) as db:
        # The sound id's four bytes, and nothing else, changed.
        assert db.get_file(anim) == stored.replace(bytes.fromhex("0100000a"), bytes.fromhex("2a00000a"), 1)
        assert db.get_file(anim) == ravelin.encode_record("animation", document)
        assert db.get_file(0x0300BEEF) == ravelin.encode_record("animation", copy)
    assert ravelin.check_archive(portal).ok


@pytest.mark.parametrize("call, error", [
    (lambda ed: ed.put(-1, b""), ValueError),
    (lambda ed: ed.put(2**32, b""), ValueError),
    (lambda ed: ed.put("0x10", b""), TypeError),
    (lambda ed: ed.put(1, "text"), TypeError),
    (lambda ed: ed.put(1, memoryview(b"strided")[::2]), BufferError),
    (lambda ed: ed.put(1, b"", flags=2**32), ValueError),
    (lambda ed: ed.put(1, b"", timestamp="soon"), ValueError),
    (lambda ed: ed.put_stored(1, b"", bit_flags=-1), ValueError),
    (lambda ed: ed.remove(None), TypeError),
    (lambda ed: ed.put_record(0x03000200, '{"id": "0x03000200"}'), ravelin.RecordError),
    (lambda ed: ed.put_record(0x03000200, "{"), ravelin.RecordError),
    (lambda ed: ed.put_record(0x03000200, {"id": 1}), ravelin.RecordError),
    (lambda ed: ed.put_record(2**32, "{}"), ValueError),
])
def test_bad_arguments_change_nothing(portal, call, error):
    before = portal.read_bytes()
    with ravelin.ArchiveEditor(portal) as ed:
        with pytest.raises(error):
            call(ed)
        assert ed.commit().blocks_written == 0
    assert portal.read_bytes() == before


def test_check_of_the_sample_world(sample_world, bake_cli):
    for name in ("client_portal.dat", "client_cell_1.dat"):
        path = sample_world / name
        report = ravelin.check_archive(path)
        assert report.ok and report.totals["faults"] == 0
        assert report.totals["notes"] == len(report.notes) == len(report.findings)
        assert report.totals["entries"] == len(ravelin.DatDatabase(path))
        assert str(report).splitlines()[-1].startswith("totals: ")
        cli = bake_cli("dat", "check", str(path), "--json")
        if cli.returncode == 2:
            pytest.skip("this ravelin-bake has no `dat check`")
        assert cli.returncode == 0 and cli.stdout.decode() == report.to_json_lines()


def test_the_documented_patch_prints_what_the_docs_show(sample_world, tmp_path):
    doc = (Path(__file__).resolve().parents[2] / "docs" / "python.md").read_text()
    found = re.search(r"<!-- example: patch.py -->\n```python\n(.*?)```\n\n```text\n(.*?)```", doc, re.S)
    assert found, "no patch.py example in docs/python.md"
    script, shown = found.groups()
    (tmp_path / "patch.py").write_text(script)
    shutil.copyfile(sample_world / "client_portal.dat", tmp_path / "patched_portal.dat")
    # The package this test imports, wherever that is.
    env = dict(os.environ, PYTHONPATH=str(Path(ravelin.__file__).resolve().parents[1]))
    run = subprocess.run([sys.executable, "patch.py", "patched_portal.dat"], cwd=tmp_path, env=env,
                         capture_output=True, text=True, check=False)
    assert run.returncode == 0, run.stderr
    assert run.stdout == shown
