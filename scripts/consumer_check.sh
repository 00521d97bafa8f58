#!/usr/bin/env bash
# Builds examples/consumer three ways against the libraries alone — find_package
# on an installed Ravelin, add_subdirectory of this tree, pkg-config — and checks
# that each writes the same manifest bytes (and error texts) as `ravelin-bake bake`
# for every landblock of a sample world. Also checks what the install writes.
#   scripts/consumer_check.sh RAVELIN_BAKE [WORK_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
bake=$(realpath "$1")
work=$(realpath -m "${2:-build/consumer-check}")
rm -rf "$work"
mkdir -p "$work"
prefix=$work/prefix
fail() { echo "consumer check: $*" >&2; exit 1; }

# The libraries alone: no GoogleTest, CLI11 or Google Benchmark involved.
cmake -S . -B "$work/ravelin" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DRAVELIN_BUILD_TESTS=OFF -DRAVELIN_BUILD_TOOLS=OFF -DRAVELIN_BUILD_BENCH=OFF >/dev/null
grep -qiE '^(GTest|CLI11|benchmark)_DIR:PATH=/' "$work/ravelin/CMakeCache.txt" &&
  fail "a library-only configure looked for a developer dependency"
cmake --build "$work/ravelin" >/dev/null
cmake --install "$work/ravelin" >/dev/null

# Installed layout: everything of Ravelin under include/ravelin, internal headers left out.
[ "$(ls "$prefix/include")" = ravelin ] || fail "include/ holds more than ravelin/: $(ls "$prefix/include")"
for header in event_bake/landblock.h event_bake/session.h dat/lib.h dat/file_type/region.h common/reader.h version.h; do
  [ -f "$prefix/include/ravelin/$header" ] || fail "missing installed header $header"
done
internal=$(find "$prefix/include" -name '*_test_support.h' -o -name '*_frames.h' -o -name number_format.h)
[ -z "$internal" ] || fail "internal headers installed: $internal"
# Each installed header compiles on its own against the installed tree alone.
while IFS= read -r header; do
  g++ -std=c++23 -fsyntax-only -I"$prefix/include" -I/usr/include -x c++ "$header" ||
    fail "installed header ${header#"$prefix/include/"} does not compile on its own"
done < <(find "$prefix/include" -name '*.h' | sort)
pc_dir=$(dirname "$(find "$prefix" -name ravelin.pc)")
[ -n "$pc_dir" ] || fail "ravelin.pc not installed"

# The three consumer builds.
cmake -S examples/consumer -B "$work/find_package" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/find_package" >/dev/null
cmake -S examples/consumer -B "$work/add_subdirectory" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DRAVELIN_SOURCE_DIR="$root" >/dev/null
if ninja -C "$work/add_subdirectory" -t targets all | grep -qE '^(ravelin-bake|determinism_100x|ravelin_dat_writer|[a-z_]*_tests|world_bench)[:.]'; then
  fail "add_subdirectory builds more than the libraries"
fi
cmake --build "$work/add_subdirectory" >/dev/null
mkdir -p "$work/pkg-config"
# shellcheck disable=SC2046
g++ -O2 examples/consumer/bake_landblocks.cpp -o "$work/pkg-config/bake_landblocks" \
  $(PKG_CONFIG_PATH="$pc_dir" pkg-config --cflags --libs ravelin)

# Every landblock of a sample world, compared with the command line.
world=$work/world
"$bake" sample-world "$world" >/dev/null
mapfile -t landblocks < <("$bake" dat ls "$world/client_cell_1.dat" | awk '$1 ~ /FFFF$/ { print substr($1, 3, 4) }')
[ "${#landblocks[@]}" -gt 0 ] || fail "no landblocks in the sample world"
expected=$work/expected
mkdir -p "$expected"
: > "$expected/errors"
for lb in "${landblocks[@]}"; do
  if ! "$bake" bake --dat-dir "$world" --landblock "0x$lb" -o "$expected/0x$lb.events.jsonl" 2> "$work/stderr"; then
    rm -f "$expected/0x$lb.events.jsonl"
    sed "s/^error: /0x$lb: /" "$work/stderr" >> "$expected/errors"
  fi
done
for way in find_package add_subdirectory pkg-config; do
  out=$work/out-$way
  "$work/$way/bake_landblocks" "$world" "$out" "${landblocks[@]}" 2> "$out.errors" || true
  mv "$out.errors" "$out/errors"
  diff -r "$expected" "$out" >/dev/null || fail "$way: output differs from ravelin-bake bake ($(diff -rq "$expected" "$out" | head -3))"
done
echo "consumer check: find_package, add_subdirectory and pkg-config builds match ravelin-bake over ${#landblocks[@]} landblocks"
