#!/usr/bin/env bash
# The page's speed and memory on a retail-size world (bench/page_bench.mjs):
# builds ravelin.html (scripts/web.sh's build) and the native ravelin-bake in
# Release when missing, installs the browser test's puppeteer-core, and runs
# the measurements in headless Chromium.
#   page_bench.sh [DAT_DIR] [NATIVE_RUNS]     (default build/retail-world, which scripts/bench.sh writes; 3)
# Environment: RAVELIN_WEB_BUILD (default build-web), RAVELIN_BUILD (default build-rel).
set -euo pipefail
cd "$(dirname "$0")/.."
dat_dir=${1:-build/retail-world}
runs=${2:-3}
web=${RAVELIN_WEB_BUILD:-build-web}
native=${RAVELIN_BUILD:-build-rel}
page=$web/web/ravelin.html
if [ ! -f "$page" ]; then
  cmake -S . -B "$web" -G Ninja --toolchain cmake/wasm32-wasi.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
  ninja -C "$web" ravelin_web >/dev/null
  node web/build_page.mjs "$web/web/ravelin.wasm" "$page"
fi
[ -f "$native/build.ninja" ] || cmake -S . -B "$native" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
ninja -C "$native" ravelin-bake >/dev/null
npm_dir=$native/page_bench_npm
tools/atlas_browser_test/npm_install.sh "$npm_dir"
cp bench/page_bench.mjs "$npm_dir/"
node "$npm_dir/page_bench.mjs" "$page" "$(realpath "$native/tools/ravelin-bake")" "$(realpath "$dat_dir")" "$runs"
