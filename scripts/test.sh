#!/usr/bin/env bash
# Set-up, build and the whole test suite: the normal build (with the Python
# package), then the AddressSanitizer + UndefinedBehaviorSanitizer build (skip it
# with RAVELIN_SKIP_SANITIZE=1; it leaves the Python package out, as an
# instrumented module does not load into a plain interpreter).
set -euo pipefail
cd "$(dirname "$0")/.."
./scripts/deps.sh
jobs=$(nproc)
# The same build tree as scripts/demo.sh: after the demo only what changed is built.
# The benchmark programs are built (in Release) by scripts/bench.sh.
./scripts/build.sh build -DRAVELIN_BUILD_PYTHON=ON -DRAVELIN_BUILD_BENCH=OFF
ctest --test-dir build --output-on-failure -j "$jobs"
if [ "${RAVELIN_SKIP_SANITIZE:-0}" != 1 ]; then
  # Line tables are all a sanitizer's report needs, and a third quicker to
  # compile than full debug information.
  ./scripts/build.sh build-asan -DRAVELIN_SANITIZE=ON -DRAVELIN_BUILD_BENCH=OFF \
    "-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" "-DCMAKE_C_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG"
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build-asan --output-on-failure -j "$jobs"
fi
