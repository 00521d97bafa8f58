"""Changing archives: ArchiveEditor, and check_archive for their structure."""

from __future__ import annotations

import json
import os
from typing import Any, Iterable, List, NamedTuple, Optional, Tuple, Union

from . import _ravelin

StrPath = Union[str, "os.PathLike[str]"]
# Any bytes-like object: bytes, bytearray, memoryview.
BytesLike = Union[bytes, bytearray, memoryview]


class CommitStats(NamedTuple):
    """What a commit did, in blocks."""

    blocks_written: int      # new bodies and directory node copies
    blocks_reused: int       # of those, free or reclaimed blocks
    blocks_appended: int     # of those, after the file's end
    blocks_freed: int        # joined the free list after the commit
    blocks_reclaimed: int    # leaked blocks reused or put on the free list
    blocks_left_leaked: int  # freed while readers had the archive open: left for a later commit
    reuse: bool              # whether no reader had the archive open, so blocks could be reused


class Entry(NamedTuple):
    """An entry of an editor's pending state."""

    id: int
    bit_flags: int  # bit 0: the body is stored compressed
    size: int       # the stored length
    timestamp: int
    version: int


class ArchiveEditor:
    """One archive opened for changing: puts and removes, a batch at a time,
    each batch published by commit(), which no crash can tear.

        with ravelin.ArchiveEditor("client_portal.dat") as ed:
            ed.put(0x0A000001, data, compressed=True)
            ed.remove(0x0A000002)
            ed.commit()

    As a context manager it commits only when told: leaving the block, by an
    exception or not, abandons what was not committed and closes the editor.
    While it is open no other editor (in this process or another) can open the
    archive: DatError with kind "busy". Readers may stay open across a commit
    and keep reading the version they opened.

    Errors raise DatError whose str() is what `ravelin-bake dat put` / `dat rm`
    print after "error: " and whose `kind` is "busy", "refused" (the archive
    cannot be edited as it is; `ravelin-bake dat compact` rewrites it),
    "not_found", "too_large", "io" or "archive". After close() every call
    raises ValueError. An editor is used from one thread at a time (a call
    made while another thread is inside one raises RuntimeError); commit()
    and compressed puts release the GIL.
    """

    __slots__ = ("_editor",)

    def __init__(self, path: StrPath) -> None:
        self._editor = _ravelin.ArchiveEditor(path)

    @classmethod
    def create(cls, path: StrPath, block_size: Optional[int] = None, *,
               like: Optional[Union[StrPath, "_ravelin.DatDatabase"]] = None) -> ArchiveEditor:
        """Writes a new empty archive at `path` (replacing any file there) and
        opens it for changing. `like` (a path or a DatDatabase) gives the header
        fields other than the layout's: magic, dataset, subset, the LRU fields,
        master_map_id, the version fields; without it they are 0. `block_size`
        defaults to like's."""
        if like is not None and isinstance(like, _ravelin.DatDatabase):
            like = like.path
        if block_size is None:
            if like is None:
                raise ValueError("ArchiveEditor.create needs a block_size or a `like` archive")
            block_size = 0
        elif not 0 < block_size <= 0xFFFFFFFF:
            raise ValueError(f"block_size out of range: {block_size}")
        editor = cls.__new__(cls)
        editor._editor = _ravelin.ArchiveEditor._create(path, block_size, like)
        return editor

    @property
    def path(self) -> Any:
        """The path the archive was opened from (a pathlib.Path)."""
        return self._editor.path

    def put(self, file_id: int, data: BytesLike, *, compressed: bool = False, flags: Optional[int] = None,
            timestamp: Optional[int] = None, version: Optional[int] = None) -> None:
        """Adds or replaces file `file_id` with `data`, stored compressed when
        asked (the reader's decompression gives the bytes back). flags (bit_flags
        but bit 0, which `compressed` sets), timestamp and version default to
        the replaced entry's, or 0 for a new id."""
        self._editor.put(file_id, data, compressed, flags, timestamp, version)

    def put_stored(self, file_id: int, stored: BytesLike, *, bit_flags: int = 0, timestamp: int = 0,
                   version: int = 0) -> None:
        """Adds or replaces file `file_id` with a body stored as it is
        (compressed or not, as bit 0 of `bit_flags` says) and these fields."""
        self._editor.put_stored(file_id, stored, bit_flags, timestamp, version)

    def put_record(self, file_id: int, document: Union[dict[str, Any], str]) -> None:
        """Adds or replaces record `file_id` from its document (a dict as
        ravelin.decode_record and DatDatabase.show return it, edited or not, or
        its JSON text), encoded as ravelin.encode_record does, as the type the
        archive reads the id as (as `ravelin-bake dat show` picks it: the top
        byte, or in a client_cell archive the low half). A replaced entry keeps
        its compression, flags, timestamp and version; a new one is stored
        plain with zeros. Raises RecordError (a ValueError) naming the JSON
        Pointer of the first value that is not what the type needs (the
        document's "id" must be `file_id`), ValueError for an id that is no
        record, DatError as put() does; nothing is put then."""
        from . import _with_texts_for_floats

        if isinstance(document, str):
            text = document
        else:
            text = json.dumps(_with_texts_for_floats(document), allow_nan=False, separators=(",", ":"),
                              ensure_ascii=False)
        self._editor.put_record(file_id, text)

    def copy_from(self, other: Union[StrPath, "_ravelin.DatDatabase"], ids: Iterable[int]) -> Tuple[int, int]:
        """Puts the entries `ids` names in `other` (a DatDatabase or an archive
        path) into the batch, each with its stored bytes and fields (never
        decompressed or compressed again), replacing ids the archive holds:
        (added, replaced). DatError (kind "not_found") when `other` lacks an
        id; then nothing is put."""
        path = other.path if isinstance(other, _ravelin.DatDatabase) else other
        return self._editor.copy_from(path, list(ids))

    def remove(self, file_id: int) -> None:
        """Removes file `file_id`; DatError (kind "not_found") when the pending
        state lacks it."""
        self._editor.remove(file_id)

    def commit(self) -> CommitStats:
        """Publishes the batch. On failure the batch is dropped and the archive
        holds what it held before; the editor stays open either way."""
        return CommitStats(*self._editor.commit())

    def abandon(self) -> None:
        """Drops the batch; nothing is written. The editor stays open."""
        self._editor.abandon()

    def close(self) -> None:
        """Drops the batch and closes the editor, letting the next editor in."""
        self._editor.close()

    @property
    def closed(self) -> bool:
        return self._editor.closed

    def entry(self, file_id: int) -> Optional[Entry]:
        """The pending state's entry for `file_id`, or None."""
        found = self._editor.entry(file_id)
        return None if found is None else Entry(*found)

    def __len__(self) -> int:
        """The number of entries of the pending state."""
        return len(self._editor)

    def __contains__(self, file_id: object) -> bool:
        """Whether the pending state holds `file_id` (an int or "0x..." text)."""
        return file_id in self._editor

    def __enter__(self) -> ArchiveEditor:
        return self

    def __exit__(self, *exc_info: object) -> None:
        self.close()

    def __repr__(self) -> str:
        if self.closed:
            return f"<ravelin.ArchiveEditor {str(self.path)!r}: closed>"
        return f"<ravelin.ArchiveEditor {str(self.path)!r}: {len(self)} entries>"


class CheckFinding(NamedTuple):
    """One finding of check_archive."""

    severity: str  # "fault" (a read or an edit goes wrong) or "note"
    code: str      # stable, for scripts: "cycle", "leaked-blocks", ...
    message: str


class CheckReport:
    """The structural check of an archive, as `ravelin-bake dat check` reports it.

    findings     list of CheckFinding, in the order found
    faults       the findings of severity "fault"; notes the others
    ok           no faults (what makes `dat check` exit 0)
    totals       dict: file_length, block_size, entries, nodes, depth,
                 free_blocks, leaked_blocks, leaked_bytes, faults, notes
    to_json_lines()  the lines `dat check --json` prints
    str(report)  the lines `dat check` prints
    """

    __slots__ = ("findings", "totals", "_json_lines", "_text")

    def __init__(self, json_lines: str, text: str) -> None:
        lines = [json.loads(line) for line in json_lines.splitlines()]
        self.findings: List[CheckFinding] = [
            CheckFinding(line["severity"], line["code"], line["message"]) for line in lines[:-1]]
        self.totals: dict[str, int] = lines[-1]["totals"]
        self._json_lines = json_lines
        self._text = text

    @property
    def faults(self) -> List[CheckFinding]:
        return [f for f in self.findings if f.severity == "fault"]

    @property
    def notes(self) -> List[CheckFinding]:
        return [f for f in self.findings if f.severity != "fault"]

    @property
    def ok(self) -> bool:
        return not self.faults

    def to_json_lines(self) -> str:
        return self._json_lines

    def __str__(self) -> str:
        return self._text

    def __repr__(self) -> str:
        return f"<ravelin.CheckReport: {self.totals['faults']} faults, {self.totals['notes']} notes>"


def check_archive(path: StrPath) -> CheckReport:
    """Checks the whole structure of the archive at `path`: the header, every
    directory node, every entry's chain against its size, the free list, and
    what nothing uses. Damage is reported as findings, never raised; DatError
    only when the file cannot be opened or read. Releases the GIL."""
    return CheckReport(*_ravelin.check_archive(path))
