#!/usr/bin/env bash
# Configures and builds one build tree: scripts/build.sh [BUILD_DIR] [extra cmake args...]
# RAVELIN_TARGETS="a b" builds only those targets (and what they need).
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
shift || true
# Debian's interpreter: the one its pybind11, pytest and jsonschema packages serve.
python=()
[ -x /usr/bin/python3 ] && python=(-DPython_EXECUTABLE=/usr/bin/python3)
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${python[@]}" "$@" >/dev/null
echo "== building $dir" >&2
targets=()
for t in ${RAVELIN_TARGETS:-}; do targets+=(--target "$t"); done
cmake --build "$dir" "${targets[@]}"
