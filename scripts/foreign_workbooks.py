#!/usr/bin/env python3
"""Runs vontralek-cli over workbooks saved by other programs and checks that none crashes it or is damaged by it.

Made here from the shipped workbook: saved again by openpyxl with changes a user makes (formats, merged cells,
comments, hyperlinks, data validation, defined names, frozen panes, sheets added before or after, text and formulas
among the inputs, rows deleted or added, long and non-ASCII text), and each of those saved again by LibreOffice.
For each: a batch run on a copy and a run with -o. A run must end with status 0, 1 or 2 (never a signal); one that
fails before saving anything (its message says nothing was saved) leaves the copy byte for byte and writes no output;
one that saved (all samples, or those before the one it stopped at) leaves a file openpyxl reads whose input cells
(A:J of the Batch sheet) are those of the input.

usage: foreign_workbooks.py CLI SHIPPED_WORKBOOK WORK_DIR [COUNT]
"""
import filecmp, os, random, shutil, subprocess, sys

import openpyxl
from openpyxl.comments import Comment
from openpyxl.styles import Font, PatternFill
from openpyxl.worksheet.datavalidation import DataValidation

cli, shipped, work = sys.argv[1], sys.argv[2], sys.argv[3]
count = int(sys.argv[4]) if len(sys.argv) > 4 else 60
os.makedirs(work, exist_ok=True)
rng = random.Random(1)


def variant(i, path):
    wb = openpyxl.load_workbook(shipped)
    batch = wb.worksheets[1]
    for _ in range(rng.randint(1, 4)):
        change = rng.choice(["style", "merge", "comment", "link", "validation", "name", "freeze", "sheet_after",
                             "text_input", "formula_input", "more_rows", "delete_row", "unicode", "empty_input"])
        row = rng.randint(2, 6)
        if change == "style":
            cell = batch.cell(row, rng.randint(1, 10))
            cell.font, cell.fill = Font(bold=True, color="FF0000"), PatternFill("solid", fgColor="FFFF00")
            cell.number_format = "0.000"
        elif change == "merge":
            batch.merge_cells(start_row=20, start_column=1, end_row=21, end_column=3)
        elif change == "comment":
            batch.cell(row, 2).comment = Comment("checked twice", "lab")
        elif change == "link":
            batch.cell(row, 1).hyperlink = "https://example.org/sample"
        elif change == "validation":
            dv = DataValidation(type="decimal", operator="between", formula1=0, formula2=14)
            batch.add_data_validation(dv)
            dv.add("B2:B100")
        elif change == "name":
            wb.defined_names.append(openpyxl.workbook.defined_name.DefinedName(
                "inputs_%d" % i, attr_text="Batch!$B$2:$J$6"))
        elif change == "freeze":
            batch.freeze_panes = "C3"
        elif change == "sheet_after":
            extra = wb.create_sheet("Notes %d" % i)
            extra["A1"] = "field notes"
        elif change == "text_input":
            batch.cell(row, rng.randint(4, 10), rng.choice(["nd", "<0.1", "n/a", " 1.5 ", "1,5"]))
        elif change == "formula_input":
            batch.cell(row, 4, "=D2*2")
        elif change == "more_rows":
            for r in range(7, 7 + rng.randint(1, 40)):
                batch.cell(r, 1, "extra %d" % r)
                for c in range(2, 11):
                    batch.cell(r, c, batch.cell(2 + r % 5, c).value)
        elif change == "delete_row":
            batch.delete_rows(rng.randint(3, 6))
        elif change == "unicode":
            batch.cell(row, 1, "Brunnen Ölmühle – Probe № %d ✓ 水" % row)
        elif change == "empty_input":
            batch.cell(row, rng.randint(2, 10)).value = None
    wb.save(path)


def run(args):
    done = subprocess.run([cli, "--sheet", "batch", *args], capture_output=True, text=True, timeout=120)
    return done.returncode, done.stdout + done.stderr


def check(path, problems, tally):
    copy, out = path + ".copy.xlsx", path + ".out.xlsx"
    shutil.copy(path, copy)
    for args, target in ((["-o", out, path], out), ([copy], copy)):
        if os.path.exists(out):
            os.remove(out)
        status, text = run(args)
        tally[status] = tally.get(status, 0) + 1
        if status not in (0, 1, 2):
            problems.append("%s %s: status %d: %s" % (path, args[0], status, text[-300:]))
            continue
        if status != 0 and " saved to " not in text:
            if target == out and os.path.exists(out):
                problems.append("%s: failed run left an output" % path)
            if target == copy and not filecmp.cmp(path, copy, shallow=False):
                problems.append("%s: failed run changed the workbook" % path)
            continue
        try:
            before = openpyxl.load_workbook(path).worksheets[1]
            after = openpyxl.load_workbook(target).worksheets[1]
        except Exception as error:  # noqa: BLE001 - any reader error is a finding
            problems.append("%s: the result cannot be read: %s" % (target, error))
            continue
        for row in range(2, before.max_row + 1):
            for column in range(1, 11):
                if before.cell(row, column).value != after.cell(row, column).value:
                    problems.append("%s: input %s changed" % (target, before.cell(row, column).coordinate))
                    break


paths = []
for i in range(count):
    path = os.path.join(work, "openpyxl-%03d.xlsx" % i)
    variant(i, path)
    paths.append(path)
# The same files saved again by LibreOffice (one process for all of them).
office = os.path.join(work, "libreoffice")
os.makedirs(office, exist_ok=True)
subprocess.run(["soffice", "--headless", "--calc", "--convert-to", "xlsx:Calc MS Excel 2007 XML", "--outdir", office,
                *paths], capture_output=True, timeout=1800)
paths += sorted(os.path.join(office, name) for name in os.listdir(office) if name.endswith(".xlsx"))
problems, tally = [], {}
for path in paths:
    check(path, problems, tally)
print("%d workbooks (%d saved by openpyxl, %d by LibreOffice), %d runs: exit statuses %s" % (
    len(paths), count, len(paths) - count, sum(tally.values()), dict(sorted(tally.items()))))
for problem in problems:
    print("PROBLEM", problem)
sys.exit(1 if problems else 0)
