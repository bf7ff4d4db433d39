#!/usr/bin/env python3
"""A copy of a workbook with the values of some cells removed (their formats kept), with the standard library.
usage: clear_cells.py SOURCE.xlsx TARGET.xlsx SHEET_NUMBER:A1 ..."""
import re, sys, zipfile
import xml.etree.ElementTree as ET

M = "{http://schemas.openxmlformats.org/spreadsheetml/2006/main}"
R = "{http://schemas.openxmlformats.org/officeDocument/2006/relationships}"


def sheet_parts(z):
    """Worksheet number -> part name, through the workbook's relationships."""
    rels = {r.get("Id"): r.get("Target") for r in ET.fromstring(z.read("xl/_rels/workbook.xml.rels"))}
    parts = {}
    for number, sheet in enumerate(ET.fromstring(z.read("xl/workbook.xml")).iter(M + "sheet"), start=1):
        target = rels[sheet.get(R + "id")]
        parts[number] = target.lstrip("/") if target.startswith("/") else "xl/" + target
    return parts


def main(source, target, cells):
    with zipfile.ZipFile(source) as z:
        entries = [(info, z.read(info.filename)) for info in z.infolist()]
        parts = sheet_parts(z)
    texts = {}
    for spec in cells:
        number, cell = spec.split(":")
        part = parts[int(number)]
        text = texts.setdefault(part, next(data for info, data in entries if info.filename == part).decode("utf-8"))
        # <c r="B1" s="3" t="s"><v>5</v></c> -> <c r="B1" s="3"/>
        pattern = re.compile(r'<c r="%s"([^>]*?)(/>|>.*?</c>)' % cell, re.S)
        found = pattern.search(text)
        if not found:
            sys.exit("no cell %s in worksheet %s" % (cell, number))
        style = re.search(r'\ss="\d+"', found.group(1))
        texts[part] = text[:found.start()] + '<c r="%s"%s/>' % (cell, style.group(0) if style else "") + \
            text[found.end():]
    with zipfile.ZipFile(target, "w", zipfile.ZIP_DEFLATED) as out:
        for info, data in entries:
            out.writestr(info, texts[info.filename].encode("utf-8") if info.filename in texts else data)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2], sys.argv[3:])
