#!/usr/bin/env bash
# The page in Chromium: installs the browser test's pinned puppeteer-core
# (tools/atlas_browser_test's lockfile) into NPM_DIR when missing and runs
# page_test.mjs there over PAGE_HTML with the native RAVELIN_BAKE and WORK
# (sample/ and damaged/, as scripts/web.sh makes them).
#   page_test.sh PAGE_HTML RAVELIN_BAKE WORK NPM_DIR [SCREENSHOT_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
page=$1 bake=$2 work=$3 npm_dir=$4
shift 4
"$here/../../tools/atlas_browser_test/npm_install.sh" "$npm_dir"
cp "$here/page_test.mjs" "$npm_dir/"
PAGE_TEST_SOURCE="$here/page_test.mjs" node "$npm_dir/page_test.mjs" "$page" "$bake" "$work" "$@"
