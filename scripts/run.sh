#!/usr/bin/env bash
# Installs what is missing, builds and starts Tallyhost.
# Without an argument it starts the printer simulator on pseudo-terminals, points COM1 (host
# port) and COM2 (fiscal port) at it for this run and opens a copy of the demo catalogue.
# With --printer it runs against the ports saved in the settings, as an installed program would.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh
build=${BUILD_DIR:-build}
if [ "${1:-}" = "--printer" ]; then
  shift
  exec "$build/tallyhost" "$@"
fi
data="${XDG_DATA_HOME:-$HOME/.local/share}/tallyhost"
mkdir -p "$data"
[ -f "$data/demo.thf" ] || cp examples/demo.thf "$data/demo.thf"
links=$(mktemp -d)
"$build/tallyhost-sim" --link "$links" --scenario examples/demo-sim.ini &
sim=$!
trap 'kill $sim 2>/dev/null; wait $sim 2>/dev/null; rm -rf "$links"' EXIT
for _ in $(seq 50); do [ -e "$links/host" ] && [ -e "$links/fiscal" ] && break; sleep 0.1; done
TALLYHOST_COM1="$links/host" TALLYHOST_COM2="$links/fiscal" "$build/tallyhost" "$data/demo.thf" "$@"
