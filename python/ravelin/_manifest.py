"""Manifest bytes to per-family lists of dicts, each equal to its line parsed as JSON."""

from __future__ import annotations

import json
import re
from typing import Any, List, Sequence

# Lines may carry raw control characters inside the day group name, so strings
# are parsed non-strictly.
_decoder = json.JSONDecoder(strict=False)

# A JSON string (skipped whole) or a bare `inf` outside one; `-inf` keeps its sign.
_string_or_inf = re.compile(r'"(?:[^"\\]|\\.)*"|inf', re.DOTALL)

# The end of every sky line. Inside the escaped day group name every quote follows
# a backslash, so `,"` (and with it this marker) cannot occur there.
_sky_line_end = b',"anchor":"sky_cell_origin"}\n'


def _spell_infinity(match: re.Match[str]) -> str:
    token = match.group()
    return "Infinity" if token == "inf" else token


def parse_line(line: bytes) -> dict[str, Any]:
    """One manifest line (without its newline) as a dict; bare NaN, inf and -inf
    become float('nan'), float('inf') and float('-inf')."""
    text = line.decode("utf-8", "surrogateescape")
    if "inf" in text:
        text = _string_or_inf.sub(_spell_infinity, text)
    return _decoder.decode(text)


def _after_lines(jsonl: bytes, start: int, count: int) -> int:
    """The offset just after `count` newline-ended lines from `start`."""
    for _ in range(count):
        end = jsonl.find(b"\n", start)
        if end < 0:
            raise ValueError("manifest does not hold the expected number of lines")
        start = end + 1
    return start


def family_lines(jsonl: bytes, counts: Sequence[int], index: int) -> List[bytes]:
    """The lines (newlines removed) of family `index`, `counts` holding the
    number of lines of each family in manifest order (ambient, animation sound,
    physics particle, sky); the other families' bytes are not copied. Lines of
    the families before sky hold no raw newline; sky lines, the last family's,
    end at their anchor, whatever their day group name."""
    sky = len(counts) - 1
    start = _after_lines(jsonl, 0, sum(counts[:min(index, sky)]))
    if index < sky:
        end = _after_lines(jsonl, start, counts[index])
        if index == sky - 1 and counts[sky] == 0 and end != len(jsonl):
            raise ValueError("manifest does not hold the expected number of lines")
        return jsonl[start:end].split(b"\n")[:-1] if end > start else []
    pieces = jsonl[start:].split(_sky_line_end)
    if len(pieces) != counts[sky] + 1 or pieces[-1]:
        raise ValueError("manifest does not hold the expected number of lines")
    end = _sky_line_end[:-1]
    return [piece + end for piece in pieces[:-1]]


def split_families(jsonl: bytes, counts: Sequence[int]) -> List[List[bytes]]:
    """The manifest's lines (newlines removed) in one list per family, in
    manifest order, with `counts` lines each."""
    return [family_lines(jsonl, counts, index) for index in range(len(counts))]
