"""decode_record and encode_record: dat show's documents, and the bytes back from them."""

from __future__ import annotations

import json

import pytest

import ravelin

TYPES_BY_ARCHIVE = {
    "client_portal.dat": ("region", "setup", "motion-table", "animation", "physics-script"),
    "client_cell_1.dat": ("cell-landblock", "landblock-info"),
}


def typed_files(sample_world, bake_cli):
    """(archive, type, id) of every file `dat ls --type` lists in the sample world."""
    for name, types in TYPES_BY_ARCHIVE.items():
        path = sample_world / name
        for type in types:
            listing = bake_cli("dat", "ls", str(path), "--type", type).stdout.decode().split("\n")
            for line in filter(None, listing):
                yield path, type, int(line.split()[0], 16)


def test_every_record_decodes_as_dat_show_and_encodes_to_its_bytes(sample_world, bake_cli):
    seen = set()
    for path, type, file_id in typed_files(sample_world, bake_cli):
        with ravelin.DatDatabase(path) as db:
            data = db.get_file(file_id)
            document = ravelin.decode_record(type, data)
            assert document == db.show(file_id), f"0x{file_id:08X}"
        assert ravelin.encode_record(type, document) == data, f"0x{file_id:08X}"
        # The id names the type of every record of the sample world.
        assert ravelin.encode_record(None, json.dumps(document)) == data, f"0x{file_id:08X}"
        seen.add(type)
    assert seen == {t for types in TYPES_BY_ARCHIVE.values() for t in types}


def test_an_edited_field_changes_its_bytes(sample_world):
    with ravelin.DatDatabase(sample_world / "client_portal.dat") as db:
        data = db.get_file(0x33000300)
    document = ravelin.decode_record("physics-script", data)
    hook = next(entry["hook"] for entry in document["script_data"] if "emitter_id" in entry["hook"])
    old = int(hook["emitter_id"], 16).to_bytes(4, "little")
    hook["emitter_id"] = "0x32ABCDEF"
    edited = ravelin.encode_record("physics-script", document)
    at = edited.find(bytes.fromhex("efcdab32"))
    assert at >= 0 and len(edited) == len(data)
    assert data[:at] + old + data[at + 4:] == data and edited[:at] + old + edited[at + 4:] == data
    # The payload's hex is printed for reading only: the decoded one follows the field.
    hook["payload"] = "efcdab32" + hook["payload"][8:]
    assert ravelin.decode_record("physics-script", edited) == document


def test_nan_and_infinities_as_floats_or_texts(sample_world):
    with ravelin.DatDatabase(sample_world / "client_cell_1.dat") as db:
        data = db.get_file(0xA9B4FFFE)
    document = ravelin.decode_record("landblock-info", data)
    origin = document["objects"][0]["frame"]["origin"]
    origin.update(x=float("nan"), y=float("inf"), z="-inf")
    back = ravelin.decode_record("landblock-info", ravelin.encode_record("landblock-info", document))
    assert back["objects"][0]["frame"]["origin"] == {"x": "NaN", "y": "inf", "z": "-inf"}


@pytest.mark.parametrize("change, error", [
    (lambda d: d["frames"][0]["hooks"].append({"hook_type": "1", "hook_word": 0}),
     "/frames/0/hooks/0/hook_type: expected an unsigned 32-bit integer"),
    (lambda d: d.pop("part_count"), "/part_count: missing member, expected an unsigned 32-bit integer"),
    (lambda d: d.update(colour=1), "/colour: unknown member"),
    (lambda d: d.update(frame_count=9), "/frame_count: expected 2, the number of frames"),
])
def test_a_bad_document_raises_record_error_at_its_pointer(sample_world, change, error):
    with ravelin.DatDatabase(sample_world / "client_portal.dat") as db:
        document = ravelin.decode_record("animation", db.get_file(0x03000201))
    document["frames"][0]["hooks"] = []
    change(document)
    with pytest.raises(ravelin.RecordError) as raised:
        ravelin.encode_record("animation", document)
    assert str(raised.value) == error
    assert isinstance(raised.value, ValueError)


def test_types_ids_and_undecodable_bytes():
    with pytest.raises(ValueError, match="unknown record type 'weather': one of region, setup"):
        ravelin.decode_record("weather", b"")
    with pytest.raises(ValueError, match="unknown record type 'weather'"):
        ravelin.encode_record("weather", {})
    with pytest.raises(ravelin.DatError, match="^Binary read error: failed to fill whole buffer"):
        ravelin.decode_record("region", b"\x00\x00\x00\x13")
    with pytest.raises(ravelin.RecordError, match="^/id: 0x1300FFFF names a cell-landblock in a cell archive and a "
                                                  "region in any other"):
        ravelin.encode_record(None, {"id": "0x1300FFFF"})
    with pytest.raises(ravelin.RecordError, match="^document: invalid JSON: "):
        ravelin.encode_record("region", "{")
