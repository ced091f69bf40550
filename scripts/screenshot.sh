#!/usr/bin/env bash
# Takes the README's picture of the main window: the built program in a private X server, started
# from a scratch program folder that holds a few sample photos, one of them chosen.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
binary=${1:-$top/build/bin/mivot}
out=${2:-$top/docs/mainwindow.png}

scratch=$(mktemp -d)
trap 'kill "${xpid:-}" "${ppid_:-}" 2>/dev/null || true; rm -rf "$scratch"' EXIT
mkdir -p "$scratch/program" "$scratch/runtime"
chmod 700 "$scratch/runtime"
cp "$binary" "$scratch/program/mivot"
for name in "IMG_0001 夏休み.jpg" "IMG_0002 夏休み.jpg" "IMG_0003 夏休み.jpg" "scan_2024_01.pdf" "メモ.txt"; do
    : > "$scratch/program/$name"
done

display=:$(( 70 + RANDOM % 20 ))
Xvfb "$display" -screen 0 800x600x24 -nolisten tcp >/dev/null 2>&1 &
xpid=$!
export DISPLAY=$display XDG_RUNTIME_DIR=$scratch/runtime HOME=$scratch QT_QPA_PLATFORM=xcb
sleep 1
(cd "$scratch" && "$scratch/program/mivot") >/dev/null 2>&1 &
ppid_=$!
window=$(timeout 10 xdotool search --sync --onlyvisible --name Quandelspur | head -n 1)
eval "$(xdotool getwindowgeometry --shell "$window")"
# Choose the first photo, as a person about to rename it would.
xdotool mousemove --sync $((X + 60)) $((Y + 236)) click 1
xdotool mousemove --sync $((X + 300)) $((Y + 73)) click 1
xdotool type --delay 40 "summer"
xdotool mousemove --sync $((X + 560)) $((Y + 410))
sleep 0.5
import -window "$window" "$out"
echo "wrote $out"
