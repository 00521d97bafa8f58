#!/usr/bin/env bash
# Configures and builds one build tree: scripts/build.sh [BUILD_DIR] [extra cmake args...]
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
shift || true
# Debian's interpreter: the one its pybind11, pytest and jsonschema packages serve.
python=()
[ -x /usr/bin/python3 ] && python=(-DPython_EXECUTABLE=/usr/bin/python3)
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${python[@]}" "$@" >/dev/null
echo "== building $dir" >&2
cmake --build "$dir"
