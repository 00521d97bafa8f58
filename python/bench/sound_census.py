"""Counts the animation sound events of a whole world by sound id, as the worked
example of docs/python.md does, and prints its wall time and peak memory.
--per-landblock-futures runs the naive form instead (a future per landblock,
every family parsed) for comparison.

    PYTHONPATH=build/python python3 python/bench/sound_census.py DAT_DIR [--threads N] [--per-landblock-futures]
"""

from __future__ import annotations

import argparse
import collections
import os
import resource
import time
from concurrent.futures import ThreadPoolExecutor

import ravelin


def count_share(session: ravelin.BakeSession, landblocks: list[int]) -> collections.Counter:
    counts: collections.Counter = collections.Counter()
    for landblock in landblocks:
        counts.update(event["sound_id"] for event in session.bake(landblock).animation_sound)
    return counts


def census(dat_dir: str, threads: int) -> collections.Counter:
    per_sound: collections.Counter = collections.Counter()
    with ravelin.BakeSession(dat_dir) as session, ThreadPoolExecutor(threads) as pool:
        landblocks = session.landblocks()
        shares = [landblocks[i::threads] for i in range(threads)]
        for counts in pool.map(count_share, [session] * threads, shares):
            per_sound.update(counts)
    return per_sound


def naive_census(dat_dir: str, threads: int) -> collections.Counter:
    per_sound: collections.Counter = collections.Counter()
    with ravelin.BakeSession(dat_dir) as session, ThreadPoolExecutor(threads) as pool:
        for bake in pool.map(session.bake, session.landblocks()):
            bake.sky  # every family parsed, as code that reads them all does
            per_sound.update(event["sound_id"] for event in bake.animation_sound)
    return per_sound


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("dat_dir")
    parser.add_argument("--threads", type=int, default=os.cpu_count())
    parser.add_argument("--per-landblock-futures", action="store_true")
    args = parser.parse_args()
    started = time.perf_counter()
    run = naive_census if args.per_landblock_futures else census
    per_sound = run(args.dat_dir, args.threads)
    seconds = time.perf_counter() - started
    peak_mb = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024
    print(f"{sum(per_sound.values()):,} events of {len(per_sound):,} sounds in {seconds:.2f} s "
          f"with {args.threads} thread(s), peak {peak_mb:.0f} MB")


if __name__ == "__main__":
    main()
