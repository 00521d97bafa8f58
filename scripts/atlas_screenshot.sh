#!/usr/bin/env bash
# The atlas of a whole world as a user first sees it: bakes every landblock
# with --atlas into a scratch directory, opens the page in headless Chromium
# and writes docs/atlas.png (terrain and heat layer, 0xA9B4's panel open) and
# docs/atlas-circles.png (circles by count, zoomed in around 0xA9B4), then a
# patch page of the same world as docs/atlas-patch.png: an example patch that
# marks the landblocks with 10 or more physics particle events changed (the
# ones a change to a tree's script would reach), a few of the others added or
# removed. Prints the page's own first-draw time (navigation
# start to the end of the first draw, terrain and overlay included).
# Not part of CI: it needs a retail-size world (420 MB) and a minute or so;
# `ravelin-bake sample-world build/retail-world --scale retail` writes one.
#   scripts/atlas_screenshot.sh [WORLD_DIR] [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
world="${1:-build/retail-world}"
build="${2:-build}"
[[ -f "$world/client_cell_1.dat" ]] || { echo "no client_cell_1.dat in $world" >&2; exit 1; }
cmake -S . -B "$build" -G Ninja >/dev/null
ninja -C "$build" -j2 ravelin-bake atlas_patch_page >/dev/null
npm_dir="$build/tools/atlas_browser_test/npm"
tools/atlas_browser_test/npm_install.sh "$npm_dir"

out=$(mktemp -d /tmp/ravelin-atlas.XXXXXX)
trap 'rm -rf "$out"' EXIT
"$build/tools/ravelin-bake" bake-all --dat-dir "$world" --out-dir "$out/all" --atlas
node "$npm_dir/screenshot.mjs" "$out/all/atlas.html" docs/atlas.png A9B4 1400x860
node "$npm_dir/screenshot.mjs" "$out/all/atlas.html" docs/atlas-circles.png A9B4 1400x860 circles 40
awk -F'"' '/"physics_script_particle":(1[0-9]|[2-9][0-9])[,}]/ {
    printf "{\"landblock_id\":\"%s\",\"change\":\"changed\",\"removed\":6,\"added\":6,\"caused_by\":[\"physics script 0x33000300\"]}\n", $4; next }
  NR % 4001 == 0 { printf "{\"landblock_id\":\"%s\",\"change\":\"%s\",\"removed\":0,\"added\":40,\"caused_by\":[\"LandblockInfo\"]}\n", $4, (NR % 8002 == 0 ? "removed" : "added") }' \
  "$out/all/index.jsonl" >"$out/patch.jsonl"
"$build/tools/atlas_patch_page" "$world" "$out/patch" "$out/patch.jsonl"
node "$npm_dir/screenshot.mjs" "$out/patch/atlas.html" docs/atlas-patch.png "$(awk -F'"' 'NR == 1 {print substr($4, 3, 4)}' "$out/patch.jsonl")" 1400x860
