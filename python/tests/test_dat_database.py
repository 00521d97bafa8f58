"""ravelin.DatDatabase against `ravelin-bake dat ...` over the sample world."""

import json

import pytest
import ravelin

ARCHIVES = ["client_portal.dat", "client_cell_1.dat"]


def cli_listing(bake_cli, archive):
    result = bake_cli("dat", "ls", str(archive))
    assert result.returncode == 0, result.stderr
    return [int(line.split()[0], 16) for line in result.stdout.decode().splitlines()]


def cli_info(bake_cli, archive):
    result = bake_cli("dat", "info", str(archive))
    assert result.returncode == 0, result.stderr
    return dict(line.split(": ", 1) for line in result.stdout.decode().splitlines())


def test_version_is_the_tools_version(bake_cli):
    assert bake_cli("--version").stdout.decode().strip() == f"ravelin-bake {ravelin.__version__}"


@pytest.mark.parametrize("name", ARCHIVES)
def test_directory_and_header_match_the_cli(sample_world, bake_cli, name):
    db = ravelin.DatDatabase(sample_world / name)
    ids = cli_listing(bake_cli, sample_world / name)
    assert db.file_ids() == ids
    assert len(db) == len(ids) > 0
    assert all(i in db for i in ids)
    info = cli_info(bake_cli, sample_world / name)
    header = db.header
    assert list(header) == [k for k in info if k != "entries"]  # stored order, as `dat info` lists them
    assert header["version_string"].hex().upper() == info.pop("version_string")
    assert int(info.pop("entries")) == len(db)
    assert {k: int(v, 0) for k, v in info.items()} == {k: v for k, v in header.items() if k != "version_string"}


@pytest.mark.parametrize("name", ARCHIVES)
def test_every_file_equals_dat_get(sample_world, bake_cli, name):
    path = sample_world / name
    db = ravelin.DatDatabase(str(path))
    for file_id in db.file_ids():
        result = bake_cli("dat", "get", str(path), f"0x{file_id:08X}")
        assert result.returncode == 0, result.stderr
        assert db.get_file(file_id) == result.stdout, f"0x{file_id:08X}"


@pytest.mark.parametrize("probe", [0x12345678, -1, 2**32, 2**70, "0x12345678", "0x", "zz", 1.0, None, True])
def test_membership_of_ids_not_listed(sample_world, probe):
    assert probe not in ravelin.DatDatabase(sample_world / "client_portal.dat")


@pytest.mark.parametrize("probe", [0x13000000, "0x13000000", "0X13000000", "318767104"])
def test_membership_takes_ids_as_the_command_line_does(sample_world, probe):
    assert probe in ravelin.DatDatabase(sample_world / "client_portal.dat")


def test_closed_database_refuses_every_call(sample_world):
    with ravelin.DatDatabase(sample_world / "client_portal.dat") as db:
        assert not db.closed and db.get_file(0x13000000)
    assert db.closed and "closed" in repr(db)
    for call in (lambda: db.get_file(0x13000000), lambda: db.show(0x13000000), lambda: len(db),
                 lambda: 0x13000000 in db, db.file_ids, lambda: db.header):
        with pytest.raises(ValueError, match="DatDatabase is closed"):
            call()
    db.close()  # closing twice is harmless


def error_text(bake_cli, *args):
    result = bake_cli(*args)
    assert result.returncode == 1
    return result.stderr.decode().removeprefix("error: ").rstrip("\n")


def test_open_error_text_matches_the_cli(tmp_path, bake_cli):
    missing = tmp_path / "missing.dat"
    with pytest.raises(ravelin.DatError) as raised:
        ravelin.DatDatabase(missing)
    assert str(raised.value) == error_text(bake_cli, "dat", "info", str(missing))
    # The command line names the file the archive's text does not name.
    truncated = tmp_path / "short.dat"
    truncated.write_bytes(b"\0" * 0x150)
    with pytest.raises(ravelin.DatError) as raised:
        ravelin.DatDatabase(truncated)
    assert error_text(bake_cli, "dat", "info", str(truncated)) == f"{truncated}: {raised.value}"


def test_missing_file_error_text_matches_the_cli(sample_world, bake_cli):
    path = sample_world / "client_portal.dat"
    with pytest.raises(ravelin.DatError) as raised:
        ravelin.DatDatabase(path).get_file(0x12345678)
    assert str(raised.value) == "File ID 12345678 not found in provider"
    # The command names the archive before the library's text, as for an archive that does not open.
    assert error_text(bake_cli, "dat", "get", str(path), "0x12345678") == f"{path}: {raised.value}"


@pytest.mark.parametrize("bad, error", [(-1, ValueError), (2**32, ValueError), ("0x13000000", TypeError),
                                        (1.5, TypeError), (True, TypeError)])
def test_get_file_rejects_ids_that_are_not_u32(sample_world, bad, error):
    with pytest.raises(error):
        ravelin.DatDatabase(sample_world / "client_portal.dat").get_file(bad)


@pytest.mark.parametrize("name", ARCHIVES)
def test_show_equals_dat_show(sample_world, bake_cli, name):
    path = sample_world / name
    db = ravelin.DatDatabase(path)
    shown = 0
    for file_id in db.file_ids():
        result = bake_cli("dat", "show", str(path), f"0x{file_id:08X}")
        if result.returncode == 0:
            assert db.show(file_id) == json.loads(result.stdout), f"0x{file_id:08X}"
            shown += 1
        else:
            with pytest.raises(ravelin.DatError) as raised:
                db.show(file_id)
            assert str(raised.value) == result.stderr.decode().removeprefix("error: ").rstrip("\n")
    assert shown > 0


def test_show_with_a_type_and_its_errors(sample_world, bake_cli):
    path = sample_world / "client_portal.dat"
    db = ravelin.DatDatabase(path)
    forced = bake_cli("dat", "show", str(path), "0x13000000", "--type", "setup")
    with pytest.raises(ravelin.DatError) as raised:
        db.show(0x13000000, type="setup")
    assert str(raised.value) == forced.stderr.decode().removeprefix("error: ").rstrip("\n")
    assert db.show(0x13000000, "region") == db.show(0x13000000)
    with pytest.raises(ValueError, match="unknown record type 'regions'"):
        db.show(0x13000000, type="regions")
    with pytest.raises(ravelin.DatError, match="not found"):
        db.show(0x13999999)
