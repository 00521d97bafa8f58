#!/usr/bin/env bash
# dat put, rm, compact and check over a copy of the sample world: puts of new
# ids and replacements that grow and shrink, compressed bodies read back by
# `dat get`, --from batches, removes, compact, and a bake of the patched world;
# each change leaves `dat check` clean. Refused archives, a read-only one, an
# absent id, an unreadable input and a second editor fail with one "error:"
# line and leave the file's bytes as they were; usage errors exit 2.
#   dat_edit_test.sh RAVELIN_BAKE WORK_DIR
set -uo pipefail
bake=$1 work=$2
rm -rf "$work" && mkdir -p "$work"
fails=0
check() { if ! eval "$2"; then echo "FAIL: $1" >&2; fails=$((fails + 1)); fi; }

# name, status, stderr pattern (grep -E), command...: a failure prints exactly
# one line on stderr and nothing on stdout.
expect() {
  local name=$1 status=$2 pattern=$3
  shift 3
  "$@" >"$work/out" 2>"$work/err"
  local got=$?
  check "$name: exit $status (got $got: $(head -c 300 "$work/err"))" "[ $got = $status ]"
  [ "$status" = 1 ] && check "$name: one error line, no output" \
    "[ \$(wc -l <'$work/err') = 1 ] && [ ! -s '$work/out' ]"
  if [ -n "$pattern" ] && ! grep -qE -- "$pattern" "$work/err"; then
    echo "FAIL: $name: stderr does not match /$pattern/: $(head -c 300 "$work/err")" >&2
    fails=$((fails + 1))
  fi
}
sum() { sha256sum "$1" | cut -d' ' -f1; }
# `dat check` exits 0 and reports no fault.
clean() {  # NAME ARCHIVE
  "$bake" dat check "$2" >"$work/check.out" 2>&1
  check "$1: check clean ($(grep -v '^note' "$work/check.out" | head -c 300))" \
    "[ $? = 0 ] && grep -q ' 0 faults, ' '$work/check.out' && ! grep -q '^fault' '$work/check.out'"
}
same_get() {  # ARCHIVE ID FILE: dat get gives the file's bytes
  "$bake" dat get "$1" "$2" | cmp -s - "$3"
}
# "bit_flags timestamp version" of entry ID, read from the directory the header
# names (not from the reader, so a wrong field would show).
entry_fields() {  # ARCHIVE ID
  /usr/bin/python3 - "$@" <<'EOF'
import struct, sys
data = open(sys.argv[1], 'rb').read()
want = int(sys.argv[2], 0)
block = struct.unpack_from('<I', data, 0x144)[0]
def item(offset, size):
    out = b''
    while len(out) < size:
        link = struct.unpack_from('<I', data, offset)[0]
        take = size - len(out) if link == 0 else min(size - len(out), block - 4)
        out += data[offset + 4:offset + 4 + take]
        offset = link
    return out
def walk(offset):
    node = item(offset, 1716)
    branches = struct.unpack_from('<62I', node, 0)
    count = struct.unpack_from('<I', node, 248)[0]
    for i in range(count):
        e = struct.unpack_from('<6I', node, 252 + 24 * i)
        if e[1] == want:
            print(e[0], e[4], e[5])
            sys.exit(0)
    if branches[0]:
        for i in range(count + 1):
            walk(branches[i])
walk(struct.unpack_from('<I', data, 0x160)[0])
sys.exit(1)
EOF
}
# Overwrites the u32 at OFFSET (an expression over root, block, length).
patch_u32() {  # ARCHIVE OFFSET_EXPR VALUE_EXPR
  /usr/bin/python3 - "$@" <<'EOF'
import struct, sys
path = sys.argv[1]
data = bytearray(open(path, 'rb').read())
names = {'root': struct.unpack_from('<I', data, 0x160)[0], 'block': struct.unpack_from('<I', data, 0x144)[0],
         'length': len(data)}
struct.pack_into('<I', data, eval(sys.argv[2], names), eval(sys.argv[3], names))
open(path, 'wb').write(data)
EOF
}

"$bake" sample-world "$work/world" >/dev/null 2>&1 || { echo "sample-world failed" >&2; exit 1; }
cp -r "$work/world" "$work/patched"
portal=$work/patched/client_portal.dat cell=$work/patched/client_cell_1.dat
"$bake" dat ls "$portal" >"$work/ls.0"

head -c 3000 /dev/urandom >"$work/new.bin"
head -c 70000 /dev/urandom >"$work/big.bin"
printf 'short' >"$work/short.bin"
for i in $(seq 1 400); do echo "line $i of a text that compresses well"; done >"$work/text.txt"

# A new id, then one replaced growing and shrinking.
expect "put a new id" 0 '^put 1 file into .*client_portal.dat \(1 new, 0 replaced\): [0-9]+ blocks? written' \
  "$bake" dat put "$portal" 0x0E000001 "$work/new.bin"
check "new id reads back" "same_get '$portal' 0x0E000001 '$work/new.bin'"
check "new id listed, the rest as it was" \
  "diff <(grep -v '^0x0E000001 ' <(\"$bake\" dat ls '$portal')) '$work/ls.0' >/dev/null && \"$bake\" dat ls '$portal' | grep -qx '0x0E000001 3000 0'"
clean "new id" "$portal"
expect "replace growing" 0 '\(0 new, 1 replaced\)' "$bake" dat put "$portal" 0x03000200 "$work/big.bin"
check "grown body reads back" "same_get '$portal' 0x03000200 '$work/big.bin'"
clean "grown" "$portal"
expect "replace shrinking" 0 '\(0 new, 1 replaced\): .* [1-9][0-9]* freed' "$bake" dat put "$portal" 0x03000200 "$work/short.bin"
check "shrunk body reads back" "same_get '$portal' 0x03000200 '$work/short.bin'"
clean "shrunk" "$portal"
# The next put reuses the blocks the shrink freed (no reader is open).
expect "put reuses freed blocks" 0 ' written \([1-9][0-9]* reused, ' "$bake" dat put "$portal" 0x0E000003 "$work/new.bin"
clean "reuse" "$portal"

# Compressed bodies, stdin, and the entry fields.
expect "put --compressed" 0 "" "$bake" dat put "$portal" 0x0E000002 "$work/text.txt" --compressed
check "compressed body reads back" "same_get '$portal' 0x0E000002 '$work/text.txt'"
check "compressed: flag 1, stored smaller" \
  "\"$bake\" dat ls '$portal' | awk '\$1 == \"0x0E000002\" { exit !(\$3 == 1 && \$2 < 4000) }'"
clean "compressed" "$portal"
expect "put from standard input" 0 "" "$bake" dat put "$portal" 0x02000101 - --flags 0x300 --timestamp 7 \
  --file-version 9 <"$work/new.bin"
check "stdin body reads back, stored plain" "same_get '$portal' 0x02000101 '$work/new.bin'"
check "--flags, --timestamp, --file-version written" "[ \"\$(entry_fields '$portal' 0x02000101)\" = '768 7 9' ]"
expect "replace keeps the fields" 0 "" "$bake" dat put "$portal" 0x02000101 "$work/text.txt" --compressed
check "fields kept, bit 0 set" "[ \"\$(entry_fields '$portal' 0x02000101)\" = '769 7 9' ]"
check "kept-field body reads back" "same_get '$portal' 0x02000101 '$work/text.txt'"
clean "fields" "$portal"

# A --from batch: comments, blank lines, a path with a blank, new and replaced ids.
cp "$work/big.bin" "$work/with blank.bin"
cat >"$work/batch.list" <<EOF
# a patch of three files

0x0E000010 $work/new.bin
  234881041	$work/with blank.bin
0x13000000 $work/text.txt
EOF
expect "put --from" 0 '^put 3 files into .* \(2 new, 1 replaced\)' "$bake" dat put "$portal" --from "$work/batch.list"
check "--from: first" "same_get '$portal' 0x0E000010 '$work/new.bin'"
check "--from: decimal id, blank in path" "same_get '$portal' 0x0E000011 '$work/with blank.bin'"
check "--from: replaced" "same_get '$portal' 0x13000000 '$work/text.txt'"
clean "--from" "$portal"
before=$(sum "$portal")
printf '0x0E000020 %s\n0x0E000021 %s\n' "$work/new.bin" "$work/missing.bin" >"$work/missing.list"
expect "--from with an unreadable file" 1 "^error: IO error: read $work/missing.bin: No such file or directory$" \
  "$bake" dat put "$portal" --from "$work/missing.list"
check "--from failure: nothing put" "[ \"\$(sum '$portal')\" = '$before' ]"
printf '0x0E000030 %s\n# fine\nA9B4 %s\n' "$work/new.bin" "$work/new.bin" >"$work/bad-id.list"
expect "--from: bad id" 2 "^error: $work/bad-id.list line 3: not a 32-bit file id: A9B4$" \
  "$bake" dat put "$portal" --from "$work/bad-id.list"
printf '0x0E000030\n' >"$work/no-path.list"
expect "--from: no path" 2 "^error: $work/no-path.list line 1: no file after the id" \
  "$bake" dat put "$portal" --from "$work/no-path.list"
printf '0x0E000030 a\n\n0xe000030 b\n' >"$work/twice.list"
expect "--from: id twice" 2 "^error: $work/twice.list line 3: file id 0x0E000030 is already put on line 1$" \
  "$bake" dat put "$portal" --from "$work/twice.list"
expect "--from: missing list" 1 "^error: IO error: read $work/nowhere.list: No such file or directory$" \
  "$bake" dat put "$portal" --from "$work/nowhere.list"
expect "--from - reads the list from standard input" 0 '^put 1 file ' \
  "$bake" dat put "$portal" --from - < <(echo "0x0E000040 $work/short.bin")
check "--from -: put" "same_get '$portal' 0x0E000040 '$work/short.bin'"
expect "--from: a path - names a file, not standard input" 1 "^error: IO error: read -: No such file or directory$" \
  "$bake" dat put "$portal" --from - < <(echo "0x0E000041 -")
before=$(sum "$portal")
expect "unreadable input" 1 "^error: IO error: read $work/missing.bin: No such file or directory$" \
  "$bake" dat put "$portal" 0x0E000050 "$work/missing.bin"
expect "a directory as input" 1 "^error: IO error: read $work: Is a directory$" "$bake" dat put "$portal" 0x0E000050 "$work"
check "unreadable inputs: archive as it was" "[ \"\$(sum '$portal')\" = '$before' ]"

# Removes: one commit for several ids; an absent id removes nothing.
"$bake" dat ls "$portal" >"$work/ls.before-rm"
expect "rm" 0 '^removed 2 files from .*client_portal.dat: .* [1-9][0-9]* freed' "$bake" dat rm "$portal" 0x0E000010 234881041
check "rm: both gone, the rest as it was" \
  "diff <(\"$bake\" dat ls '$portal') <(grep -v '^0x0E00001[01] ' '$work/ls.before-rm') >/dev/null"
clean "rm" "$portal"
before=$(sum "$portal")
expect "rm of an absent id" 1 "^error: File ID 0E0000FF not found in $portal$" "$bake" dat rm "$portal" 0x0E000001 0x0E0000FF
check "rm of an absent id: nothing removed" "[ \"\$(sum '$portal')\" = '$before' ]"
expect "rm of an id twice" 1 "^error: File ID 0E000001 not found in " "$bake" dat rm "$portal" 0x0E000001 0x0E000001
check "rm of an id twice: nothing removed" "[ \"\$(sum '$portal')\" = '$before' ]"

# Compact: in place and to another file, the listing and every body kept.
"$bake" dat ls "$portal" >"$work/ls.before-compact"
cp "$portal" "$work/before-compact.dat"
expect "compact -o" 0 "^compacted $portal into $work/compacted.dat: [0-9]+ entries in [0-9]+ nodes? \(depth [0-9]+\), " \
  "$bake" dat compact "$portal" -o "$work/compacted.dat"
check "compact -o: the source as it was" "cmp -s '$portal' '$work/before-compact.dat'"
check "compact -o: same listing" "\"$bake\" dat ls '$work/compacted.dat' | cmp -s - '$work/ls.before-compact'"
clean "compact -o" "$work/compacted.dat"
expect "compact in place" 0 "^compacted $portal: " "$bake" dat compact "$portal"
check "compact: same listing" "\"$bake\" dat ls '$portal' | cmp -s - '$work/ls.before-compact'"
check "compact: same bodies" "cmp -s '$portal' '$work/compacted.dat'"
check "compact: no free or leaked blocks" "\"$bake\" dat check '$portal' | grep -q ' 0 free blocks, 0 leaked blocks'"
check "compact: smaller" "[ \$(stat -c %s '$portal') -lt \$(stat -c %s '$work/before-compact.dat') ]"
check "compact: no temporary left" "! ls -a '$work/patched' | grep -q '\.part$'"
clean "compact" "$portal"
while read -r id _; do
  check "compact: $id as before" "\"$bake\" dat get '$portal' $id | cmp -s - <(\"$bake\" dat get '$work/before-compact.dat' $id)"
done <"$work/ls.before-compact"

# The patch of docs/writing.md: a sound of animation 0x03000200 changed in the
# cell world's portal archive, and the bake of the patched copy plays it.
cp -r "$work/world" "$work/sound"
"$bake" dat get "$work/sound/client_portal.dat" 0x03000200 -o "$work/anim.bin"
/usr/bin/python3 -c 'import sys; b = open(sys.argv[1], "rb").read(); open(sys.argv[1], "wb").write(b.replace(bytes.fromhex("0100000a"), bytes.fromhex("2a00000a"), 1))' "$work/anim.bin"
expect "put the changed animation" 0 "" "$bake" dat put "$work/sound/client_portal.dat" 0x03000200 "$work/anim.bin"
"$bake" bake --dat-dir "$work/world" --landblock 0xA9B4 -o "$work/before.jsonl"
"$bake" bake --dat-dir "$work/sound" --landblock 0xA9B4 -o "$work/after.jsonl"
check "bake: the new sound in the manifest" \
  "grep -c '\"sound_id\":167772202,' '$work/after.jsonl' | grep -qx '[1-9][0-9]*' && ! grep -q '\"sound_id\":167772202,' '$work/before.jsonl'"
check "bake: only the sound's lines changed" \
  "[ \"\$(diff <(sed '/\"animation_did\":\"0x03000200\"/s/\"sound_id\":167772161,/\"sound_id\":167772202,/' '$work/before.jsonl') '$work/after.jsonl' | wc -l)\" = 0 ] && ! cmp -s '$work/before.jsonl' '$work/after.jsonl'"

# Archives the editor refuses: the finding, a pointer to compact, bytes unchanged.
head -c 3000 /dev/urandom >"$work/random.dat"
head -c 5000 "$cell" >"$work/cut.dat"
cp "$work/world/client_portal.dat" "$work/cycle.dat" && patch_u32 "$work/cycle.dat" 'root + 4' 'root'
cp "$work/world/client_portal.dat" "$work/outside.dat" && patch_u32 "$work/outside.dat" 'root + 4' 'root + ((length - root) // block + 8) * block'
cp "$work/world/client_portal.dat" "$work/free-outside.dat" && patch_u32 "$work/free-outside.dat" 0x154 '((length - root) // block + 8) * block + root' &&
  patch_u32 "$work/free-outside.dat" 0x158 '((length - root) // block + 8) * block + root' && patch_u32 "$work/free-outside.dat" 0x15C 1
for damaged in random cut cycle outside free-outside; do
  file=$work/$damaged.dat
  before=$(sum "$file")
  expect "put into $damaged" 1 "^error: (cannot edit $file: .*; run \`ravelin-bake dat compact\` to rewrite it|$file: .*)$" \
    "$bake" dat put "$file" 0x0E000001 "$work/new.bin"
  expect "rm from $damaged" 1 "^error: " "$bake" dat rm "$file" 0x03000200
  check "$damaged: bytes unchanged" "[ \"\$(sum '$file')\" = '$before' ]"
  "$bake" dat check "$file" >"$work/check.out" 2>"$work/check.err"
  check "check of $damaged: exit 1, a fault named" \
    "[ $? = 1 ] && grep -q '^fault ' '$work/check.out' && grep -qx 'error: $file has [0-9]* faults\?' '$work/check.err'"
done
"$bake" dat put "$work/cycle.dat" 0x0E000001 "$work/new.bin" 2>"$work/cycle.err"
check "cycle: the finding named" "grep -q 'is reached twice (a cycle); run' '$work/cycle.err'"
"$bake" dat check "$work/cycle.dat" --json >"$work/check.jsonl" 2>/dev/null
check "check --json: a cycle fault, totals last" \
  "grep -q '\"severity\":\"fault\",\"code\":\"cycle\"' '$work/check.jsonl' && tail -n 1 '$work/check.jsonl' | grep -q '^{\"totals\":{'"
expect "check of a directory" 1 "^error: Failed to open file at $work: not a regular file$" "$bake" dat check "$work"
expect "check of a missing file" 1 "^error: Failed to open file at $work/nowhere.dat: " "$bake" dat check "$work/nowhere.dat"
expect "compact of a cut archive" 1 "^error: " "$bake" dat compact "$work/cut.dat"
check "clean check: notes only, exit 0" "\"$bake\" dat check '$work/world/client_cell_1.dat' --json | tail -n 1 | grep -q '\"faults\":0,'"

# A read-only archive (for root: as the nobody user, who may read it only).
cp "$work/world/client_portal.dat" "$work/readonly.dat" && chmod 444 "$work/readonly.dat"
as_reader=()
[ "$(id -u)" = 0 ] && as_reader=(setpriv --reuid=65534 --regid=65534 --clear-groups)
before=$(sum "$work/readonly.dat")
chmod o+rx "$work" 2>/dev/null
expect "put into a read-only archive" 1 "^error: IO error: open $work/readonly.dat: Permission denied$" \
  "${as_reader[@]}" "$bake" dat put "$work/readonly.dat" 0x0E000001 /dev/null
expect "compact of a read-only archive" 1 "^error: IO error: .*Permission denied$" \
  "${as_reader[@]}" "$bake" dat compact "$work/readonly.dat"
check "read-only: bytes unchanged" "[ \"\$(sum '$work/readonly.dat')\" = '$before' ]"

# Two editors: the first holds the archive while it reads its input from a
# FIFO this script keeps open; the second is refused, and the first then commits.
cp "$work/world/client_portal.dat" "$work/shared.dat"
mkfifo "$work/input.fifo"
exec 3<>"$work/input.fifo"
"$bake" dat put "$work/shared.dat" 0x0E000001 "$work/input.fifo" 2>"$work/first.err" 3>&- &
first=$!
# It opens its input once it holds the archive; another editor polling for
# the lock could take it first.
for _ in $(seq 1 200); do
  [ "$(readlink "/proc/$first/fd/"* 2>/dev/null | grep -c 'input\.fifo$')" = 1 ] && break
  sleep 0.05
done
before=$(sum "$work/shared.dat")
for cmd in "put $work/shared.dat 0x0E000002 $work/new.bin" "rm $work/shared.dat 0x03000200" "compact $work/shared.dat"; do
  # shellcheck disable=SC2086
  expect "second editor: ${cmd%% *}" 1 "^error: $work/shared.dat is being changed by another process$" "$bake" dat $cmd
done
expect "a reader beside the editor" 0 "" "$bake" dat ls "$work/shared.dat"
check "second editors: bytes unchanged" "[ \"\$(sum '$work/shared.dat')\" = '$before' ]"
cat "$work/new.bin" >&3
exec 3>&-
wait "$first"
check "first editor commits once its input ends" "[ $? = 0 ] && grep -q '^put 1 file' '$work/first.err'"
check "first editor's file is there" "same_get '$work/shared.dat' 0x0E000001 '$work/new.bin'"
clean "two editors" "$work/shared.dat"

# dat put --json: every record of the sample world put back from its document
# gives the bytes and the entry it had (the type from the archive: a cell id
# is a landblock record in the cell archive only).
cp -r "$work/world" "$work/json"
jportal=$work/json/client_portal.dat jcell=$work/json/client_cell_1.dat
records=0
for archive in "$jportal" "$jcell"; do
  "$bake" dat ls "$archive" >"$work/ls.json-before"
  for type in region setup motion-table animation physics-script cell-landblock landblock-info; do
    for id in $("$bake" dat ls "$archive" --type "$type" | cut -d' ' -f1); do
      records=$((records + 1))
      "$bake" dat get "$archive" "$id" >"$work/stored.bin"
      "$bake" dat show "$archive" "$id" | "$bake" dat put "$archive" "$id" --json - 2>"$work/put.err"
      check "put --json $type $id: replaced, same bytes" \
        "[ $? = 0 ] && grep -q '(0 new, 1 replaced)' '$work/put.err' && same_get '$archive' $id '$work/stored.bin'"
    done
  done
  check "put --json of $(basename "$archive"): the listing as it was (sizes, compression)" \
    "\"$bake\" dat ls '$archive' | cmp -s - '$work/ls.json-before'"
  clean "put --json of every record" "$archive"
done
check "put --json: records of both archives" "[ $records -gt 40 ]"

# An edited sound id gives the bytes of the binary patch above; a replaced
# entry keeps its compression and fields, a new one takes the options.
"$bake" dat put "$jportal" 0x03000200 <("$bake" dat get "$jportal" 0x03000200) --compressed --flags 0x300 \
  --timestamp 7 --file-version 9 2>/dev/null
"$bake" dat show "$jportal" 0x03000200 | sed 's/"sound_id": "0x0A000001"/"sound_id": "0x0A00002A"/' >"$work/anim-edit.json"
expect "put --json of an edit" 0 '^put 1 file into .*client_portal.dat \(0 new, 1 replaced\): ' \
  "$bake" dat put "$jportal" 0x03000200 --json "$work/anim-edit.json"
check "put --json: the edit's bytes" "same_get '$jportal' 0x03000200 '$work/anim.bin'"
check "put --json: compression and fields kept" "[ \"\$(entry_fields '$jportal' 0x03000200)\" = '769 7 9' ]"
"$bake" dat show "$jportal" 0x33000301 >"$work/script.json"
"$bake" dat get "$jportal" 0x33000301 >"$work/script.bin"
"$bake" dat rm "$jportal" 0x33000301 2>/dev/null
expect "put --json of a new id" 0 '\(1 new, 0 replaced\)' \
  "$bake" dat put "$jportal" 0x33000301 --json "$work/script.json" --compressed --timestamp 5
check "put --json new: bytes, options" \
  "same_get '$jportal' 0x33000301 '$work/script.bin' && [ \"\$(entry_fields '$jportal' 0x33000301)\" = '1 5 0' ]"
clean "put --json edits" "$jportal"

# Documents that are not the record the archive holds there: one error line,
# the archive unchanged. (name|id|archive|document|stderr pattern)
sed 's/"hook_type": 1,/"hook_type": "one",/' "$work/anim-edit.json" >"$work/bad-type.json"
"$bake" dat show "$jcell" 0xA9B4FFFE >"$work/info.json"
printf '{"id": "0x03000200",' >"$work/cut.json"
while IFS='|' read -r name id archive document pattern; do
  archive=$work/json/$archive
  before=$(sum "$archive")
  expect "put --json: $name" 1 "$pattern" "$bake" dat put "$archive" "$id" --json "$document"
  check "put --json: $name: archive unchanged" "[ \"\$(sum '$archive')\" = '$before' ]"
done <<CASES
a value of the wrong type|0x03000200|client_portal.dat|$work/bad-type.json|^error: $work/bad-type.json: /frames/[0-9]+/hooks/[0-9]+/hook_type: expected an unsigned 32-bit integer\$
a document of another id|0x03000201|client_portal.dat|$work/anim-edit.json|^error: $work/anim-edit.json: /id: expected 0x03000201, the file id it is put as\$
a landblock-info as a cell-landblock|0xA9B4FFFF|client_cell_1.dat|$work/info.json|^error: $work/info.json: /[a-z_]+: (unknown member|missing member)
an id that is no record|0x0E000001|client_portal.dat|$work/anim-edit.json|^error: no record type for file id 0x0E000001 in $work/json/client_portal.dat: only records are written as JSON\$
a landblock id in the portal archive|0xA9B4FFFE|client_portal.dat|$work/info.json|^error: no record type for file id 0xA9B4FFFE in
JSON cut short|0x03000200|client_portal.dat|$work/cut.json|^error: $work/cut.json: document: invalid JSON: 
a missing document|0x03000200|client_portal.dat|$work/nowhere.json|^error: IO error: read $work/nowhere.json: No such file or directory\$
CASES
before=$(sum "$jportal")
expect "put --json - of no JSON" 1 "^error: standard input: document: invalid JSON: " \
  "$bake" dat put "$jportal" 0x03000200 --json - </dev/null
check "put --json -: archive unchanged" "[ \"\$(sum '$jportal')\" = '$before' ]"
expect "put --json with FILE" 2 "excludes" "$bake" dat put "$jportal" 0x03000200 "$work/anim.bin" --json "$work/anim-edit.json"
expect "put --json with --from" 2 "excludes" "$bake" dat put "$jportal" --from "$work/batch.list" --json "$work/anim-edit.json"
expect "put --json without ID" 2 "ID with --json" "$bake" dat put "$jportal" --json "$work/anim-edit.json"

# dat edit with scripted editors, in a temporary directory of the test's own
# ($TMPDIR), which must be empty after every run.
mkdir -p "$work/tmp" "$work/editors"
cp -r "$work/world" "$work/edit"
eportal=$work/edit/client_portal.dat
edit() { env -u VISUAL TMPDIR="$work/tmp" "$@"; }
tmp_empty() { [ -z "$(ls -A "$work/tmp")" ]; }
cat >"$work/editors/sound.sh" <<SCRIPT
#!/bin/sh
# The sound edit; notes the directory's mode and leaves a backup file beside it.
stat -c %a "\$(dirname "\$1")" >"$work/editors/mode"
cp "\$1" "\$1~"
sed -i 's/"sound_id": "0x0A000001"/"sound_id": "0x0A00002A"/' "\$1"
SCRIPT
cat >"$work/editors/broken-first.sh" <<SCRIPT
#!/bin/sh
# A document cut short the first time, the sound edit the next.
if [ ! -e "$work/editors/first.json" ]; then cp "\$1" "$work/editors/first.json"; printf '{"id": ' >"\$1"; exit 0; fi
sed 's/"sound_id": "0x0A000001"/"sound_id": "0x0A00002A"/' "$work/editors/first.json" >"\$1"
SCRIPT
printf '#!/bin/sh\ntouch "%s"\n' "$work/editors/started" >"$work/editors/marker.sh"
printf '#!/bin/sh\nsed -i "s/^  *//" "$1"\n' >"$work/editors/unindent.sh"
chmod +x "$work/editors/"*.sh
"$bake" dat put "$eportal" 0x03000200 <("$bake" dat get "$eportal" 0x03000200) --compressed --flags 0x300 \
  --timestamp 7 --file-version 9 2>/dev/null
before=$(sum "$eportal")
expect "edit: unchanged" 0 "^0x03000200 in $eportal is unchanged: nothing was written\$" \
  edit EDITOR=true "$bake" dat edit "$eportal" 0x03000200
expect "edit: layout only" 0 "is unchanged: nothing was written\$" \
  edit EDITOR="$work/editors/unindent.sh" "$bake" dat edit "$eportal" 0x03000200
check "edit: nothing written, no temporary left" "[ \"\$(sum '$eportal')\" = '$before' ] && tmp_empty"
expect "edit: a failing editor" 1 "^error: the editor \`false\` exited with status 1: nothing was written\$" \
  edit EDITOR=false "$bake" dat edit "$eportal" 0x03000200
# A broken document: its error, the question, and with the answer n (or none)
# the editor is not started again and nothing is written.
for answer in n no '' ; do
  rm -f "$work/editors/first.json"
  edit EDITOR="$work/editors/broken-first.sh" "$bake" dat edit "$eportal" 0x03000200 \
    < <(if [ -n "$answer" ]; then echo "$answer"; fi) >"$work/out" 2>"$work/err"
  check "edit: broken, answer '$answer': exit 1, the error, the question, given up" \
    "[ $? = 1 ] && [ ! -s '$work/out' ] && head -1 '$work/err' | grep -q '^error: document: invalid JSON: ' &&
     sed -n 2p '$work/err' | grep -qx 'Edit again? \[Y/n\] $answer' &&
     sed -n '3,\$p' '$work/err' | grep -qx 'gave up: 0x03000200 in $eportal was not written'"
done
check "edit: given up: nothing written, no temporary left" "[ \"\$(sum '$eportal')\" = '$before' ] && tmp_empty"
"$bake" dat put "$eportal" 0x0E000001 "$work/short.bin" 2>/dev/null
"$bake" dat put "$eportal" 0x0300DEAD "$work/short.bin" 2>/dev/null
while read -r id pattern; do
  expect "edit of $id: an error before the editor" 1 "$pattern" \
    edit EDITOR="$work/editors/marker.sh" "$bake" dat edit "$eportal" "$id"
done <<CASES
0x03000999 ^error: File ID 03000999 not found in $eportal\$
0x0E000001 ^error: no record type for file id 0x0E000001 in $eportal: only records are written as JSON\$
0x8000FFFF ^error: File ID 8000FFFF not found in $eportal\$
0x0300DEAD ^error: Binary read error: 
CASES
check "edit: no editor started for a bad id" "[ ! -e '$work/editors/started' ] && tmp_empty"
rm -f "$work/editors/first.json"
expect "edit: broken, then fixed" 0 '^put 1 file into .* \(0 new, 1 replaced\)' \
  edit EDITOR="$work/editors/broken-first.sh" "$bake" dat edit "$eportal" 0x03000200 < <(echo)
check "edit: fixed: the edit's bytes, fields kept" \
  "same_get '$eportal' 0x03000200 '$work/anim.bin' && [ \"\$(entry_fields '$eportal' 0x03000200)\" = '769 7 9' ]"
"$bake" dat put "$eportal" 0x03000200 <("$bake" dat get "$work/world/client_portal.dat" 0x03000200) 2>/dev/null
expect "edit: \$VISUAL before \$EDITOR" 0 '\(0 new, 1 replaced\)' \
  edit VISUAL="$work/editors/sound.sh" EDITOR=false "$bake" dat edit "$eportal" 0x03000200
check "edit: in a directory of mode 700, removed with the editor's backup" \
  "[ \"\$(cat '$work/editors/mode')\" = 700 ] && tmp_empty && same_get '$eportal' 0x03000200 '$work/anim.bin'"
"$bake" dat put "$eportal" 0x03000200 <("$bake" dat get "$work/world/client_portal.dat" 0x03000200) 2>/dev/null
expect "edit: an \$EDITOR with arguments, through the shell" 0 '\(0 new, 1 replaced\)' \
  edit EDITOR='sed -i -e "s/\"sound_id\": \"0x0A000001\"/\"sound_id\": \"0x0A00002A\"/"' \
  "$bake" dat edit "$eportal" 0x03000200
check "edit: the shell's edit" "same_get '$eportal' 0x03000200 '$work/anim.bin' && tmp_empty"
# SIGTERM while the editor runs: once the editor is gone, the temporary
# directory is removed and nothing is written (exit 128 + 15).
printf '#!/bin/sh\nsed -i "s/0x0A00002A/0x0A000001/" "$1"; touch "%s"\nwhile [ ! -e "%s" ]; do sleep 0.05; done\n' \
  "$work/editors/waiting" "$work/editors/go" >"$work/editors/wait.sh"
chmod +x "$work/editors/wait.sh"
before=$(sum "$eportal")
# (env, not the edit function: a subshell would take the signal in its place)
env -u VISUAL TMPDIR="$work/tmp" EDITOR="$work/editors/wait.sh" "$bake" dat edit "$eportal" 0x03000200 2>"$work/err" &
editing=$!
for _ in $(seq 1 200); do [ -e "$work/editors/waiting" ] && break; sleep 0.05; done
kill -TERM "$editing"
sleep 0.2
touch "$work/editors/go"
wait "$editing"
check "edit: SIGTERM: exit 143, an error line, nothing written, no temporary left" \
  "[ $? = 143 ] && grep -qx 'error: interrupted (signal 15): nothing was written' '$work/err' &&
   [ \"\$(sum '$eportal')\" = '$before' ] && tmp_empty"
clean "edit" "$eportal"

# Usage errors.
expect "put without FILE" 2 "ID and FILE, or --from LIST" "$bake" dat put "$portal" 0x0E000001
expect "put with ID and --from" 2 "excludes" "$bake" dat put "$portal" 0x0E000001 "$work/new.bin" --from "$work/batch.list"
expect "put with a hex id without 0x" 2 "not a 32-bit file id: A9B4" "$bake" dat put "$portal" A9B4 "$work/new.bin"
expect "put --flags of a word" 2 "not a 32-bit number: many" "$bake" dat put "$portal" 1 "$work/new.bin" --flags many
expect "put --timestamp past 32 bits" 2 "not a 32-bit number: 0x100000000" \
  "$bake" dat put "$portal" 1 "$work/new.bin" --timestamp 0x100000000
expect "rm without ids" 2 "ID is required" "$bake" dat rm "$portal"
expect "rm of a bad id" 2 "not a 32-bit file id: x1" "$bake" dat rm "$portal" 1 x1
expect "compact without an archive" 2 "ARCHIVE is required" "$bake" dat compact
expect "check with an unknown option" 2 "" "$bake" dat check "$portal" --fast
clean "after the usage errors" "$portal"

[ "$fails" = 0 ] && echo "dat edit commands: all checks passed"
exit $((fails != 0))
