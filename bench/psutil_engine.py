#!/usr/bin/python3
"""Reference cost of one processor + memory sample with psutil (cpu_percent(percpu=True) + virtual_memory()).

Run with the system interpreter, which has python3-psutil: /usr/bin/python3 bench/psutil_engine.py
Prints the medians (wall and CPU time) of several timing rounds in microseconds per sample pair.
"""
import statistics
import sys
import time

import psutil


def pair():
    psutil.cpu_percent(percpu=True)
    psutil.virtual_memory()


def pair_with_total():
    # Our sampler also gives the whole machine's figure from the same read.
    psutil.cpu_percent(percpu=True)
    psutil.cpu_percent()
    psutil.virtual_memory()


def round_us(fn, n):
    """Wall and CPU microseconds per call (CPU time is the fair figure on a busy machine)."""
    wall, cpu = time.perf_counter(), time.process_time()
    for _ in range(n):
        fn()
    return (time.perf_counter() - wall) / n * 1e6, (time.process_time() - cpu) / n * 1e6


def main():
    n = int(sys.argv[1]) if len(sys.argv) > 1 else 2000
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 7
    for name, fn in (("cpu_percent(percpu=True) + virtual_memory()", pair),
                     ("cpu_percent(percpu=True) + cpu_percent() + virtual_memory()", pair_with_total)):
        round_us(fn, 200)  # warm up
        times = [round_us(fn, n) for _ in range(rounds)]
        wall = statistics.median(t[0] for t in times)
        cpu = statistics.median(t[1] for t in times)
        print(f"psutil {name}: median {wall:.2f} us wall, {cpu:.2f} us CPU per sample")


if __name__ == "__main__":
    main()
