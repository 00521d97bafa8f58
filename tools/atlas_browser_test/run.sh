#!/usr/bin/env bash
# The atlas in a real browser: bakes the sample world with --svg --atlas (and a
# run with a failing landblock), installs the pinned puppeteer-core from the
# lockfile when it is missing, and drives /usr/bin/chromium over both pages.
#   run.sh RAVELIN_BAKE WORK_DIR
set -euo pipefail
bake=$1 work=$2
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$work"
rm -rf "$work/world" "$work/all" "$work/failed"

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
node "$npm_dir/atlas_test.mjs" "$work/all" "$work/failed"
