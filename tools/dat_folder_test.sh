#!/usr/bin/env bash
# dat extract, pack and cp over copies of the sample world and a random world:
# extract --stored then pack gives the same `dat ls` (ids, sizes, flags,
# timestamps, versions) and the same stored bytes; a plain extract packed and
# extracted again gives the same files; a packed world bakes as the original;
# an edited file packs into the archive; cp carries files into an archive of
# another block size. Bad folders, bad options and a busy target fail with one
# "error:" line and leave no archive; usage errors exit 2.
#   dat_folder_test.sh RAVELIN_BAKE RANDOM_WORLD_TEST WORK_DIR
set -uo pipefail
bake=$1 random_world=$2 work=$3
rm -rf "$work" && mkdir -p "$work"
fails=0
check() { if ! eval "$2"; then echo "FAIL: $1" >&2; fails=$((fails + 1)); fi; }
expect() {  # name, status, stderr pattern (grep -E), command...
  local name=$1 status=$2 pattern=$3
  shift 3
  "$@" >"$work/out" 2>"$work/err"
  local got=$?
  check "$name: exit $status (got $got: $(head -c 300 "$work/err"))" "[ $got = $status ]"
  [ "$status" = 1 ] && check "$name: one error line, no output" "[ \$(wc -l <'$work/err') = 1 ] && [ ! -s '$work/out' ]"
  if [ -n "$pattern" ] && ! grep -qE -- "$pattern" "$work/err"; then
    echo "FAIL: $name: stderr does not match /$pattern/: $(head -c 300 "$work/err")" >&2
    fails=$((fails + 1))
  fi
}
same_folder() { diff -r "$1" "$2" >/dev/null; }

"$bake" sample-world "$work/world" >/dev/null
for seed in 11 12; do "$random_world" "$work/random$seed" $seed >/dev/null || check "random world $seed" false; done
for archive in "$work"/world/*.dat "$work"/random1[12]/*.dat; do
  name=$(basename "$(dirname "$archive")")-$(basename "$archive" .dat)
  expect "$name: extract --stored" 0 '^extracted [0-9]+ files' "$bake" dat extract "$archive" "$work/$name.stored" --stored
  expect "$name: pack" 0 '^packed [0-9]+ files' "$bake" dat pack "$work/$name.stored" -o "$work/$name.dat"
  check "$name: same entries" "cmp -s <('$bake' dat ls '$archive') <('$bake' dat ls '$work/$name.dat')"
  "$bake" dat extract "$work/$name.dat" "$work/$name.again" --stored 2>/dev/null
  check "$name: same stored bytes" "same_folder '$work/$name.stored/files' '$work/$name.again/files'"
  check "$name: same index" "cmp -s '$work/$name.stored/index.jsonl' '$work/$name.again/index.jsonl'"
  check "$name: stored files hold the stored sizes" "awk -F'[\":,]+' '{ print \$3, \$NF + 0 }' '$work/$name.stored/index.jsonl' |
    while read -r id size; do [ \$(stat -c %s '$work/$name.stored/files/'\$id) = \$size ] || exit 1; done"
  check "$name: kept header fields" "diff <(grep -vE 'file_size|free_|root_offset' '$work/$name.stored/header.json') \
    <(grep -vE 'file_size|free_|root_offset' '$work/$name.again/header.json') >/dev/null"
  "$bake" dat check "$work/$name.dat" >"$work/check.out" 2>&1
  check "$name: a fresh archive, nothing to report" "[ \$? = 0 ] && ! grep -qE '^(fault|note)' '$work/check.out'"
  # Plain files: packed (compressed again where the index says) and extracted again, the same files.
  "$bake" dat extract "$archive" "$work/$name.plain" 2>/dev/null
  expect "$name: pack plain" 0 '' "$bake" dat pack "$work/$name.plain" -o "$work/$name.plain.dat" --block-size 64
  "$bake" dat extract "$work/$name.plain.dat" "$work/$name.plain2" 2>/dev/null
  check "$name: plain files again" "same_folder '$work/$name.plain/files' '$work/$name.plain2/files'"
done

# The packed sample world bakes as the original.
mkdir -p "$work/packed"
cp "$work/world-client_portal.dat" "$work/packed/client_portal.dat"
cp "$work/world-client_cell_1.dat" "$work/packed/client_cell_1.dat"
check "packed world bakes the same" "cmp -s <('$bake' bake --dat-dir '$work/world' --landblock 0xA9B4) \
  <('$bake' bake --dat-dir '$work/packed' --landblock 0xA9B4)"

# Extract, edit a file, pack: the archive holds the edit.
printf 'edited bytes' >"$work/world-client_portal.plain/files/0x03000201"
"$bake" dat pack "$work/world-client_portal.plain" -o "$work/edited.dat" 2>/dev/null
check "edited file packed" "[ \"\$('$bake' dat get '$work/edited.dat' 0x03000201)\" = 'edited bytes' ]"

# cp into an archive of another block size, and into a copy: the same bytes as the editor's own copy.
cp "$work/world-client_cell_1.plain.dat" "$work/target.dat"
expect "cp" 0 '^copied 3 files .* \(3 new, 0 replaced\)' \
  "$bake" dat cp "$work/world/client_portal.dat" "$work/target.dat" 0x03000200 0x13000000 0x02000101
printf '# a list\n0x03000200\n\n0x33000300\n' >"$work/ids.txt"
expect "cp --from" 0 '\(1 new, 1 replaced\)' \
  "$bake" dat cp "$work/world/client_portal.dat" "$work/target.dat" --from "$work/ids.txt"
for id in 0x03000200 0x13000000 0x02000101 0x33000300; do
  check "cp $id: same bytes" "cmp -s <('$bake' dat get '$work/world/client_portal.dat' $id) <('$bake' dat get '$work/target.dat' $id)"
  check "cp $id: same entry" "[ \"\$('$bake' dat ls '$work/world/client_portal.dat' | grep '^$id')\" = \
    \"\$('$bake' dat ls '$work/target.dat' | grep '^$id')\" ]"
done
"$bake" dat check "$work/target.dat" >/dev/null 2>&1
check "cp: target clean" "[ \$? = 0 ]"

# Bad input: one error line, no archive and no temporary left.
cp -r "$work/world-client_portal.stored" "$work/bad"
before=$(sha256sum "$work/target.dat")
expect "cp: absent id" 1 '^error: File ID 0BADBEEF not found in .*client_portal.dat$' \
  "$bake" dat cp "$work/world/client_portal.dat" "$work/target.dat" 0x03000200 0x0BADBEEF
expect "cp: unreadable source" 1 '^error: .*missing.dat' "$bake" dat cp "$work/missing.dat" "$work/target.dat" 1
head -c 2000 "$work/world/client_portal.dat" >"$work/truncated.dat"
expect "cp: truncated source" 1 '^error: .*truncated.dat' "$bake" dat cp "$work/truncated.dat" "$work/target.dat" 0x03000200
check "cp failures leave the target" "[ \"\$(sha256sum '$work/target.dat')\" = '$before' ]"
expect "extract: truncated" 1 '^error: .*truncated.dat' "$bake" dat extract "$work/truncated.dat" "$work/t"
check "extract: no index after a failure" "[ ! -e '$work/t/index.jsonl' ]"
expect "extract: non-empty" 1 'is not empty \(--force writes into it\)$' "$bake" dat extract "$work/world/client_portal.dat" "$work/bad"
expect "pack: block size 8" 2 'must be more than 8 and a multiple of 4' "$bake" dat pack "$work/bad" -o "$work/x.dat" --block-size 8
expect "pack: block size 30" 2 'must be more than 8 and a multiple of 4' "$bake" dat pack "$work/bad" -o "$work/x.dat" --block-size 30
expect "pack: no -o" 2 '' "$bake" dat pack "$work/bad"
echo '{"id":"0x03000200",' >>"$work/bad/index.jsonl"
lines=$(wc -l <"$work/bad/index.jsonl")
expect "pack: not JSON" 1 "index.jsonl:$lines: not a JSON object\$" "$bake" dat pack "$work/bad" -o "$work/x.dat"
sed -i '$d' "$work/bad/index.jsonl" && head -1 "$work/bad/index.jsonl" >>"$work/bad/index.jsonl"
expect "pack: an id twice" 1 "index.jsonl:$lines: file id 0x02000100 is already on line 1\$" "$bake" dat pack "$work/bad" -o "$work/x.dat"
sed -i '$d' "$work/bad/index.jsonl"
echo x >"$work/bad/files/stray.txt"
expect "pack: unlisted file" 1 'files/stray.txt is not listed in .*index.jsonl$' "$bake" dat pack "$work/bad" -o "$work/x.dat"
rm "$work/bad/files/stray.txt" "$work/bad/files/0x03000200"
expect "pack: missing file" 1 'index.jsonl:[0-9]+: no file .*files/0x03000200$' "$bake" dat pack "$work/bad" -o "$work/x.dat"
rm "$work/bad/index.jsonl"
expect "pack: no index" 1 'bad has no index.jsonl' "$bake" dat pack "$work/bad" -o "$work/x.dat"
check "no archive or temporary left" "[ -z \"\$(ls '$work' | grep -E '^x\\.dat')\" ]"
expect "cp: no id" 2 '' "$bake" dat cp "$work/world/client_portal.dat" "$work/target.dat"

if [ "$fails" -ne 0 ]; then
  echo "dat_folder_test: $fails failures" >&2
  exit 1
fi
echo "dat_folder_test: ok"
