"""Finds the built package and ravelin-bake, and writes one sample world per run.

RAVELIN_PYTHON_DIR (the build tree's python/ folder) and RAVELIN_BAKE (the
ravelin-bake executable) are set by CTest; without them the default build tree
`build/` of the source checkout is used. RAVELIN_PYTHON_DIR=installed tests the
package the interpreter imports by itself (after `pip install .`).
"""

from __future__ import annotations

import os
import subprocess
import sys
from pathlib import Path

import pytest

_source_dir = Path(__file__).resolve().parents[2]
_python_dir = Path(os.environ.get("RAVELIN_PYTHON_DIR") or _source_dir / "build" / "python")
_bake_exe = Path(os.environ.get("RAVELIN_BAKE") or _source_dir / "build" / "tools" / "ravelin-bake")

_installed = os.environ.get("RAVELIN_PYTHON_DIR") == "installed"

if not _installed and not (_python_dir / "ravelin" / "__init__.py").is_file():
    raise pytest.UsageError(f"no built ravelin package in {_python_dir} (set RAVELIN_PYTHON_DIR)")
if not os.access(_bake_exe, os.X_OK):
    raise pytest.UsageError(f"no ravelin-bake at {_bake_exe} (set RAVELIN_BAKE)")
if not _installed:
    sys.path.insert(0, str(_python_dir))


def run_bake_cli(*args: str) -> subprocess.CompletedProcess[bytes]:
    """ravelin-bake with `args`, its output captured as bytes."""
    return subprocess.run([str(_bake_exe), *args], capture_output=True, check=False)


@pytest.fixture(scope="session")
def bake_cli():
    return run_bake_cli


@pytest.fixture(scope="session")
def sample_world(tmp_path_factory: pytest.TempPathFactory) -> Path:
    """A sample world written by `ravelin-bake sample-world`: both archives and spawns/."""
    world = tmp_path_factory.mktemp("sample-world")
    result = run_bake_cli("sample-world", str(world))
    assert result.returncode == 0, result.stderr.decode()
    return world
