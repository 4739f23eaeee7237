#!/usr/bin/env bash
# Refreshes docs/screenshot.png: the main window alone, with the demo catalogue open against
# the printer simulator and the answer to its first command, on a virtual display.
# The demo is opened where scripts/run.sh keeps it for the user (~/.local/share/tallyhost, an
# existing copy is used as it is), so the window shows that place; settings, the file-type
# registration and the simulator's links go to a throw-away folder.
# Usage: scripts/screenshot.sh [OUTPUT.png]
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs/screenshot.png}
need=()
command -v xvfb-run >/dev/null || need+=(xvfb xauth)
command -v import >/dev/null || need+=(imagemagick)
command -v xdotool >/dev/null || need+=(xdotool)
if ((${#need[@]})); then
  sudo=""; [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${need[@]}"
fi
scripts/build.sh
build=${BUILD_DIR:-build}
data="${XDG_DATA_HOME:-$HOME/.local/share}/tallyhost"
mkdir -p "$data"
[ -f "$data/demo.thf" ] || cp examples/demo.thf "$data/demo.thf"
scratch=$(mktemp -d)
trap 'kill "${sim:-}" 2>/dev/null || true; rm -rf "$scratch"' EXIT
"$build/tools/tallyhost-sim" --link "$scratch" --scenario examples/demo-sim.ini >/dev/null &
sim=$!
for _ in $(seq 50); do [ -e "$scratch/host" ] && break; sleep 0.1; done
mkdir -p "$(dirname "$out")"
export XDG_CONFIG_HOME="$scratch/config" XDG_DATA_HOME="$scratch/data"
export TALLYHOST_COM1="$scratch/host" TALLYHOST_COM2="$scratch/fiscal" QT_QPA_PLATFORM=xcb
xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
  "$1" "$2" & app=$!
  # The main window is the program'"'"'s one visible top-level window (no window manager runs,
  # so it has no frame and the picture is the window alone).
  window=$(xdotool search --sync --onlyvisible --pid "$app" | head -n 1)
  sleep "${SCREENSHOT_DELAY:-4}"
  # As an operator would: the first command of the first group, Send, then the answer tab.
  # Without a window manager the window never becomes active, so its Alt shortcuts do not
  # fire: the buttons are clicked where the default layout puts them.
  xdotool key Home Down Right Down
  sleep 1
  xdotool mousemove --sync ${SEND_XY:-798 417} click 1
  sleep 2
  xdotool mousemove --sync ${ANSWER_TAB_XY:-371 95} click 1
  sleep 1
  import -window "$window" "$3"
  kill $app; wait $app 2>/dev/null || true' _ "$build/app/tallyhost" "$data/demo.thf" "$out"
echo "$out"
