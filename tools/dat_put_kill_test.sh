#!/usr/bin/env bash
# `ravelin-bake dat put` processes killed with SIGKILL at random moments, a
# hundred times, on a copy of the sample world's cell archive: commit n puts a
# counter file holding n and six files whose bytes are a function of n (odd n
# compressed). After each kill the archive opens, holds exactly the state
# before or after the put the kill interrupted (every file compared), and
# `dat check` finds no fault (reclaimable blocks allowed).
#   dat_put_kill_test.sh RAVELIN_BAKE WORK_DIR [KILLS]
set -uo pipefail
bake=$1 work=$2
kills=${3:-100}
rm -rf "$work" && mkdir -p "$work/blobs"
fail() { echo "FAIL: $*" >&2; exit 1; }

"$bake" sample-world "$work/world" >/dev/null 2>&1 || fail "sample-world failed"
archive=$work/client_cell_1.dat
cp "$work/world/client_cell_1.dat" "$archive"
counter_id=0x0E000000
files=6
# Twenty bodies of 1 KB to about 400 KB, half of them compressible.
for b in $(seq 0 19); do
  size=$(((b * b + 1) * 1000))
  if ((b % 2)); then head -c "$size" /dev/urandom; else yes "body $b" | head -c "$size"; fi >"$work/blobs/$b"
done
blob() { echo "$work/blobs/$((($1 * 3 + $2 * 7) % 20))"; }  # COMMIT FILE
list() {  # COMMIT: the --from list of commit n
  local k
  echo "$counter_id $work/counter.$1"
  for ((k = 0; k < files; k++)); do echo "$((0x0E000100 + k)) $(blob "$1" "$k")"; done
}
# Writes commit n's counter file and list and sets `put` to its command line.
prepare() {  # COMMIT
  echo "$1" >"$work/counter.$1"
  list "$1" >"$work/list"
  put=("$bake" dat put "$archive" --from "$work/list")
  if (($1 % 2)); then put+=(--compressed); fi
}
# The archive holds commit n's files: every body, and the compressed flag.
holds() {  # COMMIT
  local k id
  "$bake" dat ls "$archive" >"$work/ls" || return 1
  "$bake" dat get "$archive" "$counter_id" | cmp -s - "$work/counter.$1" || return 1
  for ((k = 0; k < files; k++)); do
    id=$(printf '0x%08X' $((0x0E000100 + k)))
    "$bake" dat get "$archive" "$id" | cmp -s - "$(blob "$1" "$k")" || { echo "  $id differs" >&2; return 1; }
    grep -q "^$id [0-9]* $(($1 % 2))\$" "$work/ls" || { echo "  $id flags" >&2; return 1; }
  done
}

# Commit 0, and how long a put takes when nothing stops it.
prepare 0 && "${put[@]}" 2>/dev/null || fail "the first put failed"
start=$(date +%s%N)
for n in 1 2 3; do prepare $n && "${put[@]}" 2>/dev/null || fail "put $n failed"; done
per_put_us=$((($(date +%s%N) - start) / 3000))
holds 3 || fail "three puts do not hold commit 3"
last=3 interrupted=0 before=0 leaked=0
for ((i = 1; i <= kills; i++)); do
  n=$((last + 1))
  prepare $n
  "${put[@]}" 2>/dev/null &
  pid=$!
  # Anywhere from the start to the end of a whole put.
  delay_us=$(((RANDOM * 32768 + RANDOM) % (per_put_us + 1)))
  sleep "$(printf '%d.%06d' $((delay_us / 1000000)) $((delay_us % 1000000)))"
  kill -KILL "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null  # no "Killed" notice
  status=$?
  ((status == 137)) && interrupted=$((interrupted + 1))
  ((status != 0 && status != 137)) && fail "put $n exited $status without being killed"
  if holds "$n"; then
    last=$n
  elif holds "$last"; then
    before=$((before + 1))
  else
    fail "after kill $i the archive holds neither commit $last nor commit $n"
  fi
  "$bake" dat check "$archive" >"$work/check" 2>&1 || fail "after kill $i: $(grep -v '^note' "$work/check" | head -n 3)"
  grep -q '^note leaked-blocks' "$work/check" && leaked=$((leaked + 1))
done
# Enough of the random moments must land inside a put, and some before its
# commit, or the test shows nothing.
((interrupted * 4 >= kills && before > 0)) ||
  fail "only $interrupted of $kills puts were killed before they ended, $before before their commit"
echo "dat put kill test: $kills kills ($interrupted inside a put, $before before its commit; a put takes about $((per_put_us / 1000)) ms), every archive a committed state, $leaked left reclaimable blocks"
