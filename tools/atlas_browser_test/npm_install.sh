#!/usr/bin/env bash
# Installs the pinned puppeteer-core into DIR (npm ci against the committed
# lockfile) unless DIR already holds that install; copies the page scripts there.
#   npm_install.sh DIR
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
dir=$1
if [ ! -d "$dir/node_modules" ] || ! cmp -s "$here/package-lock.json" "$dir/package-lock.json"; then
  rm -rf "$dir" && mkdir -p "$dir"
  cp "$here/package.json" "$here/package-lock.json" "$dir/"
  (cd "$dir" && npm ci --no-audit --no-fund --loglevel=error)
fi
cp "$here"/*.mjs "$dir/"
