#!/usr/bin/env bash
# Installs the Debian packages the build needs, and nothing when all are present.
set -euo pipefail
packages=(cmake ninja-build g++ clang-16 pkg-config libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev libcli11-dev
  python3-dev pybind11-dev python3-pytest python3-jsonschema chromium libpng-dev)
# bake-all --db: the SQLite writer (tool only) and the CLI its tests query with.
packages+=(libsqlite3-dev sqlite3)
# Applies the record patches of `diff` in its tests.
packages+=(python3-jsonpatch)
# Components a script asks for by name (`deps.sh web`); any other argument is a
# package name. web: clang 19 and the wasm32-wasi C and C++ libraries of the
# WebAssembly build (scripts/web.sh), and Node.js to run it.
for arg in "$@"; do
  case "$arg" in
    web) packages+=(clang-19 lld-19 libc++-19-dev-wasm32 libc++abi-19-dev-wasm32 libclang-rt-19-dev-wasm32 wasi-libc nodejs) ;;
    *) packages+=("$arg") ;;
  esac
done
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
