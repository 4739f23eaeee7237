#!/usr/bin/env bash
# Link checks that only a real serial line shows, on two serial adapters joined by a null-modem
# cable: HOST_DEVICE is the program's side, PRINTER_DEVICE the printer's, where the simulator
# answers as a printer would. Not part of CI (it needs the hardware, and one step a person's
# hands); it says so and skips cleanly when the devices are missing.
#
#   scripts/test-hardware.sh HOST_DEVICE PRINTER_DEVICE
#
# Checks: host frames at 1200, 9600 and 38400 baud; a 1000-byte command at 1200 baud (8.4 s on
# the wire: answered, not timed out, and not faster than the line); a frame held by the
# printer's DSR; the fiscal port at 9600 without flow control; the host adapter unplugged and plugged in again by hand when asked
# (skipped without a terminal to ask on, or with NO_UNPLUG=1). The cable must carry DTR to DSR
# both ways: the host link holds its output while DSR is low.
#
# BUILD_DIR (default build) holds tallyhost-cli and tallyhost-sim; they are built when missing.
set -uo pipefail
cd "$(dirname "$0")/.."

if [ $# -ne 2 ]; then
    echo "usage: $0 HOST_DEVICE PRINTER_DEVICE" >&2
    exit 2
fi
HOST=$1
PRINTER=$2
BUILD_DIR=${BUILD_DIR:-build}

echo "Hardware link test (not part of CI): $HOST <-> $PRINTER"
for dev in "$HOST" "$PRINTER"; do
    if [ ! -c "$dev" ]; then
        echo "SKIP: $dev is not a serial device here"
        exit 0
    fi
    if [ ! -r "$dev" ] || [ ! -w "$dev" ]; then
        echo "SKIP: no read/write access to $dev (add yourself to the dialout group)"
        exit 0
    fi
done

CLI=$BUILD_DIR/tools/tallyhost-cli
SIM=$BUILD_DIR/tools/tallyhost-sim
if [ ! -x "$CLI" ] || [ ! -x "$SIM" ]; then
    cmake -S . -B "$BUILD_DIR" -G Ninja >/dev/null &&
        cmake --build "$BUILD_DIR" --target tallyhost-cli tallyhost-sim || exit 1
fi

failures=0
SIM_PID=
WORK=$(mktemp -d)
stop_sim() {
    if [ -n "$SIM_PID" ]; then
        kill "$SIM_PID" 2>/dev/null
        wait "$SIM_PID" 2>/dev/null
        SIM_PID=
    fi
}
trap 'stop_sim; rm -rf "$WORK"' EXIT

# Starts the simulator on the printer's adapter and waits for its port lines.
start_sim() {
    stop_sim
    "$SIM" "$@" >"$WORK/sim.out" 2>"$WORK/sim.err" &
    SIM_PID=$!
    for _ in $(seq 50); do
        [ "$(wc -l <"$WORK/sim.out")" -ge 2 ] && return 0
        kill -0 "$SIM_PID" 2>/dev/null || break
        sleep 0.1
    done
    echo "FAIL: the simulator did not start: $(cat "$WORK/sim.err")"
    failures=$((failures + 1))
    return 1
}

now() { date +%s.%N; }
elapsed_ms() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%d", (b - a) * 1000 }'; }

# check NAME MIN_MS MAX_MS COMMAND...: the command must succeed within its time window.
check() {
    local name=$1 min=$2 max=$3
    shift 3
    local start end ms
    start=$(now)
    "$@" >"$WORK/out" 2>&1
    local status=$?
    end=$(now)
    ms=$(elapsed_ms "$start" "$end")
    if [ $status -ne 0 ]; then
        echo "FAIL: $name (exit $status, ${ms} ms)"
        sed 's/^/    /' "$WORK/out"
        failures=$((failures + 1))
    elif [ "$ms" -lt "$min" ] || [ "$ms" -gt "$max" ]; then
        echo "FAIL: $name took ${ms} ms, expected ${min} to ${max} ms"
        failures=$((failures + 1))
    else
        echo "ok:   $name (${ms} ms)"
    fi
}

# Host frames at three speeds: each a short command and one of 200 bytes.
for baud in 1200 9600 38400; do
    start_sim --host-device "$PRINTER" --baud "$baud" || continue
    for round in 1 2 3; do
        check "host frame at $baud baud, round $round" 0 4000 \
            "$CLI" host-send --device "$HOST" --baud "$baud" -- "*" "round$round"
    done
    # 207 bytes: 1.7 s at 1200 baud, 54 ms at 38400.
    wire=$((207 * 10000 / baud))
    check "200-byte field at $baud baud" "$wire" $((wire + 4000)) \
        "$CLI" host-send --device "$HOST" --baud "$baud" -- "*" "$(printf 'B%.0s' $(seq 200))"
done

# A 1000-byte command at 1200 baud: 8.4 s on the wire, then the answer.
start_sim --host-device "$PRINTER" --baud 1200 &&
    check "1000-byte command at 1200 baud" 8400 12000 \
        "$CLI" host-send --device "$HOST" --baud 1200 -- "*" "$(printf 'L%.0s' $(seq 1000))"

# The printer holds DSR low for a second as the command's first field comes in: the host's
# output waits in the middle of the frame, and the answer wait starts only once the rest has
# left (a 307-byte frame: 0.3 s on the wire, then the printer's second of work).
cat >"$WORK/hold.ini" <<'INI'
[Host.Hold]
Match=H
Fault=dsr
Delay=1000
[Fiscal.Hold]
Match=D
Fault=dsr
Delay=1000
Frame1=0000
INI
start_sim --scenario "$WORK/hold.ini" --host-device "$PRINTER" --baud 9600 &&
    check "host frame held by DSR for 1 s at 9600 baud" 2300 6000 \
        "$CLI" host-send --device "$HOST" --baud 9600 -- "H" "$(printf 'D%.0s' $(seq 300))"

# The fiscal port: 9600 baud, no flow control, so a printer that drops DSR does not hold it.
start_sim --scenario "$WORK/hold.ini" --fiscal-device "$PRINTER" && {
    check "fiscal text at 9600 baud" 0 3000 "$CLI" aux-send --device "$HOST" -- "12"
    check "fiscal text while the printer drops DSR" 900 4000 \
        "$CLI" aux-send --device "$HOST" -- "D1"
    check "fiscal text after it" 0 3000 "$CLI" aux-send --device "$HOST" -- "12"
}

# Unplug and replug the program's adapter by hand.
if [ -t 0 ] && [ "${NO_UNPLUG:-0}" != 1 ]; then
    start_sim --host-device "$PRINTER" --baud 9600
    echo "Unplug the adapter of $HOST now (waiting up to 60 s) ..."
    for _ in $(seq 600); do [ -e "$HOST" ] || break; sleep 0.1; done
    if [ -e "$HOST" ]; then
        echo "SKIP: $HOST did not go away"
    else
        echo "... gone. Plug it in again (waiting up to 60 s) ..."
        for _ in $(seq 600); do [ -c "$HOST" ] && break; sleep 0.1; done
        sleep 1 # udev sets the permissions a moment after the node appears
        check "host frame after the replug" 0 4000 \
            "$CLI" host-send --device "$HOST" --baud 9600 -- "*" "back"
    fi
else
    echo "SKIP: unplug and replug (needs a terminal to ask on; NO_UNPLUG=1 skips it)"
fi

stop_sim
if [ $failures -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "All hardware checks passed"
