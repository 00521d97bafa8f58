"""Read the game client's DAT archives and bake landblock event manifests.

    db = ravelin.DatDatabase("dats/client_portal.dat")
    region = db.get_file(0x13000000)

    b = ravelin.bake("dats", 0xA9B4)
    b.to_jsonl()          # exactly the bytes `ravelin-bake bake` writes
    b.sky[0]["emitter_id"]

    with ravelin.BakeSession("dats") as s:       # archives opened once
        for landblock in s.landblocks():
            s.bake(landblock)                   # from any number of threads

    doc = ravelin.decode_record("physics-script", db.get_file(0x33000300))
    doc["script_data"][0]["hook"]["emitter_id"] = "0x32000002"
    data = ravelin.encode_record("physics-script", doc)

    with ravelin.ArchiveEditor("dats/client_portal.dat") as ed:
        ed.put(0x0A000001, data, compressed=True)
        ed.commit()                             # without it, nothing is written
    ravelin.check_archive("dats/client_portal.dat").ok

Failures raise ravelin.DatError (archives), ravelin.BakeError (bakes) and
ravelin.RecordError (record documents), whose str() is the library's message.
"""

from __future__ import annotations

import os
from typing import TYPE_CHECKING, Any, List, NamedTuple, Optional, Tuple, Union

from . import _manifest, _ravelin

__all__ = ["__version__", "DatError", "BakeError", "RecordError", "DatDatabase", "EventFamily", "EVENT_FAMILIES",
           "Bake", "bake", "BakeSession", "Diff", "diff", "decode_record", "encode_record"]

__version__: str = _ravelin.__version__

DatError = _ravelin.DatError
BakeError = _ravelin.BakeError
RecordError = _ravelin.RecordError
DatError.__module__ = __name__
BakeError.__module__ = __name__
RecordError.__module__ = __name__

# Changing archives and checking their structure.
from ._editor import ArchiveEditor, CheckFinding, CheckReport, CommitStats, Entry, check_archive  # noqa: E402

__all__ += ["ArchiveEditor", "CheckFinding", "CheckReport", "CommitStats", "Entry", "check_archive"]
for _name in ("ArchiveEditor", "CheckFinding", "CheckReport", "CommitStats", "Entry", "check_archive"):
    globals()[_name].__module__ = __name__
del _name

StrPath = Union[str, "os.PathLike[str]"]
# An int, or text as on the command line: "0xA9B4", "43444", "0xA9B40000".
IdLike = Union[int, str]

DEFAULT_REGION = 0x13000000


class DatDatabase(_ravelin.DatDatabase):
    """One DAT archive opened read-only, its header and whole directory loaded.

    DatDatabase(path) raises DatError when the archive cannot be opened. The
    database never changes afterwards: any number of threads may fetch from it.

    db.header            dict of the header's fields (version_string as bytes)
    len(db)              number of directory entries
    file_id in db        whether the directory lists the id (an int or "0x..." text)
    db.file_ids()        every id, ascending
    db.get_file(id)      the file's bytes, decompressed; DatError on failure
    db.show(id, type)    the decoded record as `ravelin-bake dat show` writes it
    db.close()           releases the archive (also on leaving a `with` block);
                         later calls raise ValueError
    """

    def __repr__(self) -> str:
        if self.closed:
            return f"<ravelin.DatDatabase {str(self.path)!r}: closed>"
        return f"<ravelin.DatDatabase {str(self.path)!r}: {len(self)} entries>"

    def __enter__(self) -> DatDatabase:
        return self

    def __exit__(self, *exc_info: object) -> None:
        self.close()

    def show(self, file_id: int, type: Optional[str] = None) -> dict[str, Any]:
        """The record `file_id` decoded, as the JSON document `ravelin-bake dat
        show` writes, parsed. `type` names the record type ("region", "setup",
        "motion-table", ...); None picks it from the id as the command does. NaN
        values appear as the string "NaN". Raises DatError when the file cannot be
        fetched or decoded and ValueError for an unknown type name."""
        import json

        return json.loads(self._show(file_id, type))


class EventFamily(NamedTuple):
    """One event family of the manifest and every name it goes by."""

    source: str   # the "source" of its manifest lines: "ambient"
    trigger: str  # the "trigger" of its manifest lines: "terrain"
    table: str    # the table of its rows in `ravelin-bake bake-all --db`: "ambient"
    python: str   # its list in Bake: "ambient"
    display: str  # its name for people: "ambient"


# The four event families in manifest order: ambient, animation sound, physics
# particle, sky. Manifest lines come in this order, and Bake's lists are named
# by each family's `python`.
EVENT_FAMILIES: Tuple[EventFamily, ...] = tuple(EventFamily(*family) for family in _ravelin.event_families)

# The docstrings of Bake's family lists.
_FAMILY_DOCS = {
    "ambient": "Ambient terrain sound lines, parsed.",
    "animation_sound": "Animation-frame sound lines, parsed.",
    "physics_particle": "Physics script particle emitter lines, parsed.",
    "sky": "Sky particle chain lines, parsed.",
}


class Bake:
    """The events one landblock can trigger.

    landblock_id, region_did   ints (0xA9B40000, 0x13000000)
    ambient, animation_sound, physics_particle, sky
                               lists of dicts, one per manifest line, each equal
                               to that line parsed as JSON (bare NaN, inf, -inf
                               as float('nan'), float('inf'), float('-inf'));
                               built on first access and then shared
    to_jsonl()                 the manifest bytes, as `ravelin-bake bake` writes
    inputs                     the archive records the bake read or looked for,
                               as `ravelin-bake bake --inputs` prints them
                               ("portal:0x13000000", ..., "cell:0xA9B4FFFF")
    a == b                     the same landblock, region and manifest bytes
    """

    __slots__ = ("landblock_id", "region_did", "_jsonl", "_counts", "_families", "_input_ids")

    if TYPE_CHECKING:  # one property per family, made from EVENT_FAMILIES below
        ambient: List[dict[str, Any]]
        animation_sound: List[dict[str, Any]]
        physics_particle: List[dict[str, Any]]
        sky: List[dict[str, Any]]

    def __init__(self, raw: tuple) -> None:
        self.landblock_id: int
        self.region_did: int
        self.landblock_id, self.region_did, self._jsonl, self._counts, self._input_ids = raw
        # Each family is parsed on its first access only: a whole world's sky
        # lines alone are most of its bytes.
        self._families: List[Optional[List[dict[str, Any]]]] = [None] * len(EVENT_FAMILIES)

    def to_jsonl(self) -> bytes:
        """The JSON Lines manifest: ambient, animation sound, physics particle and
        sky lines, each ending in a newline."""
        return self._jsonl

    def _family(self, index: int) -> List[dict[str, Any]]:
        family = self._families[index]
        if family is None:
            lines = _manifest.family_lines(self._jsonl, self._counts, index)
            family = self._families[index] = [_manifest.parse_line(line) for line in lines]
        return family

    def __eq__(self, other: object) -> bool:
        if not isinstance(other, Bake):
            return NotImplemented
        return (self.landblock_id, self.region_did, self._jsonl) == (other.landblock_id, other.region_did,
                                                                      other._jsonl)

    def __hash__(self) -> int:
        return hash((self.landblock_id, self.region_did, self._jsonl))

    @property
    def inputs(self) -> List[str]:
        """"portal:0x…" then "cell:0x…" for each record the bake fetched or tried
        to fetch, ascending, each once."""
        portal, cell = self._input_ids
        return [f"portal:0x{i:08X}" for i in portal] + [f"cell:0x{i:08X}" for i in cell]

    def __repr__(self) -> str:
        counts = " ".join(f"{family.python}={count}" for family, count in zip(EVENT_FAMILIES, self._counts))
        return f"<ravelin.Bake landblock 0x{self.landblock_id:08X}: {counts}>"


def _family_property(index: int, doc: str) -> property:
    return property(lambda self: self._family(index), doc=doc)


for _index, _family in enumerate(EVENT_FAMILIES):
    setattr(Bake, _family.python, _family_property(_index, _FAMILY_DOCS[_family.python]))
del _index, _family


def bake(dat_dir: StrPath, landblock: IdLike, *, region: IdLike = DEFAULT_REGION,
         spawns_dir: Optional[StrPath] = None, setup_table: Optional[StrPath] = None,
         sky: bool = True) -> Bake:
    """Bake one landblock from the archives in `dat_dir`.

    landblock    a landblock number up to 0xFFFF (0xA9B4) or a whole id
                 (0xA9B40000), as an int or as text like "0xA9B4" or "43444"
    region       file id of the region record
    spawns_dir, setup_table
                 take the placed objects from a spawns manifest instead of the
                 landblock's LandblockInfo; give both or neither
    sky          False leaves the sky particle chain out

    Opens and closes both archives; to bake many landblocks use BakeSession.
    Raises BakeError (str(e) is what `ravelin-bake bake` prints after
    "error: "), ValueError for a malformed landblock or region id. Releases
    the GIL while it works.
    """
    return Bake(_ravelin.bake(dat_dir, landblock, region, spawns_dir, setup_table, sky))


class BakeSession:
    """Both archives of a DAT directory opened once and the region decoded once,
    for many bakes from any number of threads (each releases the GIL); decoded
    records are shared between them. Arguments as for ravelin.bake.

        with ravelin.BakeSession(dat_dir) as s:
            bakes = [s.bake(lb) for lb in s.landblocks()]

    Opening raises BakeError like a bake would. Closing while other threads bake
    is safe: their bakes finish; later calls raise ValueError.
    """

    def __init__(self, dat_dir: StrPath, *, region: IdLike = DEFAULT_REGION,
                 spawns_dir: Optional[StrPath] = None, setup_table: Optional[StrPath] = None,
                 sky: bool = True) -> None:
        self._session = _ravelin.BakeSession(dat_dir, region, spawns_dir, setup_table, sky)

    def landblocks(self) -> List[int]:
        """Ids of every landblock with a CellLandblock, ascending (0xA9B40000 form)."""
        return self._session.landblocks()

    def bake(self, landblock: IdLike) -> Bake:
        """The bake of `landblock` (as for ravelin.bake), equal to a one-off bake
        with the session's arguments. Raises BakeError or ValueError."""
        return Bake(self._session.bake(landblock))

    def close(self) -> None:
        """Releases the archives once bakes still running have finished."""
        self._session.close()

    @property
    def closed(self) -> bool:
        return self._session.closed

    def __enter__(self) -> BakeSession:
        return self

    def __exit__(self, *exc_info: object) -> None:
        self.close()


class Diff:
    """What changed between two client versions, as `ravelin-bake diff` writes it.

    files        list of dicts, one per line of files.jsonl: archive entries added,
                 removed, changed or unreadable
    records      list of dicts, one per line of records.jsonl: the RFC 6902 "patch"
                 from the old `dat show` document of a changed record to the new one
    landblocks   list of dicts, one per line of landblocks.jsonl: the manifest
                 lines removed and added (as strings) and what caused them
    summary      the Markdown text of summary.md
    """

    __slots__ = ("files", "records", "landblocks", "summary")

    def __init__(self, raw: tuple) -> None:
        import json

        files, records, landblocks, self.summary = raw
        self.files: List[dict[str, Any]] = [json.loads(line) for line in files]
        self.records: List[dict[str, Any]] = [json.loads(line) for line in records]
        self.landblocks: List[dict[str, Any]] = [json.loads(line) for line in landblocks]
        self.summary: str

    def __repr__(self) -> str:
        return (f"<ravelin.Diff: {len(self.files)} files, {len(self.records)} records, "
                f"{len(self.landblocks)} landblocks>")


def diff(old_dir: StrPath, new_dir: StrPath, *, region: IdLike = DEFAULT_REGION, sky: bool = True,
         jobs: Optional[int] = None) -> Diff:
    """Compare the client version in `old_dir` with the one in `new_dir` (each
    holding client_portal.dat and client_cell_1.dat), baking every landblock of
    both from its LandblockInfo on `jobs` threads (None: one per core).

    Raises BakeError when an archive cannot be opened (str(e) names the side and
    the archive, as `ravelin-bake diff` prints it after "error: "). Releases the
    GIL while it works.
    """
    if jobs is not None and jobs < 1:
        raise ValueError("jobs must be at least 1")
    return Diff(_ravelin.diff(old_dir, new_dir, region, sky, jobs))


def decode_record(type: str, data: bytes) -> dict[str, Any]:
    """The record `data` (a file's bytes, as DatDatabase.get_file returns them)
    decoded as `type` ("region", "setup", "motion-table", "animation",
    "physics-script", "cell-landblock", "landblock-info"): the JSON document
    `ravelin-bake dat show` writes, parsed. It holds everything the bytes hold:
    encode_record gives them back. NaN and infinities appear as the strings
    "NaN", "inf", "-inf". Raises DatError when the bytes do not decode and
    ValueError for an unknown type name. Releases the GIL while it decodes."""
    import json

    return json.loads(_ravelin._decode_record(type, bytes(data)))


def _with_texts_for_floats(value: Any) -> Any:
    """NaN and infinities as the strings the documents use for them."""
    if isinstance(value, float) and value != value:
        return "NaN"
    if isinstance(value, float) and value in (float("inf"), float("-inf")):
        return "inf" if value > 0 else "-inf"
    if isinstance(value, dict):
        return {k: _with_texts_for_floats(v) for k, v in value.items()}
    if isinstance(value, (list, tuple)):
        return [_with_texts_for_floats(v) for v in value]
    return value


def encode_record(type: Optional[str], document: Union[dict[str, Any], str]) -> bytes:
    """The bytes of the record `document` (a dict as decode_record returns it,
    edited or not, or its JSON text) as `type`; None takes the type from the
    document's "id" as `ravelin-bake dat encode` does. Editing a field changes
    the bytes it is stored in; a hook's "payload" hex is not read. Raises
    RecordError (a ValueError) naming the JSON Pointer of the first value that
    is not what its type needs, ValueError for an unknown type name. Releases
    the GIL while it encodes."""
    import json

    if isinstance(document, str):
        text = document
    else:
        text = json.dumps(_with_texts_for_floats(document), allow_nan=False, separators=(",", ":"),
                          ensure_ascii=False)
    return _ravelin._encode_record(type, text)


class Patch:
    """What `patch` changed (or would change) and where it conflicted, as
    `ravelin-bake patch --report` writes it.

    changes      list of dicts: {"kind": "change", "action": "add" | "remove" |
                 "replace" | "merge", "archive": "portal" | "cell", "id": "0x...",
                 "type": a record type name or None}
    conflicts    list of dicts: {"kind": "conflict", "archive", "id", "path" (a JSON
                 Pointer, "" for the whole file), "old", "new", "target" (each side's
                 value there, None where it has none), "why"}
    totals       dict: counts of "added", "removed", "replaced", "merged",
                 "unchanged", "conflicts", and "written" (whether it committed)
    """

    __slots__ = ("changes", "conflicts", "totals")

    def __init__(self, raw: tuple) -> None:
        import json

        changes, conflicts, totals = raw
        self.changes: List[dict[str, Any]] = [json.loads(line) for line in changes]
        self.conflicts: List[dict[str, Any]] = [json.loads(line) for line in conflicts]
        self.totals: dict[str, Any] = json.loads(totals)

    def __repr__(self) -> str:
        written = "written" if self.totals["written"] else "nothing written"
        return f"<ravelin.Patch: {len(self.changes)} changes, {len(self.conflicts)} conflicts, {written}>"


def patch(target: StrPath, old: StrPath, new: StrPath, *, dry_run: bool = False, keep_going: bool = False) -> Patch:
    """Carry the changes from the client version in `old` to the one in `new`
    onto the one in `target` (each a directory holding client_portal.dat and
    client_cell_1.dat), as `ravelin-bake patch` does: files added, removed and
    replaced where `target` holds what `old` held, changed records merged member
    by member. With a conflict nothing is written unless `keep_going`;
    `dry_run` writes nothing. Raises BakeError when an archive cannot be opened
    or a commit fails (str(e) as `ravelin-bake patch` prints it after
    "error: "). Releases the GIL while it works."""
    return Patch(_ravelin.patch(target, old, new, dry_run, keep_going))


__all__ += ["Patch", "patch"]


def extract(archive: StrPath, dir: StrPath, ids: "Optional[List[int]]" = None, *, stored: bool = False,
            force: bool = False) -> Tuple[int, int]:
    """As `ravelin-bake dat extract`: the archive's files (or those `ids` names)
    as dir/files/0xXXXXXXXX, with dir/index.jsonl and dir/header.json;
    decompressed unless `stored`. A non-empty dir needs `force`. Returns
    (files, bytes) written; DatError on failure."""
    return _ravelin.extract(archive, dir, list(ids or ()), stored, force)


def pack(dir: StrPath, archive: StrPath, *, block_size: Optional[int] = None) -> int:
    """As `ravelin-bake dat pack DIR -o ARCHIVE`: a new archive from a folder
    extract() wrote (block_size: header.json's unless given). Returns the
    number of entries; DatError (with the file or the line) on failure, and
    nothing left at `archive`."""
    return _ravelin.pack(dir, archive, block_size)[0]


__all__ += ["extract", "pack"]
