"""The manifest line parser and the split into event families, on hand-made lines."""

import math

import pytest
from ravelin import _manifest

SKY_END = b',"anchor":"sky_cell_origin"}'


@pytest.mark.parametrize(
    "line, key, expected",
    [
        (b'{"volume":inf}', "volume", math.inf),
        (b'{"volume":-inf}', "volume", -math.inf),
        (b'{"a":"inf","volume":-inf}', "a", "inf"),
        (b'{"a":"x\\"inf","b":1}', "a", 'x"inf'),
        (b'{"a":"\\\\","volume":inf}', "volume", math.inf),
        (b'{"a":"tab\there"}', "a", "tab\there"),
        (b'{"big":100000000000000000000.000000}', "big", 1e20),
    ],
)
def test_parse_line(line, key, expected):
    assert _manifest.parse_line(line)[key] == expected


def test_parse_line_nan():
    assert math.isnan(_manifest.parse_line(b'{"volume":NaN}')["volume"])


def test_split_families_keeps_newlines_inside_sky_names():
    ambient = b'{"source":"ambient"}'
    physics = b'{"source":"physics_script_particle","anchor":"entity_origin"}'
    sky_1 = b'{"day_group_name":"a\n}\n{\\"anchor\\":\\"sky_cell_origin\\"}\n"' + SKY_END
    sky_2 = b'{"day_group_name":"b"' + SKY_END
    jsonl = b"".join(line + b"\n" for line in [ambient, physics, sky_1, sky_2])
    families = _manifest.split_families(jsonl, (1, 0, 1, 2))
    assert families == [[ambient], [], [physics], [sky_1, sky_2]]
    assert _manifest.parse_line(sky_1)["day_group_name"] == 'a\n}\n{"anchor":"sky_cell_origin"}\n'


def test_split_families_rejects_wrong_counts():
    with pytest.raises(ValueError):
        _manifest.split_families(b'{"source":"ambient"}\n', (2, 0, 0, 0))
