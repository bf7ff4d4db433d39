#!/usr/bin/env bash
# Runs the desktop program on a virtual X server the way a user would: choose
# "Batch", press Calculate, let the batch run. The program saves a picture of
# the main window once shown and of the progress window at its first update
# (VONTRALEK_SCREENSHOT_DIR). Checks that the program ends by itself, that
# both pictures exist with the windows' sizes, and that the batch wrote its
# results into the copy of the workbook.
#
# usage: screenshots.sh PROGRAM WORKBOOK OUTPUT_DIR
set -euo pipefail

if [ "${1:-}" != "--inside" ]; then
  program=$1 workbook=$2 outdir=$3
  for tool in xvfb-run xdotool python3; do
    command -v "$tool" >/dev/null || { echo "missing $tool (scripts/install-deps.sh installs it)"; exit 1; }
  done
  mkdir -p "$outdir"
  exec xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" "$0" --inside "$program" "$workbook" "$outdir"
fi

program=$2 workbook=$3 outdir=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$workbook" "$work/VONTRALEK.xlsx"
cp "$workbook" "$work/original.xlsx"
rm -f "$outdir/Form1.png" "$outdir/Form2.png"

export VONTRALEK_SCREENSHOT_DIR=$outdir
"$program" "$work/VONTRALEK.xlsx" &
pid=$!

wait_for_file() {
  for _ in $(seq 1 200); do
    [ -s "$1" ] && return 0
    sleep 0.1
  done
  echo "timed out waiting for $1"
  return 1
}

wait_for_file "$outdir/Form1.png"
window=$(xdotool search --sync --onlyvisible --name '^VONTRALEK$' | head -n 1)
# Pixel positions at 96 dpi (15 twips per pixel): the "Batch" option lies at
# (480 + 360, 1080 + 1080) twips in the window, 5175 x 375 twips large; the
# Calculate button at (840, 5640), 2415 x 615 twips. Click their middles.
xdotool mousemove --window "$window" $(((480 + 360 + 5175 / 2) / 15)) $(((1080 + 1080 + 375 / 2) / 15)) click 1
sleep 0.2
xdotool mousemove --window "$window" $(((840 + 2415 / 2) / 15)) $(((5640 + 615 / 2) / 15)) click 1

# The program ends by itself when the batch is done.
status=0
for _ in $(seq 1 600); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then
  echo "the program did not end after the batch"
  kill "$pid"
  exit 1
fi
wait "$pid" || status=$?
[ "$status" -eq 0 ] || { echo "the program ended with status $status"; exit 1; }

wait_for_file "$outdir/Form2.png"
# The pictures have the windows' client sizes: 6840 x 6630 and 6870 x 2745
# twips, that is 456 x 442 and 458 x 183 pixels.
python3 - "$outdir/Form1.png" 456 442 "$outdir/Form2.png" 458 183 <<'PY'
import struct, sys
args = sys.argv[1:]
for i in range(0, len(args), 3):
    path, width, height = args[i], int(args[i + 1]), int(args[i + 2])
    with open(path, "rb") as f:
        head = f.read(24)
    assert head[:8] == b"\x89PNG\r\n\x1a\n", path + " is not a PNG file"
    w, h = struct.unpack(">II", head[16:24])
    assert (w, h) == (width, height), f"{path}: {w} x {h}, expected {width} x {height}"
    print(f"{path}: {w} x {h}")
PY

# The batch wrote its results into the workbook.
if cmp -s "$work/VONTRALEK.xlsx" "$work/original.xlsx"; then
  echo "the workbook was not changed by the batch"
  exit 1
fi
echo "screenshots saved in $outdir"
