#!/usr/bin/env python3
"""End to end against the chemistry: the CPU time a sample costs in the table
mode (one thread) and in a workbook batch, beside the solver's own, with the
ion-association model, all measured in one run and interleaved round by round
so that a busy machine weighs on each alike.

usage: bench_throughput.py [BIN_DIR] [ROUNDS] [TABLE_ROWS] [BATCH_ROWS ...]
       (defaults: build/bin, 3, 100000, 20000 100000)

Per round: the solver (bench_speciation, the alkalinity-pH pair), the table
mode (bench_table, its one-thread run) and each workbook batch (bench_run, its
last repeat). The batch's lines also give the part of its CPU spent deflating
the written rows (on a thread of its own), a cost no writer of a packed
workbook avoids: the ratio of that part to the solver bounds from below what
a batch can reach. Medians over the rounds close the report.
"""
import os
import pathlib
import re
import statistics
import subprocess
import sys


def run(command, env=None):
    result = subprocess.run(command, capture_output=True, text=True, env=env, check=False)
    if result.returncode != 0:
        sys.exit(f"{command[0]} failed ({result.returncode}):\n{result.stdout}\n{result.stderr}")
    return result.stdout


def solver_us(bin_dir):
    """CPU time of a solve, µs: bench_speciation's CPU column is in ns."""
    out = run([str(bin_dir / "bench_speciation"), "--benchmark_filter=AlkalinityPH_IonAssociation$"])
    match = re.search(r"RunBatch/AlkalinityPH_IonAssociation\s+\S+ ns\s+(\S+) ns", out)
    if not match:
        sys.exit("bench_speciation: no AlkalinityPH_IonAssociation line in\n" + out)
    return float(match.group(1)) / 1000.0


def table_us(bin_dir, rows):
    out = run([str(bin_dir / "bench_table"), str(rows), "ion-association"])
    match = re.search(r"threads 1: .*CPU (\S+) us per row", out)
    if not match:
        sys.exit("bench_table: no one-thread line in\n" + out)
    return float(match.group(1))


def batch(bin_dir, rows):
    """CPU time a sample, µs, and the deflating's share of it, µs a sample."""
    env = dict(os.environ, BENCH_MODEL="ion-association")
    out = run([str(bin_dir / "bench_run"), str(rows), "1"], env)
    cpu = re.search(r"CPU (\S+) us per sample", out)
    deflate = re.search(r"deflate (\S+) s", out)
    if not cpu or not deflate:
        sys.exit("bench_run: no CPU or save line in\n" + out)
    return float(cpu.group(1)), 1e6 * float(deflate.group(1)) / rows


def main():
    bin_dir = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else "build/bin")
    rounds = int(sys.argv[2]) if len(sys.argv) > 2 else 3
    table_rows = int(sys.argv[3]) if len(sys.argv) > 3 else 100000
    batch_rows = [int(a) for a in sys.argv[4:]] or [20000, 100000]
    with open("/proc/loadavg", encoding="ascii") as f:
        print("load average before:", " ".join(f.read().split()[:3]))
    solver, table = [], []
    batches = {rows: [] for rows in batch_rows}
    for r in range(1, rounds + 1):
        solver.append(solver_us(bin_dir))
        table.append(table_us(bin_dir, table_rows))
        line = f"round {r}: solver {solver[-1]:.2f} us; table {table[-1]:.2f} us ({table[-1] / solver[-1]:.2f}x)"
        for rows in batch_rows:
            cpu, deflate = batch(bin_dir, rows)
            batches[rows].append((cpu, deflate))
            line += f"; batch {rows} {cpu:.2f} us ({cpu / solver[-1]:.2f}x, deflating {deflate:.2f} us)"
        print(line, flush=True)
    s = statistics.median(solver)
    print(f"median: solver {s:.2f} us a sample; table mode {statistics.median(table) / s:.2f}x", end="")
    for rows, values in batches.items():
        cpu = statistics.median(v[0] for v in values)
        deflate = statistics.median(v[1] for v in values)
        print(f"; batch of {rows} {cpu / s:.2f}x (deflating alone {deflate / s:.2f}x)", end="")
    print()
    with open("/proc/loadavg", encoding="ascii") as f:
        print("load average after:", " ".join(f.read().split()[:3]))


if __name__ == "__main__":
    main()
