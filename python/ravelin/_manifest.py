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


def split_families(jsonl: bytes, counts: Sequence[int]) -> List[List[bytes]]:
    """The manifest's lines (newlines removed) in four lists: ambient, animation
    sound, physics particle and sky, with `counts` lines each."""
    head_count = counts[0] + counts[1] + counts[2]
    pieces = jsonl.split(b"\n", head_count)
    sky_pieces = pieces[-1].split(_sky_line_end)
    if len(pieces) != head_count + 1 or len(sky_pieces) != counts[3] + 1 or sky_pieces[-1]:
        raise ValueError("manifest does not hold the expected number of lines")
    head = pieces[:head_count]
    end = _sky_line_end[:-1]
    sky = [piece + end for piece in sky_pieces[:-1]]
    first, second = counts[0], counts[0] + counts[1]
    return [head[:first], head[first:second], head[second:], sky]
