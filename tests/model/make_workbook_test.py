#!/usr/bin/env python3
"""The workbook generator: how it reads the sheet files and what it refuses.

    make_workbook_test.py MAKE_WORKBOOK DUMP_SCRIPT
"""
import os
import subprocess
import sys
import tempfile
import unittest

TOOL, DUMP = sys.argv[1], sys.argv[2]


def run(tmp, sheets):
    """Writes the sheet files, runs the generator, returns (returncode, stderr, cells or None)."""
    paths = []
    for i, text in enumerate(sheets):
        path = os.path.join(tmp, f"{i + 1}.txt")
        with open(path, "w", encoding="utf-8") as f:
            f.write(text)
        paths.append(path)
    out = os.path.join(tmp, "out.xlsx")
    result = subprocess.run([TOOL, out, *paths], capture_output=True, text=True)
    if not os.path.exists(out):
        return result.returncode, result.stderr, None
    listing = os.path.join(tmp, "out.tsv")
    subprocess.run([sys.executable, DUMP, out, listing], check=True)
    cells = {}
    with open(listing, encoding="utf-8") as f:
        for line in f.read().splitlines():
            number, name, cell, kind, value = line.split("\t")
            cells[(int(number), cell)] = (name, kind, value)
    return result.returncode, result.stderr, cells


class Generator(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.TemporaryDirectory()

    def tearDown(self):
        self.tmp.cleanup()

    def test_values_numbers_and_texts(self):
        rc, err, cells = run(self.tmp.name, [
            "# comment\n[First]\n"
            "A1 = 8.22\nA2 = -1.4679\nA3 = 1e3\nA4 = +5\n"
            "B1 = 1,5\nB2 = 'nd\nB3 = '12\nB4 = nd\nB5 = Alk/meq/L\n"
            "C1 = x = y\n",
            "[Second]\nA1 input = 0\n@style result B2:C3\n",
        ])
        self.assertEqual(rc, 0, err)
        # Numbers exactly as written (repr of the nearest double).
        self.assertEqual(cells[(1, "A1")], ("First", "n", "8.22"))
        self.assertEqual(cells[(1, "A2")][1:], ("n", "-1.4679"))
        self.assertEqual(cells[(1, "A3")][1:], ("n", "1000.0"))
        self.assertEqual(cells[(1, "A4")][1:], ("n", "5.0"))
        # A decimal comma is no number; an apostrophe keeps digits as text.
        self.assertEqual(cells[(1, "B1")][1:], ("s", "1,5"))
        self.assertEqual(cells[(1, "B2")][1:], ("s", "nd"))
        self.assertEqual(cells[(1, "B3")][1:], ("s", "12"))
        self.assertEqual(cells[(1, "B4")][1:], ("s", "nd"))
        self.assertEqual(cells[(1, "B5")][1:], ("s", "Alk/meq/L"))
        # Only the first "=" separates the cell from its value.
        self.assertEqual(cells[(1, "C1")][1:], ("s", "x = y"))
        # Worksheets in the order of the files; styled blanks hold no value.
        self.assertEqual(cells[(2, "A1")], ("Second", "n", "0.0"))
        self.assertFalse(any(k[0] == 2 and k[1] != "A1" for k in cells))

    def test_sub_and_superscript_runs(self):
        rc, err, cells = run(self.tmp.name, [
            "[S]\nA1 = SO_{4}^{2-}\nA2 head = [HCO_{3}^{-}]/mmol/L\nA3 = pCO_{2}\nA4 = γ Ca^{2+}\n"
        ])
        self.assertEqual(rc, 0, err)
        self.assertEqual(cells[(1, "A1")][2], "SO_{4}^{2-}")
        self.assertEqual(cells[(1, "A2")][2], "[HCO_{3}^{-}]/mmol/L")
        self.assertEqual(cells[(1, "A3")][2], "pCO_{2}")
        self.assertEqual(cells[(1, "A4")][2], "γ Ca^{2+}")

    def test_errors_name_the_line_and_leave_no_file(self):
        for text, message in [
            ("[S]\nA1 bold = 1\n", "1.txt:2: unknown style bold"),
            ("[S]\nZZ = 1\n", "1.txt:2: bad cell ZZ"),
            ("[S]\nA1 = 1\nA1 = 2\n", "1.txt:3: A1 is given twice"),
            ("[S]\nA1 = H^{+\n", "1.txt:2: unclosed or empty ^{"),
            ("A1 = 1\n", "1.txt:1: the file must start with [worksheet name]"),
            ("[S]\n@width A:B wide\n", "1.txt:2: bad width wide"),
        ]:
            with self.subTest(text=text):
                rc, err, cells = run(self.tmp.name, [text])
                self.assertNotEqual(rc, 0)
                self.assertIn(message, err)
                self.assertIsNone(cells)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
