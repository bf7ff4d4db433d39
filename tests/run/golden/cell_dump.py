#!/usr/bin/env python3
"""Every cell of a result workbook that differs from the workbook the run started from, one line per cell:
worksheet number, A1 address, value (numbers as the shortest repr of the stored double, so that dumps agree exactly
when the doubles are bit-identical; text with its sub/superscript runs). Read with the standard library,
independently of the program's own xlsx reader.
usage: cell_dump.py BEFORE.xlsx AFTER.xlsx [EXPECTED [IGNORE]]: without EXPECTED print the lines; with it compare,
leaving out lines matching the regex IGNORE"""
import re, sys, zipfile
import xml.etree.ElementTree as ET

M = "{http://schemas.openxmlformats.org/spreadsheetml/2006/main}"
R = "{http://schemas.openxmlformats.org/officeDocument/2006/relationships}"


def runs_text(node):
    """Plain text, or text|run^vertAlign... when the text has runs."""
    runs = node.findall(M + "r")
    if not runs:
        return "".join(t.text or "" for t in node.findall(M + "t"))
    aligns = [run.find(f"{M}rPr/{M}vertAlign") for run in runs]
    return "|".join((run.find(M + "t").text or "") + ("^" + a.get("val") if a is not None else "")
                    for run, a in zip(runs, aligns))


def cells(path):
    with zipfile.ZipFile(path) as z:
        names = z.namelist()
        shared = [runs_text(si) for si in ET.fromstring(z.read("xl/sharedStrings.xml")).iter(M + "si")] \
            if "xl/sharedStrings.xml" in names else []
        rels = {r.get("Id"): r.get("Target") for r in ET.fromstring(z.read("xl/_rels/workbook.xml.rels"))}
        out = {}
        for number, sheet in enumerate(ET.fromstring(z.read("xl/workbook.xml")).iter(M + "sheet"), start=1):
            target = rels[sheet.get(R + "id")]
            part = target.lstrip("/") if target.startswith("/") else "xl/" + target
            for c in ET.fromstring(z.read(part)).iter(M + "c"):
                kind, v = c.get("t", "n"), c.find(M + "v")
                if kind == "inlineStr":
                    out[(number, c.get("r"))] = "s:" + runs_text(c.find(M + "is"))
                elif v is not None:
                    out[(number, c.get("r"))] = ("s:" + shared[int(v.text)] if kind == "s" else
                                                 kind + ":" + v.text if kind in ("str", "e", "b") else
                                                 "n:" + repr(float(v.text)))
        return out


def key(cell):
    col, row = re.match(r"([A-Z]+)(\d+)", cell[1]).groups()
    return (cell[0], int(row), len(col), col)


if __name__ == "__main__":
    a, b = cells(sys.argv[1]), cells(sys.argv[2])
    lines = ["%d %s %s" % (k[0], k[1], b.get(k, "(removed)")) for k in sorted(set(a) | set(b), key=key)
             if a.get(k) != b.get(k)]
    if len(sys.argv) == 3:
        sys.exit(print("\n".join(lines)))
    lines = [line for line in lines if len(sys.argv) < 5 or not re.match(sys.argv[4], line)]
    with open(sys.argv[3], encoding="utf-8") as f:
        expected = [line.rstrip("\n") for line in f if line.strip()]
    for line in sorted(set(expected) - set(lines))[:20]:
        print("expected:", line)
    for line in sorted(set(lines) - set(expected))[:20]:
        print("got:     ", line)
    sys.exit(lines != expected)
