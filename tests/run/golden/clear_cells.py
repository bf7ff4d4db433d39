#!/usr/bin/env python3
"""A copy of a workbook without the values of some cells (formats kept), with the standard library; the worksheets
of the workbook made by tools/make_workbook are xl/worksheets/sheetN.xml. usage: clear_cells.py IN OUT SHEET:A1 ..."""
import re, sys, zipfile

with zipfile.ZipFile(sys.argv[1]) as z:
    entries = [(info, z.read(info.filename)) for info in z.infolist()]
parts = {info.filename: data.decode("utf-8") for info, data in entries if info.filename.startswith("xl/worksheets/")}
for spec in sys.argv[3:]:
    number, cell = spec.split(":")
    part = "xl/worksheets/sheet%s.xml" % number
    # <c r="B1" s="3" t="s"><v>5</v></c> -> <c r="B1" s="3"/>
    parts[part], n = re.subn(r'<c r="%s"((?:\s+s="\d+")?)[^>]*?(?:/>|>.*?</c>)' % cell, r'<c r="%s"\1/>' % cell,
                             parts[part], count=1, flags=re.S)
    if n != 1:
        sys.exit("no cell %s in worksheet %s" % (cell, number))
with zipfile.ZipFile(sys.argv[2], "w", zipfile.ZIP_DEFLATED) as out:
    for info, data in entries:
        out.writestr(info, parts[info.filename].encode("utf-8") if info.filename in parts else data)
