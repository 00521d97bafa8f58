#!/usr/bin/env bash
# Installs the Debian packages the build needs, and nothing when all are present.
set -euo pipefail
packages=(cmake ninja-build g++ clang-16 pkg-config libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev libcli11-dev
  python3-dev pybind11-dev python3-pytest python3-jsonschema chromium libpng-dev)
# bake-all --db: the SQLite writer (tool only) and the CLI its tests query with.
packages+=(libsqlite3-dev sqlite3)
# Applies the record patches of `diff` in its tests.
packages+=(python3-jsonpatch)
packages+=("$@")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}" >&2
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
