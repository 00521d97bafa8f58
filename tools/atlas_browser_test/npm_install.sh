#!/usr/bin/env bash
# Installs the pinned packages of PACKAGE_DIR (default: this directory, the
# browser test's puppeteer-core) into DIR (npm ci against the committed
# lockfile) unless DIR already holds that install; copies PACKAGE_DIR's
# scripts (*.mjs) there, where they find the packages.
#   npm_install.sh DIR [PACKAGE_DIR]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
dir=$1
package=${2:-$here}
if [ ! -d "$dir/node_modules" ] || ! cmp -s "$package/package-lock.json" "$dir/package-lock.json"; then
  rm -rf "$dir" && mkdir -p "$dir"
  cp "$package/package.json" "$package/package-lock.json" "$dir/"
  (cd "$dir" && npm ci --no-audit --no-fund --loglevel=error)
fi
cp "$package"/*.mjs "$dir/"
