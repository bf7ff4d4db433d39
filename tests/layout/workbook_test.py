#!/usr/bin/env python3
"""The workbook generator and the workbook it ships, read back with openpyxl (a
reader independent of the program's own).  Usage: workbook_test.py MAKE_WORKBOOK SHIPPED.xlsx DATA_DIR"""
import csv, os, pathlib, subprocess, sys, tempfile, unittest, zipfile, xml.etree.ElementTree as ET
import openpyxl
from openpyxl.utils import get_column_letter, range_boundaries

TOOL, SHIPPED, DATA = sys.argv[1:4]
NS = "{http://schemas.openxmlformats.org/spreadsheetml/2006/main}"


def read_cells(path):
    """Sheet names and {(sheet, "A1"): value}, texts with sub/superscript runs as _{...}/^{...}."""
    marked = {}
    with zipfile.ZipFile(path) as z:
        shared = ET.fromstring(z.read("xl/sharedStrings.xml"))
    for si in shared.iter(NS + "si"):
        plain = markup = ""
        for run in si.findall(NS + "r") or [si]:
            text = "".join(t.text or "" for t in run.iter(NS + "t"))
            align = run.find(f"{NS}rPr/{NS}vertAlign")
            script = {"superscript": "^", "subscript": "_"}.get(align.get("val") if align is not None else "")
            plain, markup = plain + text, markup + (script + "{" + text + "}" if script else text)
        marked[plain] = markup
    book = openpyxl.load_workbook(path)
    return book.sheetnames, {(n, c.coordinate): marked.get(c.value, c.value)
                             for n, sheet in enumerate(book.worksheets, 1)
                             for row in sheet.iter_rows() for c in row if c.value is not None}


def read_csv(name):
    with open(os.path.join(DATA, name), encoding="utf-8") as f:
        return list(csv.DictReader(f))


def area(*ranges):
    """Every A1 address of ranges such as "J13:M18", row by row."""
    for c1, r1, c2, r2 in map(range_boundaries, ranges):
        yield from (f"{get_column_letter(c)}{row}" for row in range(r1, r2 + 1) for c in range(c1, c2 + 1))


class Generator(unittest.TestCase):
    def generate(self, *sheets):
        """Runs the generator on sheet texts: returncode, stderr, (names, cells) or None without a file."""
        with tempfile.TemporaryDirectory() as tmp:
            paths = [pathlib.Path(tmp, f"{i + 1}.txt") for i in range(len(sheets))]
            for path, text in zip(paths, sheets): path.write_text(text, encoding="utf-8")
            out = os.path.join(tmp, "out.xlsx")
            result = subprocess.run([TOOL, out, *paths], capture_output=True, text=True)
            return result.returncode, result.stderr, read_cells(out) if os.path.exists(out) else None

    def test_numbers_texts_and_runs(self):
        # A decimal number is stored as the nearest double; a decimal comma, a leading apostrophe or any other text
        # stays text; only the first "=" separates cell and value; _{...} and ^{...} become lowered and raised runs.
        lines = [("A1 = 8.22", 8.22), ("A2 = -1.4679", -1.4679), ("A3 = 1e3", 1000.0), ("A4 = +5", 5.0),
                 ("B1 = 1,5", "1,5"), ("B2 = 'nd", "nd"), ("B3 = '12", "12"), ("C1 = x = y", "x = y"),
                 ("D1 = SO_{4}^{2-}", "SO_{4}^{2-}"), ("D2 head = [HCO_{3}^{-}]/mmol/L", "[HCO_{3}^{-}]/mmol/L")]
        text = "# comment\n[First]\n" + "".join(line + "\n" for line, _ in lines)
        rc, err, (names, cells) = self.generate(text, "[Second]\nA1 input = 0\n@style result B2:C3\n")
        self.assertEqual(rc, 0, err)
        got = [cells[(1, line.split()[0])] for line, _ in lines]
        self.assertEqual([(v, isinstance(v, str)) for v in got], [(v, isinstance(v, str)) for _, v in lines])
        # Worksheets in the order of the files; styled blanks hold no value.
        self.assertEqual((names, [(k, v) for k, v in cells.items() if k[0] == 2]), (["First", "Second"], [((2, "A1"), 0)]))

    def test_errors_name_the_line_and_leave_no_file(self):
        for text, message in [("[S]\nA1 bold = 1\n", "1.txt:2: unknown style bold"),
                              ("[S]\nZZ = 1\n", "1.txt:2: bad cell ZZ"),
                              ("[S]\nA1 = 1\nA1 = 2\n", "1.txt:3: A1 is given twice"),
                              ("[S]\nA1 = H^{+\n", "1.txt:2: unclosed or empty ^{"),
                              ("A1 = 1\n", "1.txt:1: the file must start with [worksheet name]")]:
            rc, err, cells = self.generate(text)
            self.assertEqual((rc != 0, message in err, cells), (True, True, None), err)


class ShippedWorkbook(unittest.TestCase):
    names, cells = read_cells(SHIPPED)

    def test_parameters_are_numbers_in_exactly_the_cells_the_program_reads(self):
        self.assertEqual(self.names, ["Main", "Batch", "Constants", "Charges"])
        for sheet, ranges in [(3, ["B5:G5", "C13:F18"]), (4, ["B4:L4", "B6:L6", "B8:L8", "B10:M11", "B14:M15", "E19:E20"])]:
            numbers = {a for (s, a), v in self.cells.items() if s == sheet and not isinstance(v, str)
                       and a not in set(area("C57:I86", "C91:V150"))}
            self.assertEqual(numbers, set(area(*ranges)), f"worksheet {sheet}")
        # Charges from the formulas H+, OH-, Na+, K+, Ca2+, Mg2+, Cl-, NO3-, SO4 2-, HCO3-, CO3 2-;
        # complexes 1-24 (rows 10, 14): cations 1-4 with OH-, then with each ligand, the sum of
        # both charges. Every weight 1; the sum starts at 0 with scale 1: the charge balance.
        z = [1, -1, 1, 1, 2, 2, -1, -1, -2, -1, -2]
        complexes = [z[cation] + z[ligand] for ligand in (1, 6, 7, 8, 9, 10) for cation in (2, 3, 4, 5)]
        self.assertEqual([self.cells[(4, a)] for a in area("B4:L4", "B10:M10", "B14:M14")], z + complexes)
        self.assertEqual({self.cells[(4, a)] for a in area("B6:L6", "B11:M11", "B15:M15")}, {1})
        self.assertEqual([self.cells[(4, "E19")], self.cells[(4, "E20")]], [0, 1])
        # Molar masses as data/molar-masses.csv lists them; the settings block with the validated model.
        masses = {r["worksheet_4_column"]: float(r["molar_mass_g_mol"]) for r in read_csv("molar-masses.csv")
                  if r["worksheet_4_column"]}
        self.assertEqual({c: self.cells[(4, c + "8")] for c in masses}, masses)
        self.assertEqual([self.cells[(4, f"E{r}")] for r in range(23, 29)],
                         ["ion association", "yes", "stop", "stop", "mmol/L", "meq/L"])

    def test_temperature_data_are_those_of_the_data_file(self):
        # Below its title, constant n on row 56 + n: form in B, A1..A6 in C:H, the enthalpy in I;
        # an empty cell is an empty field of data/logk-temperature.csv, "vanthoff" reads "van 't Hoff".
        self.assertEqual(self.cells[(3, "A55")], "Temperature dependence of log K")
        rows = read_csv("logk-temperature.csv")
        self.assertEqual(len(rows), 30)
        fields = ["form", "A1", "A2", "A3", "A4", "A5", "A6", "delta_h_kJ_mol"]
        for r in rows:
            line = 56 + int(r["row"])
            want = [{"vanthoff": "van 't Hoff"}.get(r["form"], r["form"]) or None] + \
                   [float(r[f]) if r[f] else None for f in fields[1:]]
            self.assertEqual([self.cells.get((3, f"{c}{line}")) for c in "BCDEFGHI"], want, r["name"])
        # The setting that asks for a temperature is empty: the shipped results stay those at 25 °C.
        self.assertNotIn((4, "E29"), self.cells)

    def test_phase_table_is_that_of_the_data_file(self):
        # Below the title "Phases" (A89), one phase per row from row 91: the phases of data/phases.csv without
        # calcite and gypsum (constants 5 and 6), coefficients in C:M, log K in N, the form in O ("analytic" where the
        # file gives A1..A6 in P:U, else "van 't Hoff" with the enthalpy in V). Both settings on (E30, E31).
        self.assertEqual(self.cells[(3, "A89")], "Phases")
        with open(os.path.join(DATA, "phases.csv"), encoding="utf-8") as f:
            rows = [r for r in csv.DictReader(line for line in f if not line.startswith("#"))
                    if r["phase"] not in ("Calcite", "Gypsum")]
        self.assertEqual(len(rows), 16)
        species = ["Ca+2", "Mg+2", "Na+", "K+", "Cl-", "NO3-", "SO4-2", "CO3-2", "HCO3-", "H+", "H2O"]
        for line, r in enumerate(rows, 91):
            got = [self.cells.get((3, f"{c}{line}")) for c in "ABCDEFGHIJKLMNOPQRSTUV"]
            got[1] = got[1].replace("_{", "").replace("}", "")  # the formula's digits are shown lowered
            analytic = r["A1"] != ""
            want = [r["phase"], r["formula"]] + [float(r[s]) for s in species] + [float(r["log_k_25"])] + \
                   ["analytic" if analytic else "van 't Hoff"] + \
                   [float(r[f"A{i}"]) if analytic else None for i in range(1, 7)] + \
                   [None if analytic else float(r["dH_kJ_mol"])]
            self.assertEqual(got, want, r["phase"])
        self.assertNotIn((3, "A107"), self.cells)
        self.assertEqual([self.cells[(4, "E30")], self.cells[(4, "E31")]], ["yes", "yes"])

    def test_no_caption_in_a_cell_the_program_writes(self):
        for sheet, ranges in [(1, ["P4", "J5:N5", "P5:R5", "C9:N9", "D15:H21", "A24:J25", "A28:B60"]),
                              (2, ["CI1:CR1", "DC1:FJ1"]),
                              (3, ["B6:G6", "J13:M18"])]:
            self.assertEqual([a for a in area(*ranges) if (sheet, a) in self.cells], [], f"worksheet {sheet}")

    def test_the_pair_headings_are_those_of_the_samples(self):
        # The samples give alkalinity and pH: Main A4:B4 and Batch B1:C1 hold the headings the program writes for it.
        self.assertEqual([self.cells.get(c) for c in [(1, "A4"), (1, "B4"), (2, "B1"), (2, "C1")]],
                         ["pH", "Alk", "pH", "Alk/meq/L"])

    def test_samples_are_the_example_waters_with_one_nd(self):
        # Main row 5 and Batch rows 2 on hold numbers where the program reads
        # them; "nd" (not determined, read as 0) only for an ion the data lack.
        waters = read_csv("example-waters.csv")
        fields = ["pH", "alk_meq_L", "Na", "K", "Ca", "Mg", "Cl", "NO3", "SO4"]
        nd = 0
        for sheet, row, first, water in [(1, 5, 1, waters[0])] + [(2, r, 2, w) for r, w in enumerate(waters, 2)]:
            values = [self.cells.get((sheet, f"{get_column_letter(first + i)}{row}")) for i in range(9)]
            self.assertEqual([0.0 if v == "nd" and i >= 2 else v for i, v in enumerate(values)],
                             [float(water[f]) for f in fields], (sheet, row))
            if sheet == 2:
                nd += values.count("nd")
                self.assertIn(water["id"], str(self.cells.get((2, f"A{row}"))))
                self.assertEqual([a for a in area(f"K{row}:CA{row}") if (2, a) in self.cells], [], "results written")
        self.assertNotIn((2, f"A{len(waters) + 2}"), self.cells, "more samples than the data file")
        self.assertEqual(nd, 1)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
