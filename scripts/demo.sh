#!/usr/bin/env bash
# Set-up, build, then the determinism check over a generated sample world: the
# runner's report (standard error) is the demo's output, followed by the first
# lines of the manifest the bake command writes for landblock 0xA9B4.
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh
# The same build tree as scripts/test.sh, which builds the rest (tests,
# benchmarks, the Python module) into it; only what the demo runs is built here.
# The build's progress goes to standard error.
RAVELIN_TARGETS="ravelin-bake determinism_100x" ./scripts/build.sh build -DRAVELIN_BUILD_PYTHON=ON >&2
./build/tools/ravelin-bake sample-world build/sample-world
RAVELIN_DAT_DIR="$PWD/build/sample-world" RAVELIN_SCRATCH_DIR="$PWD/build/sample-world-scratch" \
  ./build/runner/determinism_100x --gtest_brief=1 2>&1
echo
echo "---- ravelin-bake bake --dat-dir build/sample-world --landblock 0xA9B4 (first lines) ----"
./build/tools/ravelin-bake bake --dat-dir build/sample-world --landblock 0xA9B4 | sed -n 1,8p
