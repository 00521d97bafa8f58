#!/usr/bin/env bash
# The sample world of the C interface's test and what ravelin-bake makes of it:
#   make_test_world.sh RAVELIN_BAKE DIR
set -euo pipefail
bake=$1
dir=$2
rm -rf "$dir"
"$bake" sample-world "$dir" >/dev/null
"$bake" bake --dat-dir "$dir" --landblock 0xA9B4 -o "$dir/A9B4.jsonl"
"$bake" bake --dat-dir "$dir" --landblock 0xA9B4 --no-sky -o "$dir/A9B4-no-sky.jsonl"
"$bake" dat show --compact "$dir/client_portal.dat" 0x13000000 > "$dir/region.json"
# What the command prints for a directory without archives, less its "error: ".
if "$bake" bake --dat-dir "$dir/missing" --landblock 0xA9B4 2> "$dir/missing.txt"; then exit 1; fi
sed -i 's/^error: //' "$dir/missing.txt"
