#!/usr/bin/env python3
"""Peak memory of vontralek.speciate on a large frame (the example waters
cycled, 2,000,000 rows by default): the peak resident set of the process
against the size of the result frame. Target: the peak at most the result
frame plus 500 MB (the input frame, about 170 MB for 2,000,000 rows, and the
interpreter included).

usage: PYTHONPATH=build/python python3 bench/bench_python_memory.py [rows] [threads]
"""
import os
import resource
import sys
import time

import numpy as np
import pandas as pd

import vontralek


def peak_mb():
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss / 1024.0  # kB on Linux


def main():
    rows = int(sys.argv[1]) if len(sys.argv) > 1 else 2000000
    threads = int(sys.argv[2]) if len(sys.argv) > 2 else None
    waters = pd.read_csv(os.path.join(os.path.dirname(__file__), "..", "data", "example-waters.csv"),
                         float_precision="round_trip")
    # Each column the example waters' cycled (np.resize), built in place: no copies that would raise the peak.
    columns = {"sample": "id", "pH": "pH", "alkalinity_meq_L": "alk_meq_L"}
    columns.update({ion + "_mmol_L": ion for ion in ["Na", "K", "Ca", "Mg", "Cl", "NO3", "SO4"]})
    frame = pd.DataFrame({name: np.resize(waters[source].to_numpy(), rows) for name, source in columns.items()})
    before = peak_mb()
    start = time.perf_counter()
    result = vontralek.speciate(frame, threads=threads)
    seconds = time.perf_counter() - start
    result_mb = result.memory_usage(index=True, deep=True).sum() / 2**20
    input_mb = frame.memory_usage(index=True, deep=True).sum() / 2**20
    peak = peak_mb()
    print(f"{rows} rows in {seconds:.1f} s: peak RSS {peak:.0f} MB (before the call {before:.0f} MB); "
          f"input frame {input_mb:.0f} MB, result frame {result_mb:.0f} MB; "
          f"peak - result = {peak - result_mb:.0f} MB (target at most 500)")
    return 0 if peak - result_mb <= 500 else 1


if __name__ == "__main__":
    sys.exit(main())
