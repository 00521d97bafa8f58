#!/usr/bin/env bash
# The libraries as WebAssembly: installs clang 19 and the wasm32-wasi C and C++
# libraries (deps.sh web), builds build-web with cmake/wasm32-wasi.cmake (the
# three libraries, the C interface, the drawing library and ravelin.wasm, the
# page's module), runs the page's JavaScript tests, then the same-bytes
# comparison of the module under Node.js's WASI with the native ravelin-bake
# (web/test/same_bytes.mjs), and prints the module's size; then builds the
# page, ravelin.html (web/build_page.mjs), lints its scripts and opens it in
# Chromium against the native program (web/test/page_test.sh).
#
#   web.sh [NATIVE_BUILD_DIR]
#
# NATIVE_BUILD_DIR (default build, configured when missing) gives ravelin-bake,
# random_world_test and ravelin_damaged_inputs, built there when missing.
# Environment: RAVELIN_WEB_BUILD (default build-web), JOBS (default 2).
set -euo pipefail
cd "$(dirname "$0")/.."
native=${1:-build}
web=${RAVELIN_WEB_BUILD:-build-web}
jobs=${JOBS:-2}
# The module's bound before anything is embedded in a page.
max_module_bytes=$((3 * 1024 * 1024))

./scripts/deps.sh web
started=$(date +%s)

echo "== WebAssembly build in $web" >&2
cmake -S . -B "$web" -G Ninja --toolchain cmake/wasm32-wasi.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
if ! ninja -C "$web" -j "$jobs" ravelin_common ravelin_dat ravelin_event_bake ravelin_c ravelin_drawing ravelin_web \
    >"$web/build.log" 2>&1; then
  grep -E 'error|FAILED' "$web/build.log" | head -20 >&2
  echo "the WebAssembly build failed (log: $web/build.log)" >&2
  exit 1
fi
module=$web/web/ravelin.wasm
page=$web/web/ravelin.html
node web/build_page.mjs "$module" "$page"
built=$(date +%s)

echo "== native programs in $native" >&2
[ -f "$native/build.ninja" ] ||
  cmake -S . -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
ninja -C "$native" -j "$jobs" ravelin-bake random_world_test ravelin_damaged_inputs >/dev/null
bake=$(realpath "$native/tools/ravelin-bake")
random_world=$(realpath "$native/tools/random_world_test")
damaged_inputs=$(realpath "$native/fuzz/ravelin_damaged_inputs")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
(
  cd "$work"
  "$bake" sample-world sample >/dev/null
  "$random_world" random 7
  "$damaged_inputs" damaged >/dev/null
)

echo "== the page's JavaScript" >&2
node --test web/test/files_test.mjs web/test/ravelin_test.mjs web/test/page_parts_test.mjs >"$work/js-tests.log" 2>&1 || { cat "$work/js-tests.log" >&2; exit 1; }

echo "== same bytes: ravelin.wasm under Node.js's WASI against $native/tools/ravelin-bake" >&2
node --no-warnings --experimental-wasi-unstable-preview1 web/test/same_bytes.mjs "$module" "$bake" "$work"

size=$(stat -c %s "$module")
echo "ravelin.wasm: $size bytes (bound $max_module_bytes); web build $((built - started)) s, checks $(($(date +%s) - built)) s" >&2
[ "$size" -le "$max_module_bytes" ] || { echo "ravelin.wasm is larger than $max_module_bytes bytes" >&2; exit 1; }

echo "== the page: $page ($(stat -c %s "$page") bytes) linted and opened in Chromium" >&2
web/lint.sh "$web/page_lint" "$web/web/ravelin.main.js" "$web/web/ravelin.worker.js"
web/test/page_test.sh "$page" "$bake" "$work" "$web/page_test"
