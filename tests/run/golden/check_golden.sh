#!/usr/bin/env bash
# vontralek-cli on the shipped workbook, both data sheets and all three carbonate pairs, with the specified model: every
# changed cell must match the dumps beside this script (taken before the sources were reorganised), bit for bit; the
# extra results, the water quality, the saturation indices of the phase table, DIC and the reactions, which the dumps
# predate, are left out. usage: check_golden.sh CLI SHIPPED_WORKBOOK WORK_DIR
set -euo pipefail
cli=$1 shipped=$2 work=$3 here=$(cd "$(dirname "$0")" && pwd) status=0
rm -rf "$work" && mkdir -p "$work"
# The shipped headings of the pair (Main A4:B4, Batch B1:C1) cleared, so that each pair may run and writes its own;
# the calcite saturation (E32) turned off, since the reactions need the ion-association model.
base=$work/shipped-without-pair-headings.xlsx
python3 "$here/clear_cells.py" "$shipped" "$base" 1:A4 1:B4 2:B1 2:C1 4:E32
for sheet in main batch; do
  for pair in ph pco2 carbonate; do
    "$cli" --model specified --sheet $sheet --pair $pair -o "$work/$sheet-$pair.xlsx" "$base" >/dev/null
    python3 "$here/cell_dump.py" "$base" "$work/$sheet-$pair.xlsx" "$here/$sheet-$pair.txt" \
      '^(1 [STUWX][45]|1 [A-J]2[45]|1 [AB](2[89]|[3-9][0-9])|1 [D-M]2[89]|2 C[B-E][0-9]+|2 (C[G-Z]|D[A-Z]|E[A-Z]|F[A-J])[0-9]+) ' || { echo "--sheet $sheet --pair $pair: results differ" >&2; status=1; }
  done
done
exit $status
