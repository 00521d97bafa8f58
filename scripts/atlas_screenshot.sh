#!/usr/bin/env bash
# The atlas of a whole world as a user first sees it: bakes every landblock
# with --atlas into a scratch directory, opens the page in headless Chromium
# and writes docs/atlas.png (terrain and heat layer, 0xA9B4's panel open) and
# docs/atlas-circles.png (circles by count, zoomed in around 0xA9B4), then
# `diff --atlas` of the world against its revision 2 as docs/atlas-patch.png.
# Prints the page's own first-draw time (navigation
# start to the end of the first draw, terrain and overlay included).
# The pages come from the test build of the tool (ravelin-bake-test-page), whose
# page hands the map to window.atlas for the screenshot script to drive.
# Not part of CI: it needs a retail-size world (420 MB) and a minute or so;
# `ravelin-bake sample-world build/retail-world --scale retail` writes one.
#   scripts/atlas_screenshot.sh [WORLD_DIR] [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
world="${1:-build/retail-world}"
build="${2:-build}"
[[ -f "$world/client_cell_1.dat" ]] || { echo "no client_cell_1.dat in $world" >&2; exit 1; }
cmake -S . -B "$build" -G Ninja >/dev/null
ninja -C "$build" -j2 ravelin-bake-test-page >/dev/null
bake="$build/tools/ravelin-bake-test-page"
npm_dir="$build/tools/atlas_browser_test/npm"
tools/atlas_browser_test/npm_install.sh "$npm_dir"

out=$(mktemp -d /tmp/ravelin-atlas.XXXXXX)
trap 'rm -rf "$out"' EXIT
"$bake" bake-all --dat-dir "$world" --out-dir "$out/all" --atlas
node "$npm_dir/screenshot.mjs" "$out/all/atlas.html" docs/atlas.png A9B4 1400x860
node "$npm_dir/screenshot.mjs" "$out/all/atlas.html" docs/atlas-circles.png A9B4 1400x860 circles 40
# The patch page of a real patch: the world's revision 2 (the world must be
# sample-world's retail one of the default seed) against the world itself.
"$bake" sample-world "$out/r2" --scale retail --revision 2 >/dev/null
"$bake" diff "$world" "$out/r2" --out-dir "$out/patch" --atlas
node "$npm_dir/screenshot.mjs" "$out/patch/atlas.html" docs/atlas-patch.png \
  "$(awk -F'"' 'NR == 1 {print substr($4, 3, 4)}' "$out/patch/landblocks.jsonl")" 1400x860
