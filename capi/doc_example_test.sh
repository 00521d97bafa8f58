#!/usr/bin/env bash
# The editing example of docs/c-api.md, compiled as written against the built
# library and run twice over a copy of the sample world's portal archive: the
# first commit appends, the second reuses the blocks the first one freed, and
# the check after each finds no fault.
#   doc_example_test.sh LIBRARY_DIR INCLUDE_DIR DOC WORLD_DIR SCRATCH_DIR [COMPILER_FLAGS]
set -euo pipefail
library_dir=$1 include_dir=$2 doc=$3 world=$4 scratch=$5
read -ra extra_flags <<<"${6:-}"
rm -rf "$scratch" && mkdir -p "$scratch"
awk '/<!-- example: patch_archive.c -->/ { found = 1; next } found && /^```c$/ { inside = 1; next }
     inside && /^```$/ { exit } inside { print }' "$doc" > "$scratch/patch_archive.c"
[ -s "$scratch/patch_archive.c" ] || { echo "no patch_archive.c example in $doc" >&2; exit 1; }
cc -std=c11 -Wall -Wextra -Werror "${extra_flags[@]}" -I"$include_dir" "$scratch/patch_archive.c" -L"$library_dir" -lravelin \
  -o "$scratch/patch_archive"
cp "$world/client_portal.dat" "$scratch/portal.dat"
head -c 5000 /dev/zero | tr '\0' 'x' > "$scratch/new.bin"
export LD_LIBRARY_PATH=$library_dir
run() { "$scratch/patch_archive" "$scratch/portal.dat" 0x0E000123 "$scratch/new.bin"; }
first=$(run)
second=$(run)
grep -qx 'check: 0 faults, [0-9]* notes' <<<"$first" || { echo "first run: $first" >&2; exit 1; }
grep -qE '^0x0E000123: 5000 bytes, [0-9]+ blocks written \(0 reused, [0-9]+ appended\)$' <<<"$first" ||
  { echo "first run: $first" >&2; exit 1; }
grep -qE '^0x0E000123: 5000 bytes, [0-9]+ blocks written \([1-9][0-9]* reused' <<<"$second" ||
  { echo "second run: $second" >&2; exit 1; }
grep -qx 'check: 0 faults, [0-9]* notes' <<<"$second" || { echo "second run: $second" >&2; exit 1; }
echo "docs/c-api.md's editing example: $(head -1 <<<"$first" | cut -d' ' -f4-)"
