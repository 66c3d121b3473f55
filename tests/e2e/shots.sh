#!/usr/bin/env bash
# Screenshots of the client's windows: the main window with messages in
# each list, the About box, the welcome window, the information box and the
# login dialog, as PNG files.
#
#   shots.sh <checkout> <build folder> <Windows tree> <out folder> [main-only]
#
# Called by "./tavrine.sh shots" (and by the sample run for the main window
# alone) with the Wine prefix booted, a persistent wineserver and the X
# display running. TFAXINIT must name an installation whose server area
# holds SYSMAN.EXE and QUEUEMAN.EXE; the server is started for the client
# and stopped afterwards. Prints one "shot: <path>" line per picture.
set -euo pipefail
WINE=${TAVRINE_WINE:-wine}
ROOT=$1
WIN=$3
OUT=$4
MODE=${5:-all}
SERVER_AREA=${SHOTS_SERVER_AREA:?the server area (a Windows path) is not set}
TVPACKET=$WIN/standins/tvpacket/tvpacket.exe
mkdir -p "$OUT"
rm -f "$OUT"/*.done

# Xvfb runs no window manager: Wine draws the captions and frames itself,
# so that the pictures show them. The setting is taken back at the end.
"$WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1 || true

# The server's presence: SYSMAN holds the request area's lock.
"$WINE" "${SERVER_AREA}SYSMAN.EXE" </dev/null >"$OUT/sysman.out" 2>&1 &
SYSMAN_PID=$!
DRIVER_PID=
stop_all() {
    [ -n "$DRIVER_PID" ] && kill "$DRIVER_PID" 2>/dev/null || true
    "$WINE" "$TVPACKET" send SYSMAN 99/0 timeout=3 >/dev/null 2>&1 || true
    for _ in $(seq 40); do kill -0 "$SYSMAN_PID" 2>/dev/null || break; sleep 0.5; done
    kill "$SYSMAN_PID" 2>/dev/null || true
    rm -f "$OUT/driver.fifo" "$OUT"/*.done
    "$WINE" reg delete 'HKCU\Software\Wine\X11 Driver' /v Decorated /f >/dev/null 2>&1 || true
}
trap stop_all EXIT
alive=0
for _ in $(seq 60); do
    if "$WINE" "$TVPACKET" send SYSMAN PING timeout=0 >/dev/null 2>&1; then alive=1; break; fi
    sleep 0.5
done
[ "$alive" = 1 ] || { cat "$OUT/sysman.out"; echo "shots: SYSMAN did not start" >&2; exit 1; }

# The driver puts each window up and names it; the picture is taken here
# with xwd and ImageMagick, then the driver is told to go on.
rm -f "$OUT/driver.fifo"
mkfifo "$OUT/driver.fifo"
winout=$("$WINE" winepath -w "$OUT" 2>/dev/null | tr -d '\r')
args=("$WIN/client/shell/TAVRINE.exe" "$winout")
[ "$MODE" = main-only ] && args+=(main-only)
"$WINE" "$WIN/tests/e2e/shotdriver.exe" "${args[@]}" >"$OUT/driver.fifo" 2>"$OUT/driver.err" </dev/null &
DRIVER_PID=$!
failed=0
while read -r word name xid; do
    xid=${xid%$'\r'}
    [ "$word" = shot ] || continue
    # Wine removes the X window of a closed window (the welcome window)
    # only when the client next talks to the X server: wait until it has.
    for _ in $(seq 50); do
        xwininfo -root -children 2>/dev/null | grep -q '(has no name): ("tavrine' || break
        sleep 0.2
    done
    if ! SHOT_WAIT_SECONDS=20 sh "$ROOT/tests/support/gui/shot.sh" "$xid" "$OUT/$name.png"; then
        failed=1
    fi
    : >"$OUT/$name.done"
done <"$OUT/driver.fifo"
wait "$DRIVER_PID" || failed=1
DRIVER_PID=
if [ "$failed" != 0 ]; then
    cat "$OUT/driver.err" >&2
    echo "shots: not every window could be photographed" >&2
    exit 1
fi
