#!/usr/bin/env bash
# usage: installed_program.sh BUILD PREFIX OUT_DIR. Installs the build (the programs, the workbook as a template),
# runs the installed program on a virtual X server naming no workbook: "Batch", Calculate. It must make the user's
# own copy of the template, calculate into it, leave the template as it was, show its end window; "Show diagrams",
# then Close: it must end with status 0 and leave PNG pictures of the windows of their sizes (the diagrams' to look at).
set -euo pipefail
[ -n "${IN_XVFB:-}" ] || IN_XVFB=1 exec xvfb-run -a -s "-screen 0 1024x768x24 -dpi 96" "$0" "$@"
rm -rf "$2" && cmake --install "$1" --prefix "$2" >/dev/null
for f in vontralek vontralek-cli; do test -x "$2/bin/$f" || { echo "$f not installed" && exit 1; }; done
grep -qx 'Exec=vontralek %f' "$2/share/applications/vontralek.desktop"
cp "$2/share/vontralek/VONTRALEK.xlsx" "$2/shipped.xlsx"
export HOME=$2/home && unset XDG_DATA_HOME && copy=$HOME/.local/share/vontralek/VONTRALEK.xlsx
export VONTRALEK_SCREENSHOT_DIR=$3 && mkdir -p "$3" && rm -f "$3"/Form[12].png "$3"/RunEnd.png "$3"/Diagrams.png
# The program draws on the virtual X server whatever platform the caller's
# environment names (offscreen would never show a window to find).
QT_QPA_PLATFORM=xcb "$2/bin/vontralek" & pid=$!
trap 'kill $pid 2>/dev/null || true' EXIT
# Every wait has a limit: xdotool --sync alone would wait forever.
window=$(timeout 30 xdotool search --sync --onlyvisible --name '^VONTRALEK$' | head -n 1) || true
[ -n "$window" ] || { echo "the main window did not appear within 30 s" && exit 1; }
sleep 0.3
# Middles of "Batch" ((480 + 360, 1080 + 1080) twips, 5175 x 375) and Calculate ((840, 6840), 2415 x 615) at 96 dpi.
timeout 10 xdotool mousemove --window "$window" $(((480 + 360 + 5175 / 2) / 15)) $(((1080 + 1080 + 375 / 2) / 15)) click 1
sleep 0.2
timeout 10 xdotool mousemove --window "$window" $(((840 + 2415 / 2) / 15)) $(((6840 + 615 / 2) / 15)) click 1
# The end window: "Show diagrams" ((2400, 2880), 2055 x 615), and once they are drawn, Close ((4560, 2880)).
end=$(timeout 60 xdotool search --sync --onlyvisible --name '^VONTRALEK: finished$' | head -n 1) || true
[ -n "$end" ] || { echo "the end window did not appear within 60 s" && exit 1; }
sleep 0.3
timeout 10 xdotool mousemove --window "$end" $(((2400 + 2055 / 2) / 15)) $(((2880 + 615 / 2) / 15)) click 1
for _ in $(seq 1 100); do [ -s "$3/Diagrams.png" ] && break; sleep 0.1; done
[ -s "$3/Diagrams.png" ] || { echo "the diagrams were not shown" && exit 1; }
# The diagrams' own Close, at the lower right of their 1000 x 760 window, then the end window's.
diagrams=$(timeout 10 xdotool search --sync --onlyvisible --name '^VONTRALEK: diagrams$' | head -n 1) || true
[ -n "$diagrams" ] && timeout 10 xdotool mousemove --window "$diagrams" 950 737 click 1 && sleep 0.3
timeout 10 xdotool mousemove --window "$end" $(((4560 + 2055 / 2) / 15)) $(((2880 + 615 / 2) / 15)) click 1
for _ in $(seq 1 300); do kill -0 $pid 2>/dev/null || break; sleep 0.1; done
if kill -0 $pid 2>/dev/null; then echo "the program did not end by itself" && kill $pid && exit 1; fi
wait $pid || { echo "the program ended with status $?" && exit 1; }
if cmp -s "$copy" "$2/shipped.xlsx"; then echo "the user's workbook was not changed" && exit 1; fi
cmp -s "$2/share/vontralek/VONTRALEK.xlsx" "$2/shipped.xlsx" || { echo "the installed template was changed" && exit 1; }
# Client areas of 6840 x 7830, 6870 x 2745 and 6840 x 3780 twips: 456 x 522, 458 x 183 and 456 x 252 pixels.
python3 -c 'import struct, sys
for name, size in (("Form1", (456, 522)), ("Form2", (458, 183)), ("RunEnd", (456, 252)), ("Diagrams", (1000, 760))):
    head = open(f"{sys.argv[1]}/{name}.png", "rb").read(24)
    assert head[:8] == b"\x89PNG\r\n\x1a\n" and struct.unpack(">II", head[16:24]) == size, name' "$3"
