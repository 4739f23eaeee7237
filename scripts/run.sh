#!/usr/bin/env bash
# Installs what is missing, builds and starts Tallyhost.
# Without an argument it starts the printer simulator on pseudo-terminals, points COM1 (host
# port) and COM2 (fiscal port) at it, with the fiscal port on, for this run only, and opens a
# copy of the demo catalogue kept in the user's data directory, with its test script (an
# existing copy, with the operator's edits, is kept).
# With --printer it runs against the ports saved in the settings, as an installed program would.
# Other arguments go to the program (for example --startup-timer).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh
build=${BUILD_DIR:-build}
program="$build/app/tallyhost"
simulator="$build/tools/tallyhost-sim"
if [ "${1:-}" = "--printer" ]; then
  shift
  exec "$program" "$@"
fi
data="${XDG_DATA_HOME:-$HOME/.local/share}/tallyhost"
mkdir -p "$data"
for file in demo.thf demo.ths; do [ -f "$data/$file" ] || cp "examples/$file" "$data/$file"; done
links=$(mktemp -d)
"$simulator" --link "$links" --scenario examples/demo-sim.ini &
sim=$!
trap 'kill $sim 2>/dev/null; wait $sim 2>/dev/null; rm -rf "$links"' EXIT
for _ in $(seq 50); do
  [ -e "$links/host" ] && [ -e "$links/fiscal" ] && break
  kill -0 "$sim" 2>/dev/null || { echo "run.sh: the printer simulator did not start" >&2; exit 1; }
  sleep 0.1
done
TALLYHOST_COM1="$links/host" TALLYHOST_COM2="$links/fiscal" TALLYHOST_FISCAL_PORT=on \
  "$program" "$data/demo.thf" "$@"
