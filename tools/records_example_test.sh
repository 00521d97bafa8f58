#!/usr/bin/env bash
# The worked example of docs/records.md as written: each "$ " line of the sh
# block after <!-- worked-example --> runs with bash in a scratch directory,
# ravelin-bake on the PATH, and what it prints (standard output and error)
# must be the lines under it, so the page cannot go stale.
#   records_example_test.sh RAVELIN_BAKE DOC WORK_DIR
set -uo pipefail
bake=$1 doc=$2 work=$3
rm -rf "$work" && mkdir -p "$work/bin" "$work/run"
ln -s "$(realpath "$bake")" "$work/bin/ravelin-bake"
awk '/<!-- worked-example -->/ { found = 1; next } found && /^```sh$/ { inside = 1; next }
     inside && /^```$/ { exit } inside { print }' "$doc" >"$work/session.txt"
commands=$(grep -c '^\$ ' "$work/session.txt")
[ "$commands" -ge 6 ] || { echo "FAIL: no worked example in $doc ($commands commands)" >&2; exit 1; }
: >"$work/got.txt"
while IFS= read -r line; do
  case $line in
    '$ '*)
      printf '%s\n' "$line" >>"$work/got.txt"
      # A command that fails shows its error line, as the page prints it.
      (cd "$work/run" && PATH="$work/bin:$PATH" bash -o pipefail -c "${line#\$ }") </dev/null >>"$work/got.txt" 2>&1
      ;;
  esac
done <"$work/session.txt"
if ! diff -u "$work/session.txt" "$work/got.txt" >&2; then
  echo "FAIL: the worked example of $doc prints something else (- the page, + the run)" >&2
  exit 1
fi
echo "records.md's worked example: $commands commands, their output as printed"
