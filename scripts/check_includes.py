#!/usr/bin/env python3
"""Checks that every #include "folder/..." in src/ follows the layers' allowed
directions, and that the chemistry and the model include nothing that reaches
files, processes or the screen. Exit status 1 lists each wrong include.

usage: check_includes.py [SOURCE_ROOT]
"""
import pathlib
import re
import sys

# folder -> folders its sources may include (besides its own).
ALLOWED = {
    "common": set(),
    "model": {"common", "labdata"},
    "speciation": {"model", "common"},
    "workbook": {"common"},
    # Laboratory units (with the shared word matching) and CSV tables stand on common alone: the run and the table mode use them.
    "labdata": {"common"},
    "table": {"common"},
    "layout": {"model", "workbook", "labdata", "common"},
    "report": {"layout", "model", "workbook", "common"},
    "run": {"speciation", "layout", "report", "model", "workbook", "labdata", "table", "diagram", "common"},
    # The water diagrams draw from plain samples in meq/L: no files, no run.
    "diagram": {"common"},
    # The programs call the run; model and common come with its interface.
    "cli": {"run", "model", "common", "table", "labdata", "diagram"},
    "ui": {"run", "model", "common", "diagram"},
}
# Layers that know no files and no screen.
NO_SYSTEM = {"common", "model", "speciation"}
FORBIDDEN_SYSTEM = re.compile(r"^(filesystem|fstream|iostream|thread|unistd\.h|Q\w*|zip\.h|pugixml\.hpp)$")
INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).resolve().parent.parent)
    src = root / "src"
    problems = []
    folders = sorted(p.name for p in src.iterdir() if p.is_dir())
    for folder in folders:
        if folder not in ALLOWED:
            problems.append(f"src/{folder}: a folder with no place in the layers (add it to {__file__})")
            continue
        for path in sorted((src / folder).rglob("*")):
            if path.suffix not in (".h", ".cpp"):
                continue
            for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), start=1):
                match = INCLUDE.match(line)
                if not match:
                    continue
                kind, name = match.groups()
                where = f"{path.relative_to(root)}:{number}"
                if kind == '"':
                    target = name.split("/")[0] if "/" in name else folder
                    if target != folder and target not in ALLOWED[folder]:
                        problems.append(f"{where}: {folder} may not include {name}")
                elif folder in NO_SYSTEM and FORBIDDEN_SYSTEM.match(name):
                    problems.append(f"{where}: {folder} knows no files and no screen, yet includes <{name}>")
    for problem in problems:
        print(problem)
    print(f"{len(problems)} wrong include(s) in {len(folders)} folders" if problems else "include directions hold")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
