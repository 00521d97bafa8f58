#!/usr/bin/env bash
# Runs ravelin-bake over every damaged-input case:
#   damaged_inputs_test.sh RAVELIN_BAKE GENERATOR WORK_DIR [MEMORY_LIMIT_KB]
# Each case must end with its status (0, 1, or either for "any"), print at most
# one line on standard error — exactly one "error: ..." line naming the
# problem when it fails — and finish within 60 seconds. With MEMORY_LIMIT_KB
# the bakes run under that address-space limit (ulimit -v).
set -uo pipefail
bake=$1 generator=$2 work=$3 limit=${4:-}
"$generator" "$work" || { echo "generator failed" >&2; exit 1; }
failures=0 count=0
while IFS=$'\t' read -r -a fields; do
  name=${fields[0]} want=${fields[1]} expected=${fields[2]}
  args=("${fields[@]:3}")
  count=$((count + 1))
  err="$work/$name.stderr"
  start=$(date +%s%N)
  (
    [ -n "$limit" ] && ulimit -v "$limit"
    exec timeout 60 "$bake" "${args[@]}" >/dev/null 2>"$err"
  )
  status=$?
  ms=$((($(date +%s%N) - start) / 1000000))
  lines=$(wc -l <"$err")
  problem=""
  if [ "$want" = any ]; then
    [ "$status" -le 1 ] || problem="status $status"
  elif [ "$status" != "$want" ]; then
    problem="status $status, wanted $want"
  fi
  if [ -z "$problem" ] && [ "$status" = 1 ]; then
    if [ "$lines" != 1 ] || ! grep -q '^error: ' "$err"; then
      problem="stderr is not one error line"
    elif [ "$expected" != - ] && ! grep -qF -- "$expected" "$err"; then
      problem="error line lacks '$expected'"
    fi
  elif [ -z "$problem" ] && [ "$lines" != 0 ]; then
    problem="unexpected standard error output"
  fi
  if [ -n "$problem" ]; then
    failures=$((failures + 1))
    echo "FAIL $name (${ms} ms): $problem" >&2
    sed 's/^/    /' "$err" | head -5 >&2
  else
    echo "ok   $name (${ms} ms, status $status)" >&2
  fi
done <"$work/cases.tsv"
echo "$count cases, $failures failed" >&2
[ "$count" -gt 0 ] && [ "$failures" = 0 ]
