"""Bakes every landblock of a world through one BakeSession from 1, 2, ... Python
threads and prints the wall time of each run (best of --repeat), once with a
bake() call per landblock and once with bake_many() over batches.

    PYTHONPATH=build/python python3 python/bench/bake_world_threads.py DAT_DIR [--threads 1 2] [--repeat 3]
"""

from __future__ import annotations

import argparse
import statistics
import time
from concurrent.futures import ThreadPoolExecutor

import ravelin


BATCH = 256


def bake_all(session: ravelin.BakeSession, landblocks: list[int], threads: int, batched: bool = False) -> int:
    # One long-running worker per thread, each over its own stride of the world:
    # a bake takes tens of microseconds, so a future per landblock would cost
    # more than the bake itself.
    def bake_share(first: int) -> int:
        share = landblocks[first::threads]
        if not batched:
            return sum(len(session.bake(landblock).to_jsonl()) for landblock in share)
        return sum(len(bake.to_jsonl()) for start in range(0, len(share), BATCH)
                   for bake in session.bake_many(share[start:start + BATCH]))

    with ThreadPoolExecutor(threads) as pool:
        return sum(pool.map(bake_share, range(threads)))


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("dat_dir")
    parser.add_argument("--threads", type=int, nargs="+", default=[1, 2])
    parser.add_argument("--repeat", type=int, default=3)
    args = parser.parse_args()

    started = time.perf_counter()
    with ravelin.BakeSession(args.dat_dir) as session:
        landblocks = session.landblocks()
        print(f"session open + landblocks(): {time.perf_counter() - started:.2f} s, {len(landblocks)} landblocks")
        bytes_baked = bake_all(session, landblocks, 1)  # warm the shared record caches
        for batched, threads in [(b, t) for b in (False, True) for t in args.threads]:
            times, cpu = [], []
            for _ in range(args.repeat):
                t0, c0 = time.perf_counter(), time.process_time()
                assert bake_all(session, landblocks, threads, batched) == bytes_baked
                times.append(time.perf_counter() - t0)
                cpu.append(time.process_time() - c0)
            # CPU time above wall time means the threads really ran at once.
            how = f"bake_many({BATCH})" if batched else "bake()"
            print(f"{how:>14}, {threads} thread(s): median {statistics.median(times):.2f} s, best {min(times):.2f} s "
                  f"({len(landblocks) / min(times):,.0f} landblocks/s), "
                  f"CPU/wall {statistics.median(c / t for c, t in zip(cpu, times)):.2f}")
        print(f"{bytes_baked:,} manifest bytes per run")


if __name__ == "__main__":
    main()
