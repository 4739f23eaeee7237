#!/usr/bin/env bash
# Refreshes the README's pictures, on a virtual display against the printer simulator:
#   screenshot.png  the main window alone, the demo catalogue open and the answer to its first
#                   command;
#   script-run.png  the Run script window (Options menu) after a run of the demo script, the
#                   frames of one case shown;
#   log-window.png  the log of those exchanges read back (tallyhost --log), narrow enough that
#                   long frames wrap under their frame text, the host's frames filtered and one
#                   answer decoded in the pane under the view;
#   report.png      the report page of tallyhost-cli run --html after the demo script ran on
#                   three benches at once (two simulated printers whose firmwares differ in a
#                   status word and a version, and one whose adapter is missing), in headless
#                   Chromium.
# The demo is opened where scripts/run.sh keeps it for the user (~/.local/share/tallyhost, an
# existing copy is used as it is), so the window shows that place; settings, the file-type
# registration and the simulator's links go to a throw-away folder.
# Usage: scripts/screenshot.sh [FOLDER]   (default docs)
set -euo pipefail
cd "$(dirname "$0")/.."
out=${1:-docs}
need=()
command -v xvfb-run >/dev/null || need+=(xvfb xauth)
command -v import >/dev/null || need+=(imagemagick)
command -v xdotool >/dev/null || need+=(xdotool)
command -v chromium >/dev/null || need+=(chromium)
if ((${#need[@]})); then
  sudo=""; [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${need[@]}"
fi
scripts/build.sh
build=${BUILD_DIR:-build}
data="${XDG_DATA_HOME:-$HOME/.local/share}/tallyhost"
mkdir -p "$data"
for file in demo.thf demo.ths; do [ -f "$data/$file" ] || cp "examples/$file" "$data/$file"; done
scratch=$(mktemp -d)
trap 'kill "${sim:-}" 2>/dev/null || true; rm -rf "$scratch"' EXIT
"$build/tools/tallyhost-sim" --link "$scratch" --scenario examples/demo-sim.ini >/dev/null &
sim=$!
for _ in $(seq 50); do [ -e "$scratch/host" ] && break; sleep 0.1; done
mkdir -p "$out"
export XDG_CONFIG_HOME="$scratch/config" XDG_DATA_HOME="$scratch/data"
# The fiscal port on, as scripts/run.sh has it.
export TALLYHOST_COM1="$scratch/host" TALLYHOST_COM2="$scratch/fiscal" TALLYHOST_FISCAL_PORT=on
export QT_QPA_PLATFORM=xcb
xvfb-run -a -s "-screen 0 1280x800x24" bash -c '
  "$1" "$2" & app=$!
  # The main window is the program'"'"'s one visible top-level window (no window manager runs,
  # so it has no frame and the picture is the window alone).
  window=$(timeout 60 xdotool search --sync --onlyvisible --pid "$app" | head -n 1)
  [ -n "$window" ] || { echo "screenshot.sh: the main window did not show" >&2; kill $app; exit 1; }
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
  import -window "$window" "$3/screenshot.png"
  # Options, "Run script...", the demo script beside its catalogue, Run; then the third case,
  # to show its frames.
  xdotool mousemove --sync ${OPTIONS_XY:-105 8} click 1
  sleep 1
  xdotool mousemove --sync ${RUN_SCRIPT_XY:-142 97} click 1
  run=$(timeout 20 xdotool search --sync --onlyvisible --name "^Run script$" | head -n 1)
  [ -n "$run" ] || { echo "screenshot.sh: the Run script window did not open" >&2; kill $app; exit 1; }
  sleep 1
  # The window opens over the middle of the main window: its controls are found from its
  # own corner.
  xdotool mousemove --window "$run" --sync ${SCRIPT_EDIT_XY:-172 21} click 1
  xdotool type --delay 5 "${2%.thf}.ths"
  xdotool mousemove --window "$run" --sync ${RUN_XY:-422 21} click 1
  sleep "${SCRIPT_RUN_DELAY:-6}"
  xdotool mousemove --window "$run" --sync ${THIRD_CASE_XY:-160 179} click 1
  sleep 1
  import -window "$run" "$3/script-run.png"
  kill $app; wait $app 2>/dev/null || true
  "$1" "$2" --log "${2%.thf}.log" & app=$!
  reader=$(timeout 60 xdotool search --sync --onlyvisible --name "^Log " | head -n 1)
  [ -n "$reader" ] || { echo "screenshot.sh: the log did not open" >&2; kill $app; exit 1; }
  sleep "${SCREENSHOT_DELAY:-4}"
  xdotool windowsize --sync "$reader" ${LOG_SIZE:-720 560}
  xdotool windowmove --sync "$reader" 0 0
  sleep 1
  # The filter bar from the view'"'"'s menu: the host port, frames only (each combo box opened
  # with a click and moved on by a key); then an answer clicked, decoded in the pane.
  xdotool mousemove --sync ${LOG_VIEW_XY:-300 200} click 3
  sleep 1
  xdotool mousemove --sync ${FILTER_ITEM_XY:-360 340} click 1
  sleep 1
  xdotool mousemove --sync ${FILTER_PORT_XY:-88 12} click 1
  sleep 1
  xdotool key Down Return
  sleep 1
  xdotool mousemove --sync ${FILTER_KIND_XY:-330 12} click 1
  sleep 1
  xdotool key Down Return
  sleep 1
  xdotool mousemove --sync ${ANSWER_LINE_XY:-300 100} click 1
  sleep 1
  import -window "$reader" "$3/log-window.png"
  kill $app; wait $app 2>/dev/null || true' _ "$build/app/tallyhost" "$data/demo.thf" "$out"

# The report page: the simulator serves two printers, the second with another firmware.
sed -e 's/^Field2=1\.4\.2/Field2=1.4.9/' -e 's/^PrinterStatus=8009/PrinterStatus=8409/' \
  examples/demo-sim.ini >"$scratch/fw149.ini"
"$build/tools/tallyhost-sim" --count 2 --link "$scratch/sims" --scenario examples/demo-sim.ini \
  --scenario-for 2 "$scratch/fw149.ini" >/dev/null &
sims=$!
trap 'kill "${sim:-}" "${sims:-}" 2>/dev/null || true; rm -rf "$scratch"' EXIT
for _ in $(seq 50); do [ -e "$scratch/sims/2/fiscal" ] && break; sleep 0.1; done
"$build/tools/tallyhost-cli" run examples/demo.ths \
  --bench "TH1000-fw142=$scratch/sims/1/host,$scratch/sims/1/fiscal" \
  --bench "TH1000-fw149=$scratch/sims/2/host,$scratch/sims/2/fiscal" \
  --bench "TH2000-de=/dev/ttyUSB7,/dev/ttyUSB8" \
  --compare --html "$scratch/report.html" >/dev/null 2>&1 || true
mkdir -p "$scratch/chromium"
chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
  --disable-background-networking --disable-component-update --disable-sync \
  --user-data-dir="$scratch/chromium" --hide-scrollbars --window-size="${REPORT_SIZE:-1100,1560}" \
  --screenshot="$out/report.png" "file://$scratch/report.html" >/dev/null 2>&1
echo "$out/screenshot.png $out/script-run.png $out/log-window.png $out/report.png"
