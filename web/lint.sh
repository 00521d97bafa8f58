#!/usr/bin/env bash
# Lints the page's scripts (web/page/, web/*.js) and the built page's joined
# scripts with the atlas's pinned eslint and rules (tools/draw/atlas/lint.mjs),
# installed from its lockfile into NPM_DIR on first run.
#   lint.sh NPM_DIR [JOINED_SCRIPT...]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
npm_dir=$1
shift
atlas=$here/../tools/draw/atlas
"$here/../tools/atlas_browser_test/npm_install.sh" "$npm_dir" "$atlas"
node "$npm_dir/lint.mjs" "$here/page" "$@"
node "$npm_dir/lint.mjs" "$here"
