#!/usr/bin/env bash
# Installs the build into a scratch prefix and checks the installed set: both
# programs and the shipped workbook side by side in bin/, the desktop entry in
# share/applications. Then starts the installed window program on a virtual X
# server without naming a workbook, presses Calculate (Main sheet, alkalinity
# and pH) and checks that it found the workbook beside itself, calculated the
# sample into it and ended by itself.
#
# usage: install_check.sh BUILD_DIR SCRATCH_DIR
set -euo pipefail

if [ "${1:-}" != "--inside" ]; then
  build=$1 scratch=$2
  rm -rf "$scratch"
  mkdir -p "$scratch"
  cmake --install "$build" --prefix "$scratch/prefix" >"$scratch/install.log"
  bin=$scratch/prefix/bin
  for file in "$bin/vontralek" "$bin/vontralek-cli" "$bin/VONTRALEK.xlsx" \
    "$scratch/prefix/share/applications/vontralek.desktop"; do
    [ -f "$file" ] || { echo "not installed: $file"; cat "$scratch/install.log"; exit 1; }
  done
  [ -x "$bin/vontralek" ] && [ -x "$bin/vontralek-cli" ] || { echo "programs not executable"; exit 1; }
  grep -qx 'Exec=vontralek %f' "$scratch/prefix/share/applications/vontralek.desktop"
  grep -qx 'Type=Application' "$scratch/prefix/share/applications/vontralek.desktop"
  echo "installed set complete in $scratch/prefix"
  exec xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" "$0" --inside "$bin"
fi

bin=$2
cp "$bin/VONTRALEK.xlsx" "$bin/../shipped.xlsx"
"$bin/vontralek" &
pid=$!
window=$(xdotool search --sync --onlyvisible --name '^VONTRALEK$' | head -n 1)
sleep 0.3
# Calculate lies at (840, 5640) twips, 2415 x 615 large: its middle at 96 dpi.
xdotool mousemove --window "$window" $(((840 + 2415 / 2) / 15)) $(((5640 + 615 / 2) / 15)) click 1
for _ in $(seq 1 300); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.1
done
if kill -0 "$pid" 2>/dev/null; then
  echo "the installed program did not end after the run (a message box may be open)"
  kill "$pid"
  exit 1
fi
status=0
wait "$pid" || status=$?
[ "$status" -eq 0 ] || { echo "the installed program ended with status $status"; exit 1; }
if cmp -s "$bin/VONTRALEK.xlsx" "$bin/../shipped.xlsx"; then
  echo "the workbook beside the installed program was not changed"
  exit 1
fi
echo "the installed program calculated the Main sheet of $bin/VONTRALEK.xlsx"
