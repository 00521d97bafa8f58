#!/usr/bin/env bash
# What a new user types wrong, and what ravelin-bake answers: mistyped command
# words named with the nearest one, landblocks that are neither a number nor a
# whole id, files named in every I/O error, cut-off archives called truncated,
# and a demo archive whose records decode:   cli_usage_test.sh RAVELIN_BAKE WORK_DIR
set -uo pipefail
bake=$1 work=$2
rm -rf "$work" && mkdir -p "$work"
fails=0
check() { if ! eval "$2"; then echo "FAIL: $1" >&2; fails=$((fails + 1)); fi; }

# name, status, stderr pattern (grep -E), command...: one stderr line for errors.
expect() {
  local name=$1 status=$2 pattern=$3
  shift 3
  "$@" >"$work/out" 2>"$work/err"
  local got=$?
  check "$name: exit $status (got $got)" "[ $got = $status ]"
  [ "$status" = 0 ] || check "$name: one line on stderr" "[ \$(wc -l <'$work/err') -le 2 ] && [ -s '$work/err' ]"
  if [ -n "$pattern" ] && ! grep -qE -- "$pattern" "$work/err" "$work/out"; then
    echo "FAIL: $name: no line matches /$pattern/: $(head -c 300 "$work/err")" >&2
    fails=$((fails + 1))
  fi
}

"$bake" sample-world "$work/world" >/dev/null 2>&1 || { echo "sample-world failed" >&2; exit 1; }
world=$work/world

expect "mistyped command" 2 "^error: unknown command 'bake-al' for ravelin-bake \(did you mean 'bake-all'\?\); commands: dat, " "$bake" bake-al
expect "mistyped dat command" 2 "^error: unknown command 'shwo' for ravelin-bake dat \(did you mean 'show'\?\)" "$bake" dat shwo
expect "far-off word" 2 "^error: unknown command 'frobnicate' for ravelin-bake; commands: " "$bake" frobnicate
expect "-V" 2 "^error: unknown option '-V' for ravelin-bake \(did you mean '--version'\?\)" "$bake" -V
expect "no command" 2 "^error: ravelin-bake needs a command: dat, " "$bake"
expect "dat without its command" 2 "^error: ravelin-bake dat needs a command: info, ls, get, show" "$bake" dat
expect "help" 0 "^Usage: ravelin-bake " "$bake" help
expect "dat lists the edit commands" 2 "^error: ravelin-bake dat needs a command: info, ls, get, show, encode, put, rm, compact, check, edit, cp, extract, pack \(" "$bake" dat
expect "mistyped edit command" 2 "^error: unknown command 'chek' for ravelin-bake dat \(did you mean 'check'\?\)" "$bake" dat chek
expect "help of dat put" 0 "--from LIST .*ID PATH" "$bake" help dat put
expect "help of a command" 0 "Decode one file and print it as a JSON document" "$bake" help dat show
expect "help names the whole command" 0 "^Usage: ravelin-bake dat show " "$bake" help dat show
expect "render without -o names both spellings" 2 "^-o,--output is required" \
  "$bake" render --dat-dir "$world" --landblock 0xA9B4
expect "dat ls --header" 0 "^id size flags$" "$bake" dat ls "$world/client_portal.dat" --header
check "dat ls into a pipe has no header" "[ \"\$(\"$bake\" dat ls '$world/client_portal.dat' | head -1 | cut -c1-2)\" = 0x ]"
for sub in bake bake-all "dat show" "dat put" "dat check" render sample-world; do
  # shellcheck disable=SC2086
  expect "$sub --version" 0 "^ravelin-bake [0-9]+\.[0-9]+\.[0-9]+$" "$bake" $sub --version
done

for cmd in bake render; do
  expect "$cmd 0x1FFFF" 2 "not a landblock: 0x1FFFF \(a number up to 0xFFFF or a whole id 0xLLLL0000\)" \
    "$bake" "$cmd" --dat-dir "$world" --landblock 0x1FFFF -o "$work/x"
  expect "$cmd A9B4" 2 "not a 32-bit landblock: A9B4 \(hexadecimal needs 0x: 0xA9B4\)" \
    "$bake" "$cmd" --dat-dir "$world" --landblock A9B4 -o "$work/x"
done
expect "bake-all 0x1FFFF" 2 "not a landblock: 0x1FFFF" "$bake" bake-all --dat-dir "$world" --out-dir "$work/all" \
  --landblocks 0xA9B4,0x1FFFF
expect "whole id" 0 "" "$bake" bake --dat-dir "$world" --landblock 0xA9B40000 -o "$work/whole.jsonl"
expect "decimal number" 0 "" "$bake" bake --dat-dir "$world" --landblock 43444 -o "$work/decimal.jsonl"
check "43444 is 0xA9B4" "cmp -s '$work/whole.jsonl' '$work/decimal.jsonl'"

expect "bake into a missing directory" 1 "^error: IO error: write $work/no/dir/x: No such file or directory" \
  "$bake" bake --dat-dir "$world" --landblock 0xA9B4 -o "$work/no/dir/x"
expect "render into a missing directory" 1 "^error: IO error: write $work/no/dir/x.svg: " \
  "$bake" render --dat-dir "$world" --landblock 0xA9B4 -o "$work/no/dir/x.svg"
expect "get into a missing directory" 1 "^error: IO error: write $work/no/dir/y: " \
  "$bake" dat get "$world/client_portal.dat" 0x13000000 -o "$work/no/dir/y"

head -c 3000 /dev/urandom >"$work/random.bin"
printf '# Not an archive\n%.0s' {1..200} >"$work/README.md"
size=$(stat -c %s "$world/client_cell_1.dat")
head -c 5000 "$world/client_cell_1.dat" >"$work/cut.dat"
head -c $((size - 100)) "$world/client_cell_1.dat" >"$work/tail-cut.dat"
expect "info of a directory" 1 "^error: Failed to open file at $work: not a regular file$" "$bake" dat info "$work"
# A FIFO is refused when opened, not waited on for ever.
mkfifo "$work/fifo.dat"
expect "info of a FIFO" 1 "^error: Failed to open file at $work/fifo.dat: not a regular file$" timeout 10 "$bake" dat info "$work/fifo.dat"
mkdir -p "$work/fifo-world" && mkfifo "$work/fifo-world/client_cell_1.dat" && cp "$world/client_portal.dat" "$work/fifo-world/"
expect "bake of a FIFO archive" 1 "^error: open client_cell_1.dat at $work/fifo-world/client_cell_1.dat: Failed to open file at $work/fifo-world/client_cell_1.dat: not a regular file$" \
  timeout 10 "$bake" bake --dat-dir "$work/fifo-world" --landblock 0xA9B4
expect "bake-all of a FIFO archive" 1 "^error: open client_cell_1.dat at .*: not a regular file$" \
  timeout 10 "$bake" bake-all --dat-dir "$work/fifo-world" --out-dir "$work/fifo-out"
expect "info of a text file" 1 "^error: $work/README.md: IO error: " "$bake" dat info "$work/README.md"
expect "info of random bytes" 1 "^error: $work/random.bin: IO error: failed to fill whole buffer" "$bake" dat info "$work/random.bin"
expect "ls of a cut-off archive" 1 "^error: $work/cut.dat: .* \(truncated: header says $size bytes, file has 5000\)$" \
  "$bake" dat ls "$work/cut.dat"
expect "info of a tail-cut archive" 1 "^error: $work/tail-cut.dat: truncated: header says $size bytes, file has $((size - 100))$" \
  "$bake" dat info "$work/tail-cut.dat"
check "info still prints the header" "grep -q '^file_size: $size$' '$work/out'"

expect "demo archive" 0 "dat show" "$bake" demo-archive "$work/demo.dat"
while read -r id _; do
  type=()
  case $id in 0x????FFFF) type=(--type cell-landblock) ;; 0x????FFFE) type=(--type landblock-info) ;; esac
  check "demo $id decodes" "'$bake' dat show '$work/demo.dat' $id ${type[*]} --compact | grep -q '^{\"id\":\"$id\"'"
done < <("$bake" dat ls "$work/demo.dat")
expect "help of dat edit" 0 "\\\$VISUAL, else \\\$EDITOR, else vi" "$bake" help dat edit
expect "dat edit without ID" 2 "ID is required" "$bake" dat edit "$world/client_portal.dat"

[ "$fails" = 0 ] && echo "cli usage: all checks passed"
exit $((fails != 0))
