#!/usr/bin/env python3
"""Puts one-line faults into the code, one at a time, and checks that the tests catch each.

Usage: python3 scripts/fault_campaign.py [--build DIR] [--list FILE] [--only N,...]

Each line of the fault list (default tests/faults.txt) is
    file | exact text | replacement | tests (a ctest -R regex; empty: the whole suite but the fuzzer and the LibreOffice round trips) | what it breaks
The exact text must occur once in the file. For each fault the script edits the file, builds (ccache makes this
incremental), runs the tests, and restores the file, whatever happens. A fault is caught when the build fails or a
test fails. Exit status 1 when any fault was missed or a line no longer matches its file.
"""
import argparse
import pathlib
import subprocess
import sys
import time

ROOT = pathlib.Path(__file__).resolve().parent.parent


def faults(path):
    for number, line in enumerate(path.read_text().splitlines(), 1):
        if not line.strip() or line.startswith("#"):
            continue
        parts = [p.strip() for p in line.split(" | ")]
        if len(parts) != 5:
            sys.exit(f"{path}:{number}: expected five fields separated by ' | '")
        yield number, parts


def run(command, cwd):
    return subprocess.run(command, cwd=cwd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL).returncode


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=str(ROOT / "build"))
    parser.add_argument("--list", default=str(ROOT / "tests" / "faults.txt"))
    parser.add_argument("--only", default="", help="comma-separated line numbers of the list")
    args = parser.parse_args()
    only = {int(n) for n in args.only.split(",") if n}
    build = pathlib.Path(args.build)
    missed, stale, caught = [], [], 0
    for number, (file, old, new, tests, what) in faults(pathlib.Path(args.list)):
        if only and number not in only:
            continue
        source = ROOT / file
        text = source.read_text()
        if text.count(old) != 1:
            stale.append(f"line {number}: {file} holds '{old}' {text.count(old)} times")
            continue
        start = time.time()
        try:
            source.write_text(text.replace(old, new))
            failed = run(["cmake", "--build", str(build), "-j2"], ROOT) != 0
            if not failed:
                selection = ["-R", tests] if tests else ["-E", "workbook_fuzz|Interop"]
                failed = run(["ctest", "-j2", "--timeout", "600", *selection], build) != 0
        finally:
            source.write_text(text)
        verdict = "caught" if failed else "MISSED"
        print(f"{verdict:7} line {number:3} {file}: {what} ({time.time() - start:.0f} s)", flush=True)
        if failed:
            caught += 1
        else:
            missed.append(number)
    run(["cmake", "--build", str(build), "-j2"], ROOT)
    print(f"{caught} caught, {len(missed)} missed, {len(stale)} no longer match")
    for line in stale:
        print("  " + line)
    return 1 if missed or stale else 0


if __name__ == "__main__":
    sys.exit(main())
