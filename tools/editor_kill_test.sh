#!/usr/bin/env bash
# A process editing an archive killed with SIGKILL at random moments, a hundred
# times: after each kill the archive holds exactly the state after the last
# commit it records (checked file by file against the driver's model), its
# blocks are sound (leaked ones allowed), and the next run goes on from there.
#   editor_kill_test.sh EDITOR_KILL_DRIVER [KILLS]
set -euo pipefail
driver=$1
kills=${2:-100}
dir=$(mktemp -d "${TMPDIR:-/tmp}/ravelin_editor_kill.XXXXXX")
trap 'rm -rf "$dir"' EXIT
archive=$dir/a.dat
"$driver" create "$archive"
last=0
leaked_seen=0
for ((i = 1; i <= kills; i++)); do
  "$driver" loop "$archive" &
  pid=$!
  # 5 to 120 ms: early kills land while the archive is opened, later ones
  # anywhere in a commit.
  sleep "$(printf '0.%03d' $((RANDOM % 116 + 5)))"
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null && { echo "FAIL: the loop ended by itself (kill $i)" >&2; exit 1; }
  if ! result=$("$driver" verify "$archive"); then
    echo "FAIL: after kill $i the archive is not a committed state" >&2
    exit 1
  fi
  read -r commit leaked <<<"$result"
  if ((commit < last)); then
    echo "FAIL: after kill $i the archive went back from commit $last to $commit" >&2
    exit 1
  fi
  last=$commit
  ((leaked > 0)) && leaked_seen=$((leaked_seen + 1))
done
if ((last == 0)); then
  echo "FAIL: no commit was made in $kills runs" >&2
  exit 1
fi
echo "editor kill test: $kills kills, every archive a committed state (last commit $last, $leaked_seen left leaked blocks for the next run)"
