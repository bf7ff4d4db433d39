#!/usr/bin/env bash
# Runs vontralek-cli on the shipped workbook for both data sheets and all three
# carbonate pairs and compares every changed cell with the dumps stored beside
# this script, taken from the program before its sources were reorganised:
# each result must stay bit-identical. The runs choose the specified model
# explicitly (the shipped workbook selects the ion-association model); the
# extra results, which the dumps predate, are left out of the comparison.
# usage: check_golden.sh CLI SHIPPED_WORKBOOK WORK_DIR
set -euo pipefail
cli=$1 shipped=$2 work=$3
here=$(cd "$(dirname "$0")" && pwd)
rm -rf "$work" && mkdir -p "$work"
status=0
for sheet in main batch; do
  for pair in ph pco2 carbonate; do
    out="$work/$sheet-$pair.xlsx"
    "$cli" --model specified --sheet "$sheet" --pair "$pair" -o "$out" "$shipped" >/dev/null
    if ! python3 "$here/cell_dump.py" "$shipped" "$out" "$here/$sheet-$pair.txt" '^(1 [STU][45]|2 C[B-E][0-9]+) '; then
      echo "results of --sheet $sheet --pair $pair differ from the stored ones" >&2
      status=1
    fi
  done
done
exit $status
