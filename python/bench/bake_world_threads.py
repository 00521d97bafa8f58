"""Bakes every landblock of a world through one BakeSession from 1, 2, ... Python
threads and prints the wall time of each run (best of --repeat).

    PYTHONPATH=build/python python3 python/bench/bake_world_threads.py DAT_DIR [--threads 1 2] [--repeat 3]
"""

from __future__ import annotations

import argparse
import statistics
import time
from concurrent.futures import ThreadPoolExecutor

import ravelin


def bake_all(session: ravelin.BakeSession, landblocks: list[int], threads: int) -> int:
    # One long-running worker per thread, each over its own stride of the world:
    # a bake takes tens of microseconds, so a future per landblock would cost
    # more than the bake itself.
    def bake_share(first: int) -> int:
        return sum(len(session.bake(landblock).to_jsonl()) for landblock in landblocks[first::threads])

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
        for threads in args.threads:
            times, cpu = [], []
            for _ in range(args.repeat):
                t0, c0 = time.perf_counter(), time.process_time()
                assert bake_all(session, landblocks, threads) == bytes_baked
                times.append(time.perf_counter() - t0)
                cpu.append(time.process_time() - c0)
            # CPU time above wall time means the threads really ran at once.
            print(f"{threads} thread(s): median {statistics.median(times):.2f} s, best {min(times):.2f} s "
                  f"({len(landblocks) / min(times):,.0f} landblocks/s), "
                  f"CPU/wall {statistics.median(c / t for c, t in zip(cpu, times)):.2f}")
        print(f"{bytes_baked:,} manifest bytes per run")


if __name__ == "__main__":
    main()
