"""ravelin.extract, ravelin.pack and ArchiveEditor.copy_from against `ravelin-bake dat extract|pack|cp`."""

import shutil
from pathlib import Path

import pytest
import ravelin


def folder_contents(folder: Path) -> dict:
    return {str(p.relative_to(folder)): p.read_bytes() for p in sorted(folder.rglob("*")) if p.is_file()}


@pytest.mark.parametrize("stored", [False, True])
def test_extract_and_pack_as_the_cli(sample_world, tmp_path, bake_cli, stored):
    portal = sample_world / "client_portal.dat"
    flag = ["--stored"] if stored else []
    assert bake_cli("dat", "extract", str(portal), str(tmp_path / "cli"), *flag).returncode == 0
    files, written = ravelin.extract(portal, tmp_path / "py", stored=stored)
    assert folder_contents(tmp_path / "py") == folder_contents(tmp_path / "cli")
    assert files == len(ravelin.DatDatabase(portal)) and written > 0

    assert bake_cli("dat", "pack", str(tmp_path / "cli"), "-o", str(tmp_path / "cli.dat"), "--block-size", "64").returncode == 0
    assert ravelin.pack(tmp_path / "py", tmp_path / "py.dat", block_size=64) == files
    assert (tmp_path / "py.dat").read_bytes() == (tmp_path / "cli.dat").read_bytes()
    with ravelin.DatDatabase(portal) as a, ravelin.DatDatabase(tmp_path / "py.dat") as b:
        assert b.header["block_size"] == 64
        assert [b.get_file(i) for i in b.file_ids()] == [a.get_file(i) for i in a.file_ids()]

    # Some ids only, into a folder that holds them already.
    some = ravelin.DatDatabase(portal).file_ids()[:2]
    with pytest.raises(ravelin.DatError, match="is not empty") as refused:
        ravelin.extract(portal, tmp_path / "py", some)
    assert refused.value.kind == "not_empty"
    assert ravelin.extract(portal, tmp_path / "py", some, force=True, stored=stored)[0] == 2
    assert len(list((tmp_path / "py" / "files").iterdir())) == 2


def test_pack_errors_are_the_clis(sample_world, tmp_path, bake_cli):
    ravelin.extract(sample_world / "client_portal.dat", tmp_path / "dir", stored=True)
    index = tmp_path / "dir" / "index.jsonl"
    index.write_text(index.read_text() + index.read_text().splitlines()[0] + "\n")
    result = bake_cli("dat", "pack", str(tmp_path / "dir"), "-o", str(tmp_path / "cli.dat"))
    assert result.returncode == 1
    with pytest.raises(ravelin.DatError) as raised:
        ravelin.pack(tmp_path / "dir", tmp_path / "py.dat")
    assert raised.value.kind == "bad_input"
    assert result.stderr.decode() == f"error: {raised.value}\n"
    assert "is already on line 1" in str(raised.value)
    assert sorted(p.name for p in tmp_path.iterdir()) == ["dir"]


def test_copy_from_as_dat_cp(sample_world, tmp_path, bake_cli):
    # The target: the cell archive packed again with another block size.
    ravelin.extract(sample_world / "client_cell_1.dat", tmp_path / "cell", stored=True)
    ravelin.pack(tmp_path / "cell", tmp_path / "a.dat", block_size=64)
    shutil.copyfile(tmp_path / "a.dat", tmp_path / "b.dat")
    source = sample_world / "client_portal.dat"
    with ravelin.DatDatabase(source) as db:
        ids = db.file_ids()[::5]
    with ravelin.DatDatabase(tmp_path / "a.dat") as target:
        replaced_id = target.file_ids()[0]
    ids.append(replaced_id)  # not in the source: refused, nothing put
    result = bake_cli("dat", "cp", str(source), str(tmp_path / "a.dat"), *[f"0x{i:08X}" for i in ids])
    assert result.returncode == 1
    with ravelin.ArchiveEditor(tmp_path / "b.dat") as ed:
        with pytest.raises(ravelin.DatError) as raised:
            ed.copy_from(source, ids)
        assert result.stderr.decode() == f"error: {raised.value}\n"
        assert raised.value.kind == "not_found" and len(ed) == len(ravelin.DatDatabase(tmp_path / "a.dat"))
    ids.pop()

    assert bake_cli("dat", "cp", str(source), str(tmp_path / "a.dat"), *[str(i) for i in ids]).returncode == 0
    with ravelin.ArchiveEditor(tmp_path / "b.dat") as ed, ravelin.DatDatabase(source) as db:
        assert ed.copy_from(db, ids) == (len(ids), 0)
        ed.commit()
    assert (tmp_path / "b.dat").read_bytes() == (tmp_path / "a.dat").read_bytes()
    assert bake_cli("dat", "ls", str(tmp_path / "b.dat")).stdout == bake_cli("dat", "ls", str(tmp_path / "a.dat")).stdout
    with ravelin.DatDatabase(source) as a, ravelin.DatDatabase(tmp_path / "b.dat") as b:
        assert b.header["block_size"] == 64
        assert all(b.get_file(i) == a.get_file(i) for i in ids)
    # Copied again: every id is replaced.
    with ravelin.ArchiveEditor(tmp_path / "b.dat") as ed:
        assert ed.copy_from(source, ids[:3]) == (0, 3)
