#!/usr/bin/env python3
"""The Python call against the command line on the same 100,000 rows (the
example waters cycled): vontralek.speciate on a DataFrame versus vontralek-cli
on the CSV file of that frame, end to end, both on all cores. Target: the
Python call within 1.3 times the command line's time.

usage: PYTHONPATH=build/python python3 bench/bench_table_python.py build/bin/vontralek-cli [rows]
"""
import os
import subprocess
import sys
import tempfile
import time

import pandas as pd

import vontralek


def main():
    cli = sys.argv[1]
    rows = int(sys.argv[2]) if len(sys.argv) > 2 else 100000
    waters = pd.read_csv(os.path.join(os.path.dirname(__file__), "..", "data", "example-waters.csv"),
                         float_precision="round_trip")
    frame = pd.DataFrame({"sample": waters["id"], "pH": waters["pH"], "alkalinity_meq_L": waters["alk_meq_L"]})
    for ion in ["Na", "K", "Ca", "Mg", "Cl", "NO3", "SO4"]:
        frame[ion + "_mmol_L"] = waters[ion]
    frame = pd.concat([frame] * (rows // len(frame) + 1), ignore_index=True).iloc[:rows]
    with tempfile.TemporaryDirectory() as folder:
        source, target = os.path.join(folder, "in.csv"), os.path.join(folder, "out.csv")
        frame.to_csv(source, index=False, float_format="%.17g")
        cli_times, python_times = [], []
        for _ in range(3):
            start = time.perf_counter()
            subprocess.run([cli, source, "-o", target], check=True, capture_output=True)
            cli_times.append(time.perf_counter() - start)
            start = time.perf_counter()
            vontralek.speciate(frame)
            python_times.append(time.perf_counter() - start)
    c, p = min(cli_times), min(python_times)
    print(f"{rows} rows: vontralek-cli {c:.3f} s, vontralek.speciate {p:.3f} s, ratio {p / c:.2f} (best of 3)")


if __name__ == "__main__":
    main()
