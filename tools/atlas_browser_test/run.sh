#!/usr/bin/env bash
# The atlas in a real browser: bakes the sample world with --svg --atlas (and a
# run with a failing landblock), installs the pinned puppeteer-core from the
# lockfile when it is missing, and drives /usr/bin/chromium over the pages,
# the patch page of a hand-made list (atlas_patch_page) among them. Those pages
# come from the test builds (RAVELIN_BAKE_TEST_PAGE, ATLAS_PATCH_PAGE), whose
# script sets window.atlas; the page of RAVELIN_BAKE itself, the one users get,
# must carry no window.atlas and still draw.
#   run.sh RAVELIN_BAKE_TEST_PAGE WORK_DIR ATLAS_PATCH_PAGE RAVELIN_BAKE
set -euo pipefail
bake=$1 work=$2 patch_page=$3 user_bake=$4
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$work"
rm -rf "$work/world" "$work/all" "$work/failed" "$work/patch" "$work/user"

# node_modules lives in the work directory, so the source tree stays clean.
npm_dir=$work/npm
"$here/npm_install.sh" "$npm_dir"

"$bake" sample-world "$work/world" >/dev/null
"$bake" bake-all --dat-dir "$work/world" --out-dir "$work/all" --svg --atlas 2>/dev/null
# 0x0102 has no CellLandblock: bake-all exits 1 and still writes the page.
if "$bake" bake-all --dat-dir "$work/world" --out-dir "$work/failed" --landblocks 0x0102,0xA9B4 --atlas 2>/dev/null; then
  echo "bake-all with a failing landblock exited 0" >&2
  exit 1
fi
"$patch_page" "$work/world" "$work/patch"
"$user_bake" bake-all --dat-dir "$work/world" --out-dir "$work/user" --atlas 2>/dev/null
if grep -q 'window\.atlas' "$work/user/atlas.html"; then
  echo "the page of $user_bake carries the test hook (window.atlas)" >&2
  exit 1
fi
# What the page should show of the land, decoded by dat show.
"$bake" dat show --compact "$work/world/client_portal.dat" 0x13000000 >"$work/all/region.json"
for lb in A9B4 AAB4; do "$bake" dat show --compact "$work/world/client_cell_1.dat" "0x${lb}FFFF" >"$work/all/$lb.cell.json"; done
node "$npm_dir/atlas_test.mjs" "$work/all" "$work/failed" "$work/patch" "$work/user"
