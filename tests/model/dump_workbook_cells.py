#!/usr/bin/env python3
"""Lists every cell of an .xlsx workbook as one tab-separated line, read with
openpyxl (a reader independent of the project's own):

    sheet number, sheet name, A1 cell, kind (n number, s text), value

Numbers are written with repr(), which round-trips a double exactly. Texts are
written with their sub- and superscript runs marked as _{...} and ^{...}, taken
from the shared-string table, so that the test can check the formatting too.
Tabs and line breaks in a text are escaped as \\t and \\n.
"""
import sys
import zipfile
import xml.etree.ElementTree as ET

import openpyxl

NS = "{http://schemas.openxmlformats.org/spreadsheetml/2006/main}"


def marked_shared_strings(path):
    """Maps the plain text of each shared string to its marked-up form."""
    marked = {}
    with zipfile.ZipFile(path) as z:
        if "xl/sharedStrings.xml" not in z.namelist():
            return marked
        root = ET.fromstring(z.read("xl/sharedStrings.xml"))
    for si in root.iter(NS + "si"):
        plain, markup = "", ""
        runs = si.findall(NS + "r")
        if not runs:
            t = si.find(NS + "t")
            plain = markup = (t.text or "") if t is not None else ""
        for r in runs:
            text = "".join(t.text or "" for t in r.iter(NS + "t"))
            align = r.find(f"{NS}rPr/{NS}vertAlign")
            script = align.get("val") if align is not None else None
            plain += text
            if script == "superscript":
                markup += "^{" + text + "}"
            elif script == "subscript":
                markup += "_{" + text + "}"
            else:
                markup += text
        marked[plain] = markup
    return marked


def escape(text):
    return text.replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n")


def main(source, target):
    marked = marked_shared_strings(source)
    book = openpyxl.load_workbook(source)
    lines = []
    for number, sheet in enumerate(book.worksheets, start=1):
        for row in sheet.iter_rows():
            for cell in row:
                value = cell.value
                if value is None:
                    continue
                if isinstance(value, bool) or not isinstance(value, (int, float, str)):
                    raise SystemExit(f"{sheet.title}!{cell.coordinate}: unexpected value {value!r}")
                if isinstance(value, str):
                    kind, text = "s", marked.get(value, value)
                else:
                    kind, text = "n", repr(float(value))
                lines.append("\t".join([str(number), sheet.title, cell.coordinate, kind, escape(text)]))
    with open(target, "w", encoding="utf-8") as out:
        out.write("\n".join(lines) + "\n")


if __name__ == "__main__":
    if len(sys.argv) != 3:
        raise SystemExit("usage: dump_workbook_cells.py WORKBOOK.xlsx OUTPUT.tsv")
    main(sys.argv[1], sys.argv[2])
