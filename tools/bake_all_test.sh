#!/usr/bin/env bash
# bake-all over the sample world: one manifest per landblock, byte-equal to
# the one-off bake, an index line each, and a failing landblock reported
# without stopping the others:   bake_all_test.sh RAVELIN_BAKE WORK_DIR
set -uo pipefail
bake=$1 work=$2
rm -rf "$work" && mkdir -p "$work"
fails=0
check() { if ! eval "$2"; then echo "FAIL: $1" >&2; fails=$((fails + 1)); fi; }

"$bake" sample-world "$work/world" >/dev/null 2>&1 || { echo "sample-world failed" >&2; exit 1; }
"$bake" bake-all --dat-dir "$work/world" --out-dir "$work/all" --jobs 2 2>"$work/all.stderr"
check "whole world exits 0" "[ $? = 0 ]"
check "one summary line" "[ \$(wc -l <'$work/all.stderr') = 1 ] && grep -q '^baked 9 landblocks' '$work/all.stderr'"
check "nine manifests" "[ \$(ls '$work/all' | grep -c '^0x[0-9A-F]\{4\}\.events\.jsonl$') = 9 ]"
check "nine index lines" "[ \$(wc -l <'$work/all/index.jsonl') = 9 ]"
check "no temporary files left" "! ls '$work/all' | grep -q part"
check "index ascending" "sort -c '$work/all/index.jsonl'"
for lb in A8B3 A9B4 AAB5; do
  "$bake" bake --dat-dir "$work/world" --landblock "0x$lb" >"$work/one.jsonl"
  check "0x$lb equals the one-off bake" "cmp -s '$work/one.jsonl' '$work/all/0x$lb.events.jsonl'"
  bytes=$(wc -c <"$work/one.jsonl")
  check "0x$lb index line" "grep -q '\"landblock_id\":\"0x${lb}0000\",\"file\":\"0x$lb.events.jsonl\",.*\"bytes\":$bytes}' '$work/all/index.jsonl'"
done

"$bake" bake-all --dat-dir "$work/world" --out-dir "$work/some" --landblocks 0x0102,0xA9B4,0x0102 --no-sky \
  --spawns-dir "$work/world/spawns" --setup-table "$work/world/spawns/wcid_to_setup.json" 2>"$work/some.stderr"
check "a failure exits 1" "[ $? = 1 ]"
check "failure named last" "tail -n 1 '$work/some.stderr' | grep -q '^error: 1 landblock failed, the first: CellLandblock 0x0102FFFF missing from DAT$'"
check "repeats dropped, list order kept" "[ \$(wc -l <'$work/some/index.jsonl') = 2 ] && head -n 1 '$work/some/index.jsonl' | grep -q '^{\"landblock_id\":\"0x01020000\",\"error\":\"CellLandblock 0x0102FFFF missing from DAT\"}$'"
check "the others still baked" "[ -s '$work/some/0xA9B4.events.jsonl' ] && ! grep -q sky_chain '$work/some/0xA9B4.events.jsonl'"
"$bake" bake --dat-dir "$work/world" --landblock 0xA9B4 --no-sky --spawns-dir "$work/world/spawns" \
  --setup-table "$work/world/spawns/wcid_to_setup.json" >"$work/one.jsonl"
check "spawns source equals the one-off bake" "cmp -s '$work/one.jsonl' '$work/some/0xA9B4.events.jsonl'"

"$bake" bake-all --dat-dir "$work/world" --out-dir "$work/svg" --landblocks 0xA9B4,0xA8B3 --svg 2>/dev/null
check "--svg exits 0" "[ $? = 0 ]"
for lb in A9B4 A8B3; do
  "$bake" render --dat-dir "$work/world" --landblock "0x$lb" -o "$work/one.svg"
  check "0x$lb.svg equals render" "cmp -s '$work/one.svg' '$work/svg/0x$lb.svg'"
done

# render takes bake's entity-source and --no-sky options and draws what bake-all --svg drew.
spawns=(--spawns-dir "$work/world/spawns" --setup-table "$work/world/spawns/wcid_to_setup.json")
"$bake" bake-all --dat-dir "$work/world" --out "$work/svg-spawns" --landblocks 0xA9B4 --svg --no-sky "${spawns[@]}" --atlas \
  2>"$work/svg-spawns.stderr"
check "--out, spawns, --no-sky, --atlas exit 0" "[ $? = 0 ]"
"$bake" render --dat-dir "$work/world" --landblock 0xA9B4 --no-sky "${spawns[@]}" -o "$work/one.svg"
check "spawns/no-sky picture equals render" "cmp -s '$work/one.svg' '$work/svg-spawns/0xA9B4.svg'"
check "--no-sky leaves the sky out of the picture" "grep -q '>sky particle: 0<' '$work/one.svg'"
check "the spawns' setups are drawn" "grep -q 'Placed setups (6)' '$work/one.svg' && grep -q 'Placed setups (4)' '$work/svg/0xA9B4.svg'"
check "atlas written and named" "[ -s '$work/svg-spawns/atlas.html' ] && grep -q '; atlas: .*atlas.html$' '$work/svg-spawns.stderr'"
check "no atlas unless asked" "[ ! -e '$work/svg/atlas.html' ]"

"$bake" bake-all --dat-dir "$work/nowhere" --out-dir "$work/none" 2>"$work/none.stderr"
check "missing DAT dir exits 1 with one error" "[ $? = 1 ] && [ \$(wc -l <'$work/none.stderr') = 1 ] && grep -q '^error: ' '$work/none.stderr'"
check "nothing written for it" "[ ! -e '$work/none' ]"
"$bake" bake-all --dat-dir "$work/world" --out-dir "$work/one" --landblocks 0xA9B4 --jobs 1 2>"$work/one.stderr"
check "counts of one in the singular" "grep -q '^baked 1 landblock in [0-9.]* s with 1 job: 1 ok, 0 failed; index: ' '$work/one.stderr'"
"$bake" bake-all --dat-dir "$work/world" --out-dir "$work/region" --landblocks 0xA9B4 --region 0x13000001 2>"$work/region.stderr"
check "--region is the region baked" "[ $? = 1 ] && grep -qx 'error: Region 0x13000001 missing from DAT' '$work/region.stderr'"

# An output directory that cannot be made is named before the archives are looked at.
touch "$work/a-file"
"$bake" bake-all --dat-dir "$work/nowhere" --out-dir "$work/a-file/out" 2>"$work/blocked.stderr"
check "unwritable --out-dir named first" "[ $? = 1 ] && [ \$(wc -l <'$work/blocked.stderr') = 1 ] && grep -q '^error: IO error: create .*a-file/out: .*a-file is not a directory$' '$work/blocked.stderr'"
if [ "$(id -u)" != 0 ]; then
  mkdir -p "$work/read-only" && chmod 555 "$work/read-only"
  "$bake" bake-all --dat-dir "$work/world" --out-dir "$work/read-only/out" 2>"$work/ro.stderr"
  check "read-only parent named" "[ $? = 1 ] && grep -q '^error: IO error: create .*read-only/out: .*read-only: Permission denied$' '$work/ro.stderr'"
fi
"$bake" bake-all --dat-dir "$work/world" 2>"$work/no-out.stderr"
check "an output is required" "[ $? = 2 ] && grep -q 'out-dir or --db' '$work/no-out.stderr'"

# A rerun with fewer landblocks leaves only what its index lists (and files not its own).
"$bake" bake-all --dat-dir "$work/world" --out-dir "$work/rerun" --svg --atlas 2>/dev/null
touch "$work/rerun/0x1234.events.jsonl.part" "$work/rerun/notes.txt" "$work/rerun/0xA9B4.events.jsonl.bak"
"$bake" bake-all --dat-dir "$work/world" --out-dir "$work/rerun" --landblocks 0xA9B4,0xA8B3 2>/dev/null
check "stale outputs removed, others kept" "[ \"\$(ls '$work/rerun' | tr '\n' ' ')\" = '0xA8B3.events.jsonl 0xA9B4.events.jsonl 0xA9B4.events.jsonl.bak index.jsonl notes.txt ' ]"

# Interrupted runs. Landblock 0xA9B4's spawns file is a FIFO, so the bake of it
# (one job, second of three) waits until the test writes to it.
interrupt_run() {  # NAME SIGNAL [extra bake-all options...]
  local name=$1 signal=$2
  shift 2
  rm -rf "$work/$name" && mkdir -p "$work/$name-spawns" && rm -f "$work/$name-spawns/0xA9B4.spawns.jsonl"
  mkfifo "$work/$name-spawns/0xA9B4.spawns.jsonl"
  set -m  # a background job of its own, so that SIGINT is not ignored in it
  "$bake" bake-all --dat-dir "$work/world" --landblocks 0xA8B3,0xA9B4,0xAAB5 --jobs 1 \
    --spawns-dir "$work/$name-spawns" --setup-table "$work/world/spawns/wcid_to_setup.json" "$@" 2>"$work/$name.stderr" &
  local pid=$!
  set +m
  for _ in $(seq 100); do [ -e "$work/$name/0xA8B3.events.jsonl" ] && break; sleep 0.1; done
  sleep "${pause:-0.3}"
  kill "-$signal" "$pid"
  sleep 1  # the handler runs before the blocked bake goes on, even on a busy machine
  if [ -n "${second:-}" ]; then kill "-$second" "$pid"; sleep 0.5; fi
  # Fed until the run ends: with --db the file is read again for its lines.
  for _ in $(seq 20); do
    kill -0 "$pid" 2>/dev/null || break
    timeout 1 sh -c "cat '$work/world/spawns/0xA9B4.spawns.jsonl' > '$work/$name-spawns/0xA9B4.spawns.jsonl'"
  done
  wait "$pid"
}
pause=5.5 interrupt_run int INT --out-dir "$work/int"
check "SIGINT exits 130" "[ $? = 130 ]"
check "a plain progress line when not on a terminal" "grep -q '^bake-all: 1/3 landblocks, [0-9]*/s, [0-9]*:[0-9][0-9] left$' '$work/int.stderr'"
check "what finished is indexed, marked interrupted" "[ \$(wc -l <'$work/int/index.jsonl') = 3 ] && tail -n 1 '$work/int/index.jsonl' | grep -qx '{\"interrupted\":\"SIGINT\",\"baked\":2,\"of\":3}'"
check "the landblock in progress finished, no later one started" "[ -s '$work/int/0xA9B4.events.jsonl' ] && [ ! -e '$work/int/0xAAB5.events.jsonl' ]"
check "no temporary files after an interrupt" "! ls '$work/int' | grep -q part"
check "the interrupt named last" "tail -n 1 '$work/int.stderr' | grep -q '^error: interrupted by SIGINT after 2 of 3 landblocks; index: .*index.jsonl$'"
interrupt_run term TERM --out-dir "$work/term"
check "SIGTERM exits 143" "[ $? = 143 ]"
second=INT interrupt_run twice TERM --out-dir "$work/twice"
check "a second signal ends the run at once" "[ $? = 130 ] && [ ! -s '$work/twice.stderr' ] && [ ! -e '$work/twice/index.jsonl' ]"
"$bake" bake-all --dat-dir "$work/world" --db "$work/dbint.db" 2>/dev/null && cp "$work/dbint.db" "$work/dbint.before"
interrupt_run dbint INT --db "$work/dbint.db" --out-dir "$work/dbint"
check "SIGINT during --db exits 130" "[ $? = 130 ] && tail -n 1 '$work/dbint.stderr' | grep -q '; no database written$'"
check "the earlier database stays, no temporary one" "cmp -s '$work/dbint.db' '$work/dbint.before' && [ ! -e '$work/dbint.db.part' ]"
# On a terminal the progress bar's line is ended before the error line.
if script -qec true /dev/null >/dev/null 2>&1; then
  rm -rf "$work/tty" && mkdir -p "$work/tty-spawns" && rm -f "$work/tty-spawns/0xA9B4.spawns.jsonl" && mkfifo "$work/tty-spawns/0xA9B4.spawns.jsonl"
  set -m
  script -qec "exec '$bake' bake-all --dat-dir '$work/world' --landblocks 0xA8B3,0xA9B4,0xAAB5 --jobs 1 --out-dir '$work/tty' \
    --spawns-dir '$work/tty-spawns' --setup-table '$work/world/spawns/wcid_to_setup.json'" /dev/null >"$work/tty.out" 2>&1 </dev/null &
  script_pid=$!
  set +m
  for _ in $(seq 100); do [ -e "$work/tty/0xA8B3.events.jsonl" ] && break; sleep 0.1; done
  sleep 0.5
  tty_pid=$(ps --ppid "$script_pid" -o pid= | tr -d ' ')
  [ -n "$tty_pid" ] && kill -INT "$tty_pid"
  sleep 1
  timeout 10 sh -c "cat '$work/world/spawns/0xA9B4.spawns.jsonl' > '$work/tty-spawns/0xA9B4.spawns.jsonl'"
  wait "$script_pid"
  check "the bar's line ends before the error" "grep -q '^error: interrupted by SIGINT after 2 of 3 landblocks' '$work/tty.out'"
fi

[ "$fails" = 0 ] && echo "bake-all: all checks passed"
exit $((fails != 0))
