#!/usr/bin/env bash
# The atlas of a whole world as a user first sees it, with landblock 0xA9B4's
# panel open: bakes every landblock with --atlas into a scratch directory,
# opens the page in headless Chromium and writes docs/atlas.png. Prints the
# page's own first-draw time (navigation start to the end of the first draw).
# Not part of CI: it needs the retail-size world (420 MB) and a minute or so.
#   scripts/atlas_screenshot.sh [WORLD_DIR] [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
world="${1:-/work/retail-world}"
build="${2:-build}"
[[ -f "$world/client_cell_1.dat" ]] || { echo "no client_cell_1.dat in $world" >&2; exit 1; }
cmake -S . -B "$build" -G Ninja >/dev/null
ninja -C "$build" -j2 ravelin-bake >/dev/null
npm_dir="$build/tools/atlas_browser_test/npm"
tools/atlas_browser_test/npm_install.sh "$npm_dir"

out=$(mktemp -d /tmp/ravelin-atlas.XXXXXX)
trap 'rm -rf "$out"' EXIT
"$build/tools/ravelin-bake" bake-all --dat-dir "$world" --out-dir "$out" --atlas
node "$npm_dir/screenshot.mjs" "$out/atlas.html" docs/atlas.png A9B4 1400x860
