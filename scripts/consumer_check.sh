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
# Configured for one prefix and installed into another: the package and the .pc
# files must find the install where it is.
cmake -S . -B "$work/ravelin" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$work/configured-prefix" \
  -DRAVELIN_BUILD_TESTS=OFF -DRAVELIN_BUILD_TOOLS=OFF -DRAVELIN_BUILD_BENCH=OFF >/dev/null
grep -qiE '^(GTest|CLI11|benchmark)_DIR:PATH=/' "$work/ravelin/CMakeCache.txt" &&
  fail "a library-only configure looked for a developer dependency"
cmake --build "$work/ravelin" >/dev/null
cmake --install "$work/ravelin" --prefix "$prefix" >/dev/null

# Installed layout: everything of Ravelin under include/ravelin, internal headers left out.
[ "$(ls "$prefix/include")" = ravelin ] || fail "include/ holds more than ravelin/: $(ls "$prefix/include")"
for header in event_bake/landblock.h event_bake/session.h dat/lib.h dat/file_type/region.h common/reader.h version.h; do
  [ -f "$prefix/include/ravelin/$header" ] || fail "missing installed header $header"
done
internal=$(find "$prefix/include" -name '*_test_support.h' -o -name '*_frames.h' -o -name number_format.h)
[ -z "$internal" ] || fail "internal headers installed: $internal"
# Each installed header compiles on its own against the installed tree alone.
while IFS= read -r header; do
  g++ -std=c++23 -fsyntax-only -I"$prefix/include" -include "$header" -x c++ /dev/null ||
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
# A subproject consumer reaches the public headers only: each private header
# fails to compile from it, while a public one (the control) compiles.
probe=$work/private-probe
mkdir -p "$probe"
cat > "$probe/CMakeLists.txt" <<PROBE
cmake_minimum_required(VERSION 3.25)
project(private_probe LANGUAGES CXX)
add_subdirectory("$root" ravelin)
add_library(probe OBJECT probe.cpp)
target_link_libraries(probe PRIVATE ravelin::event_bake)
PROBE
echo '#include "ravelin/dat/lib.h"' > "$probe/probe.cpp"
cmake -S "$probe" -B "$probe/build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$probe/build" >/dev/null || fail "a subproject consumer cannot include <ravelin/dat/lib.h>"
for header in dat/lib_frames.h ravelin/dat/lib_frames.h common/json_text.h event_bake/bake_core.h \
    ravelin/event_bake/bake_core.h dat/text_decoding.h; do
  echo "#include \"$header\"" > "$probe/probe.cpp"
  if cmake --build "$probe/build" >/dev/null 2>&1; then fail "a subproject consumer can include the private $header"; fi
done
# Nothing in the tree outside the libraries includes a private header either.
python3 scripts/check_layers.py . >/dev/null || fail "$(python3 scripts/check_layers.py .)"

mkdir -p "$work/pkg-config"
# shellcheck disable=SC2046
g++ -O2 examples/consumer/bake_landblocks.cpp -o "$work/pkg-config/bake_landblocks" \
  $(PKG_CONFIG_PATH="$pc_dir" pkg-config --cflags --libs ravelin)

# clang++ 16 consumes the installed package without a warning: the std::expected
# workaround it needs comes with the targets. ravelin.pc's flags suit both compilers.
if command -v clang++-16 >/dev/null; then
  cmake -S examples/consumer -B "$work/find_package-clang" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_CXX_COMPILER=clang++-16 -DCMAKE_CXX_FLAGS="-Wall -Wextra -Werror" -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
  cmake --build "$work/find_package-clang" >/dev/null || fail "clang++-16 does not build the consumer cleanly"
  for compiler in g++ "clang++-16 -Werror -U__cpp_concepts -D__cpp_concepts=202002L"; do
    # shellcheck disable=SC2046,SC2086
    $compiler -fsyntax-only -x c++ - $(PKG_CONFIG_PATH="$pc_dir" pkg-config --cflags ravelin) \
      <<<'#include <ravelin/event_bake/session.h>' || fail "${compiler%% *} rejects ravelin.pc's flags"
  done
fi

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
# The C interface as installed: the example of docs/c-api.md built as C11 with ravelin-c.pc alone.
[ -f "$pc_dir/ravelin-c.pc" ] || fail "ravelin-c.pc not installed"
awk '/<!-- example: bake_world.c -->/ { found = 1; next } found && /^```c$/ { inside = 1; next }
     inside && /^```$/ { exit } inside { print }' docs/c-api.md > "$work/bake_world.c"
mkdir -p "$work/c-api" "$work/out-c-api"
# shellcheck disable=SC2046
cc -std=c11 -Wall -Werror "$work/bake_world.c" -o "$work/c-api/bake_world" \
  $(PKG_CONFIG_PATH="$pc_dir" pkg-config --cflags --libs ravelin-c) -Wl,-rpath,"$(PKG_CONFIG_PATH="$pc_dir" pkg-config --variable=libdir ravelin-c)"
"$work/c-api/bake_world" "$world" "$work/out-c-api" 2> "$work/out-c-api/errors" >/dev/null || true
# ... and as ravelin::c of the CMake package, from a project that enables C alone.
mkdir -p "$work/c-api-cmake"
cp "$work/bake_world.c" "$work/c-api-cmake/"
cat > "$work/c-api-cmake/CMakeLists.txt" <<'C_PROJECT'
cmake_minimum_required(VERSION 3.25)
project(bake_world LANGUAGES C)
find_package(ravelin 0.2 CONFIG REQUIRED)
add_executable(bake_world bake_world.c)
target_link_libraries(bake_world PRIVATE ravelin::c)
C_PROJECT
cmake -S "$work/c-api-cmake" -B "$work/c-api-cmake/build" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" >/dev/null
cmake --build "$work/c-api-cmake/build" >/dev/null || fail "a C project does not build against ravelin::c"
diff -r "$expected" "$work/out-c-api" >/dev/null || fail "C interface: output differs from ravelin-bake bake ($(diff -rq "$expected" "$work/out-c-api" | head -3))"

# The install of docs/c-api.md as it is written there: a whole tree configured as
# a user does, only ravelin_c built, its component installed; then the doc's link
# line, and the program run without LD_LIBRARY_PATH.
for line in 'cmake --build build --target ravelin_c && cmake --install build --component c' \
    'cc -std=c11 app.c $(pkg-config --cflags --libs ravelin-c) -Wl,-rpath,$(pkg-config --variable=libdir ravelin-c)'; do
  grep -qxF "$line" docs/c-api.md || fail "docs/c-api.md no longer says: $line"
done
opt=$work/opt-ravelin
cmake -S . -B "$work/docs-c" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$opt" >/dev/null
{ cmake --build "$work/docs-c" --target ravelin_c && cmake --install "$work/docs-c" --component c; } >/dev/null ||
  fail "the C library's install as docs/c-api.md writes it fails"
installed=$(cd "$opt" && find . -type f -o -type l | sort | tr '\n' ' ')
[ "$installed" = "./include/ravelin/ravelin.h ./lib/cmake/ravelin/ravelin-c-targets-release.cmake ./lib/cmake/ravelin/ravelin-c-targets.cmake ./lib/cmake/ravelin/ravelin-config-version.cmake ./lib/cmake/ravelin/ravelin-config.cmake ./lib/libravelin.so ./lib/libravelin.so.0 ./lib/libravelin.so.0.2.0 ./lib/pkgconfig/ravelin-c.pc " ] ||
  fail "component c installs: $installed"
cmake --install "$work/docs-c" --prefix "$work/opt-everything" >/dev/null || fail "a plain install after building ravelin_c alone fails"
mkdir -p "$work/docs-c-app" "$work/out-docs-c"
cp "$work/bake_world.c" "$work/docs-c-app/app.c"
(cd "$work/docs-c-app" && export PKG_CONFIG_PATH=$opt/lib/pkgconfig &&
  # shellcheck disable=SC2046
  cc -std=c11 app.c $(pkg-config --cflags --libs ravelin-c) -Wl,-rpath,$(pkg-config --variable=libdir ravelin-c)) ||
  fail "the doc's link line fails"
(unset LD_LIBRARY_PATH; "$work/docs-c-app/a.out" "$world" "$work/out-docs-c" 2> "$work/out-docs-c/errors" >/dev/null) || true
diff -r "$expected" "$work/out-docs-c" >/dev/null || fail "the doc's C program: output differs from ravelin-bake bake"
# The package made by the C component alone finds ravelin::c without the C++ libraries.
cmake -S "$work/c-api-cmake" -B "$work/c-api-cmake/build-c-only" -G Ninja -DCMAKE_PREFIX_PATH="$opt" >/dev/null &&
  cmake --build "$work/c-api-cmake/build-c-only" >/dev/null || fail "ravelin::c from the c component alone"

# The Node.js package built against the installed Ravelin (pkg-config ravelin-c), from a copy of it.
command -v npm >/dev/null || ./scripts/deps.sh nodejs npm
[ -f /usr/include/node/node_api.h ] || ./scripts/deps.sh libnode-dev
mkdir -p "$work/node" "$work/out-node"
cp -r bindings/node/package.json bindings/node/package-lock.json bindings/node/binding.gyp bindings/node/native-flags.js \
  bindings/node/index.js bindings/node/src "$work/node/"
(cd "$work/node" && env -u RAVELIN_BUILD_DIR PKG_CONFIG_PATH="$pc_dir" npm_config_nodedir="${npm_config_nodedir:-/usr}" \
  npm ci --prefer-offline --no-audit --no-fund --loglevel=error >/dev/null) || fail "the Node.js package does not build against the install"
node - "$work/node" "$world" "$work/out-node" "${landblocks[@]}" <<'NODE'
const fs = require('node:fs');
const [pkg, world, out, ...landblocks] = process.argv.slice(2);
const { bake } = require(pkg);
for (const lb of landblocks) {
  try {
    fs.writeFileSync(`${out}/0x${lb}.events.jsonl`, bake(world, parseInt(lb, 16)));
  } catch (e) {
    fs.appendFileSync(`${out}/errors`, `0x${lb}: ${e.message}\n`);
  }
}
if (!fs.existsSync(`${out}/errors`)) fs.writeFileSync(`${out}/errors`, '');
NODE
diff -r "$expected" "$work/out-node" >/dev/null || fail "Node.js: output differs from ravelin-bake bake ($(diff -rq "$expected" "$work/out-node" | head -3))"
echo "consumer check: find_package, add_subdirectory, pkg-config, the installed C interface and the Node.js package match ravelin-bake over ${#landblocks[@]} landblocks"
