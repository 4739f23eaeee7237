#!/usr/bin/env bash
# Refreshes docs/screenshot.png: the main window with the demo catalogue open against the
# printer simulator and the answer to its first command, on a virtual display, with settings in a throw-away home.
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
home=$(mktemp -d)
trap 'kill "${sim:-}" 2>/dev/null || true; rm -rf "$home"' EXIT
cp examples/demo.thf "$home/demo.thf"
"$build/tools/tallyhost-sim" --link "$home" --scenario examples/demo-sim.ini >/dev/null &
sim=$!
for _ in $(seq 50); do [ -e "$home/host" ] && break; sleep 0.1; done
mkdir -p "$(dirname "$out")"
export HOME="$home" XDG_CONFIG_HOME="$home/.config" XDG_DATA_HOME="$home/.local/share"
export TALLYHOST_COM1="$home/host" TALLYHOST_COM2="$home/fiscal" QT_QPA_PLATFORM=xcb
xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
  "$1" "$2" & app=$!
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
  import -window root "$3"
  kill $app; wait $app 2>/dev/null || true' _ "$build/app/tallyhost" "$home/demo.thf" "$out"
echo "$out"
