#!/usr/bin/env bash
# Lints the atlas page's scripts with the pinned eslint, installed from this
# directory's lockfile into NPM_DIR (npm ci, on first run or a new lockfile).
#   lint.sh NPM_DIR [JOINED_SCRIPT...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
npm_dir=$1
shift
"$here/../../atlas_browser_test/npm_install.sh" "$npm_dir" "$here"
node "$npm_dir/lint.mjs" "$here" "$@"
