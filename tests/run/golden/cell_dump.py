#!/usr/bin/env python3
"""Lists every cell of a result workbook that differs from the workbook the run
started from, one line per cell: worksheet number, A1 address, and the value
(numbers as Python's shortest round-trip repr of the stored double, so that two
dumps agree exactly when the doubles are bit-identical; text with its
sub/superscript runs). Read with the standard library only, independently of
the program's own xlsx reader.

usage: cell_dump.py BEFORE.xlsx AFTER.xlsx            print the changed cells
       cell_dump.py BEFORE.xlsx AFTER.xlsx EXPECTED [IGNORE]
                                     compare with a stored dump, leaving out
                                     the lines that match the regex IGNORE
"""
import re
import sys
import zipfile
import xml.etree.ElementTree as ET

NS = {"m": "http://schemas.openxmlformats.org/spreadsheetml/2006/main",
      "r": "http://schemas.openxmlformats.org/officeDocument/2006/relationships"}
REL = "{http://schemas.openxmlformats.org/package/2006/relationships}"


def runs_text(node):
    """Plain text, or text|run|vertAlign;... when a run is sub/superscript."""
    runs = node.findall("m:r", NS)
    if not runs:
        t = node.find("m:t", NS)
        return "" if t is None else (t.text or "")
    parts = []
    for run in runs:
        align = run.find("m:rPr/m:vertAlign", NS)
        text = run.find("m:t", NS).text or ""
        parts.append(text + ("^" + align.get("val") if align is not None else ""))
    return "|".join(parts)


def cells(path):
    with zipfile.ZipFile(path) as z:
        shared = []
        if "xl/sharedStrings.xml" in z.namelist():
            for si in ET.fromstring(z.read("xl/sharedStrings.xml")).findall("m:si", NS):
                shared.append(runs_text(si))
        book = ET.fromstring(z.read("xl/workbook.xml"))
        rels = {r.get("Id"): r.get("Target") for r in ET.fromstring(z.read("xl/_rels/workbook.xml.rels"))}
        out = {}
        for number, sheet in enumerate(book.findall("m:sheets/m:sheet", NS), start=1):
            target = rels[sheet.get("{%s}id" % NS["r"])]
            part = target.lstrip("/") if target.startswith("/") else "xl/" + target
            for c in ET.fromstring(z.read(part)).iter("{%s}c" % NS["m"]):
                kind, v = c.get("t", "n"), c.find("m:v", NS)
                if kind == "inlineStr":
                    value = "s:" + runs_text(c.find("m:is", NS))
                elif v is None:
                    continue
                elif kind == "s":
                    value = "s:" + shared[int(v.text)]
                elif kind in ("str", "e", "b"):
                    value = kind + ":" + v.text
                else:
                    value = "n:" + repr(float(v.text))
                out[(number, c.get("r"))] = value
        return out


def key(item):
    (sheet, ref) = item
    col, row = re.match(r"([A-Z]+)(\d+)", ref).groups()
    return (sheet, int(row), len(col), col)


def changed(before, after):
    a, b = cells(before), cells(after)
    lines = []
    for k in sorted(set(a) | set(b), key=key):
        if a.get(k) != b.get(k):
            lines.append("%d %s %s" % (k[0], k[1], b.get(k, "(removed)")))
    return lines


if __name__ == "__main__":
    lines = changed(sys.argv[1], sys.argv[2])
    if len(sys.argv) > 4:
        lines = [line for line in lines if not re.match(sys.argv[4], line)]
    if len(sys.argv) == 3:
        print("\n".join(lines))
        sys.exit(0)
    with open(sys.argv[3], encoding="utf-8") as f:
        expected = [line.rstrip("\n") for line in f if line.strip()]
    if lines == expected:
        sys.exit(0)
    exp, got = set(expected), set(lines)
    for line in sorted(exp - got)[:20]:
        print("expected:", line)
    for line in sorted(got - exp)[:20]:
        print("got:     ", line)
    sys.exit(1)
