#!/usr/bin/env bash
# The ways in from other languages, each against `ravelin-bake` over a sample
# world: the C example of docs/c-api.md (C11, -Wall -Werror), the Rust crate
# (cargo test --offline), the Node.js package (node --test), and `pip install .`
# into a fresh virtual environment with the Python tests run against it.
#   scripts/bindings.sh [BUILD_DIR]   (a build tree with ravelin-bake and libravelin.so)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
build=$(realpath "${1:-build}")
work=$build/bindings
bake=$build/tools/ravelin-bake
fail() { echo "bindings: $*" >&2; exit 1; }
doc_block() {  # FILE MARKER: the fenced block after <!-- MARKER -->
  awk -v m="<!-- $2 -->" '$0 == m { found = 1; next } found && /^```/ { if (inside) exit; inside = 1; next } inside { print }' "$1"
}
step() { echo "== bindings: $*" >&2; }
{ [ -x "$bake" ] && [ -f "$build/capi/libravelin.so" ]; } || fail "no ravelin-bake and libravelin.so in $build"
command -v cargo >/dev/null || ./scripts/deps.sh cargo
command -v npm >/dev/null || ./scripts/deps.sh nodejs npm
rm -rf "$work/world" "$work/c-out" "$work/venv" "$work/wheel"
mkdir -p "$work"
"$bake" sample-world "$work/world" >/dev/null
mapfile -t landblocks < <("$bake" dat ls "$work/world/client_cell_1.dat" | awk '$1 ~ /FFFF$/ { print substr($1, 3, 4) }')

step "C example of docs/c-api.md"
awk '/<!-- example: bake_world.c -->/ { found = 1; next } found && /^```c$/ { inside = 1; next }
     inside && /^```$/ { exit } inside { print }' docs/c-api.md > "$work/bake_world.c"
[ -s "$work/bake_world.c" ] || fail "no example in docs/c-api.md"
cc -std=c11 -Wall -Werror "$work/bake_world.c" -o "$work/bake_world" -I"$root/include" -L"$build/capi" -lravelin \
  -Wl,-rpath,"$build/capi"
mkdir -p "$work/c-out"
"$work/bake_world" "$work/world" "$work/c-out" >/dev/null
for lb in "${landblocks[@]}"; do
  "$bake" bake --dat-dir "$work/world" --landblock "0x$lb" | cmp -s - "$work/c-out/0x$lb.events.jsonl" ||
    fail "the C example's 0x$lb differs from ravelin-bake bake"
done
echo "C example: ${#landblocks[@]} landblocks as ravelin-bake bakes them"

step "Rust crate"
(cd bindings/rust && RAVELIN_BUILD_DIR=$build CARGO_TARGET_DIR=$build/cargo-target cargo test --offline --quiet)

step "Node.js package"
# npm install builds the native part with node-gyp, against this build tree and
# offline: the headers are the ones installed with Node.js, not a download.
[ -f /usr/include/node/node_api.h ] || ./scripts/deps.sh libnode-dev
(cd bindings/node && export RAVELIN_BUILD_DIR=$build npm_config_nodedir=${npm_config_nodedir:-/usr} &&
  npm ci --prefer-offline --no-audit --no-fund --loglevel=error >/dev/null && node --test test/ &&
  # Chunks small enough that bakes start new ones and overflow them.
  RAVELIN_NODE_CHUNK_BYTES=32768 node --test --test-name-pattern='every landblock' test/)

step "Node.js example of docs/node.md"
# Saved under the doc's name in a project that depends on the package, run over the
# sample world as the doc runs it; its output is the doc's and its manifests the command's.
example=$work/node-example
rm -rf "$example" && mkdir -p "$example/node_modules" "$example/out"
ln -s "$PWD/bindings/node" "$example/node_modules/ravelin"
doc_block docs/node.md "example: bake_world.mjs" > "$example/bake_world.mjs"
[ -s "$example/bake_world.mjs" ] || fail "no example in docs/node.md"
"$bake" sample-world "$example/sample" >/dev/null
(cd "$example" && node bake_world.mjs sample out > stdout 2> stderr) || fail "the Node.js example fails: $(head -3 "$example/stderr")"
[ ! -s "$example/stderr" ] || fail "the Node.js example warns: $(head -3 "$example/stderr")"
cmp -s <(doc_block docs/node.md "output: bake_world.mjs") "$example/stdout" ||
  fail "the Node.js example prints $(cat "$example/stdout"), not what docs/node.md shows"
for manifest in "$example"/out/*.events.jsonl; do
  lb=$(basename "$manifest" .events.jsonl)
  "$bake" bake --dat-dir "$example/sample" --landblock "$lb" | cmp -s - "$manifest" ||
    fail "the Node.js example's $lb differs from ravelin-bake bake"
done
echo "Node.js example: output as docs/node.md shows it, manifests as ravelin-bake bakes them"

step "Node.js package under ASan+UBSan"
# A copy of the package whose module is built with the sanitizers; node runs
# with their runtimes preloaded (node itself is not built with them).
sanitized=$work/node-asan
rm -rf "$sanitized"
mkdir -p "$sanitized"
cp -r bindings/node/package.json bindings/node/package-lock.json bindings/node/binding.gyp bindings/node/native-flags.js \
  bindings/node/index.js bindings/node/index.mjs bindings/node/src bindings/node/test "$sanitized/"
(cd "$sanitized" && export RAVELIN_BUILD_DIR=$build npm_config_nodedir=${npm_config_nodedir:-/usr} &&
  npm ci --ignore-scripts --prefer-offline --no-audit --no-fund --loglevel=error >/dev/null &&
  CXXFLAGS="-fsanitize=address,undefined -fno-omit-frame-pointer" LDFLAGS="-fsanitize=address,undefined" \
    npm run install --loglevel=error >/dev/null &&
  LD_PRELOAD="$(c++ -print-file-name=libasan.so):$(c++ -print-file-name=libubsan.so)" ASAN_OPTIONS=detect_leaks=0 \
    UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 RAVELIN_NODE_CHUNK_BYTES=32768 node --test test/ >/dev/null) ||
  fail "the Node.js package's tests fail under ASan+UBSan"
echo "Node.js: the package's tests pass with the module under ASan+UBSan"

step "pip install . into a fresh virtual environment"
# Debian's interpreter, whose setuptools and wheel the environment sees.
python=python3
[ -x /usr/bin/python3 ] && python=/usr/bin/python3
"$python" -m venv --system-site-packages "$work/venv"
export CMAKE_BUILD_PARALLEL_LEVEL=${CMAKE_BUILD_PARALLEL_LEVEL:-2}
RAVELIN_PIP_BUILD_DIR=$build/pip "$work/venv/bin/pip" install --quiet --no-build-isolation --no-index . 
installed=$(cd /tmp && "$work/venv/bin/python" -c 'import ravelin; print(ravelin.__file__)')
case $installed in "$work/venv/"*) ;; *) fail "the venv imports ravelin from $installed" ;; esac
(cd /tmp && RAVELIN_PYTHON_DIR=installed RAVELIN_BAKE=$bake PYTHONDONTWRITEBYTECODE=1 \
  "$work/venv/bin/python" -m pytest -q -p no:cacheprovider "$root/python/tests")
# The worked example of docs/python.md, run by the installed package over the sample
# world as the doc runs it, prints what the doc shows.
census=$work/census
rm -rf "$census" && mkdir -p "$census"
doc_block docs/python.md "example: sound_census.py" > "$census/sound_census.py"
[ -s "$census/sound_census.py" ] || fail "no sound_census.py example in docs/python.md"
"$bake" sample-world "$census/sample" >/dev/null
(cd "$census" && "$work/venv/bin/python" sound_census.py sample > stdout) || fail "the Python example fails"
cmp -s <(doc_block docs/python.md "output: sound_census.py") "$census/stdout" ||
  fail "the Python example prints $(head -2 "$census/stdout"), not what docs/python.md shows"
RAVELIN_PIP_BUILD_DIR=$build/pip "$work/venv/bin/pip" wheel --quiet --no-build-isolation --no-index --no-deps \
  -w "$work/wheel" .
# The listing is read whole first: grep -q would stop reading it, and under
# pipefail the writer's broken pipe would fail the check.
listing=$(python3 -m zipfile -l "$work/wheel"/ravelin-*.whl)
grep -q 'ravelin/_ravelin.*\.so' <<<"$listing" || fail "the wheel has no _ravelin module"
echo "pip: installed, tested and wheeled"
