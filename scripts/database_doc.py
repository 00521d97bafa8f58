#!/usr/bin/env python3
"""Runs every query of docs/database.md on the sample world and compares its
output with the text block that follows it in the document.

    database_doc.py RAVELIN_BAKE [--doc docs/database.md] [--work DIR] [--update]

A query is a ```sh block (run with bash in the directory holding world/ and
world.sqlite) or a ```python block (run with this interpreter there) followed by
a ```text block. --update writes the outputs into the document instead, for
when the sample world changes.
"""
import argparse
import difflib
import os
import re
import shutil
import subprocess
import sys

here = os.path.dirname(os.path.abspath(__file__))
parser = argparse.ArgumentParser()
parser.add_argument("bake")
parser.add_argument("--doc", default=os.path.join(here, "..", "docs", "database.md"))
parser.add_argument("--work", default=None)
parser.add_argument("--update", action="store_true")
args = parser.parse_args()

work = args.work or os.path.join(os.getcwd(), "database_doc")
shutil.rmtree(work, ignore_errors=True)
os.makedirs(work)
for command in (["sample-world", "world"], ["bake-all", "--dat-dir", "world", "--db", "world.sqlite"]):
    subprocess.run([os.path.abspath(args.bake), *command], cwd=work, check=True, capture_output=True)

# Fenced blocks: (language, first content line, end line) with 0-based indexes.
lines = open(args.doc, encoding="utf-8").read().split("\n")
blocks, i = [], 0
while i < len(lines):
    m = re.fullmatch(r"```(\w*)", lines[i])
    if m:
        end = lines.index("```", i + 1)
        blocks.append((m.group(1), i + 1, end))
        i = end
    i += 1

pairs = [(q, t) for q, t in zip(blocks, blocks[1:])
         if q[0] in ("sh", "python") and t[0] == "text" and all(not l.strip() for l in lines[q[2] + 1:t[1] - 1])]
if len(pairs) < 6:
    sys.exit(f"{args.doc}: only {len(pairs)} queries with outputs")

failed = 0
for (lang, first, end), (_, out_first, out_end) in reversed(pairs):  # back to front keeps indexes valid
    code = "\n".join(lines[first:end]) + "\n"
    command = ["bash", "-c", code] if lang == "sh" else [sys.executable, "-c", code]
    run = subprocess.run(command, cwd=work, capture_output=True, text=True)
    if run.returncode != 0 or run.stderr:
        print(f"{args.doc}:{first}: the query failed:\n{run.stderr}", file=sys.stderr)
        failed += 1
        continue
    got = run.stdout.rstrip("\n").split("\n")
    # sqlite3's column mode pads the last column; the page has no trailing blanks.
    got = [l.rstrip() for l in got]
    want = lines[out_first:out_end]
    if got == want:
        continue
    if args.update:
        lines[out_first:out_end] = got
        continue
    failed += 1
    print(f"{args.doc}:{out_first}: the output differs from the page:", file=sys.stderr)
    sys.stderr.writelines(difflib.unified_diff([l + "\n" for l in want], [l + "\n" for l in got],
                                               "docs/database.md", "the query now"))

if args.update:
    open(args.doc, "w", encoding="utf-8").write("\n".join(lines))
    print(f"{args.doc}: {len(pairs)} outputs written")
elif failed:
    sys.exit(f"{failed} of {len(pairs)} queries differ; after a change of the sample world, run "
             f"scripts/database_doc.py RAVELIN_BAKE --update")
else:
    print(f"database doc: {len(pairs)} queries give the page's outputs")
