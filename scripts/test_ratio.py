#!/usr/bin/env python3
"""Non-blank lines of tests against non-blank lines of code: C++, Python, shell
and CMake files under src, tools and python (code) and under tests (tests;
stored result dumps and other data files are not counted).

usage: test_ratio.py [SOURCE_ROOT]
"""
import pathlib
import sys

SUFFIXES = {".cpp", ".h", ".py", ".sh", ".cmake"}


def lines(folder):
    total, per = 0, {}
    if not folder.is_dir():
        return total, per
    for path in folder.rglob("*"):
        if path.is_file() and (path.suffix in SUFFIXES or path.name == "CMakeLists.txt"):
            n = sum(1 for line in path.read_text(encoding="utf-8", errors="replace").splitlines() if line.strip())
            total += n
            part = path.relative_to(folder).parts[0]
            per[part] = per.get(part, 0) + n
    return total, per


root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).resolve().parent.parent)
code = sum(lines(root / d)[0] for d in ("src", "tools", "python"))
tests, per = lines(root / "tests")
print(f"code {code} lines, tests {tests} lines: ratio {tests / code:.3f} (asked: 0.25 to 0.35)")
for part, n in sorted(per.items()):
    print(f"  tests/{part}: {n}")
