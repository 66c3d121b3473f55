#!/bin/sh
# Wine test of the modem line simulator: the native simulator maps a pty as
# COM1 of the test prefix, and a Win32 program opens it and says AT.
#   run_comprobe.sh <native modemsim> <comprobe.exe> <work folder>
set -u
# The Wine loader of the tree under test (both Windows trees use this script).
WINE=${TAVRINE_WINE:-wine}
SIM=$1
PROBE=$2
WORK=$3

if [ ! -x "$SIM" ]; then
    echo "the native modem line simulator is missing: $SIM (build the native tree first)"
    exit 1
fi
if [ -z "${WINEPREFIX:-}" ] || [ ! -d "$WINEPREFIX/dosdevices" ]; then
    echo "WINEPREFIX must name a booted Wine prefix"
    exit 1
fi
rm -rf "$WORK"
mkdir -p "$WORK"

# The simulator ends with this script (--die-with-parent), on the stop line,
# or after its time limit at the latest.
"$SIM" --prefix "$WINEPREFIX" --transcripts "$WORK" --ready "$WORK/ready" \
       --control "$WORK/control" --time-limit 90 --die-with-parent \
       -e "port 1 number=1001" -e "port 2 number=1002" >"$WORK/modemsim.out" 2>&1 &
SIMPID=$!

i=0
while [ ! -f "$WORK/ready" ]; do
    i=$((i + 1))
    if [ $i -gt 100 ] || ! kill -0 $SIMPID 2>/dev/null; then
        echo "the simulator did not start:"
        cat "$WORK/modemsim.out"
        kill $SIMPID 2>/dev/null
        exit 1
    fi
    sleep 0.1
done

"$WINE" "$PROBE" COM1
rc=$?
if [ $rc = 0 ]; then
    "$WINE" "$PROBE" COM1 COM2 1002
    rc=$?
fi

echo stop >>"$WORK/control"
i=0
while kill -0 $SIMPID 2>/dev/null; do
    i=$((i + 1))
    if [ $i -gt 50 ]; then
        echo "the simulator did not stop"
        kill $SIMPID
        rc=1
        break
    fi
    sleep 0.1
done
wait $SIMPID 2>/dev/null

echo "--- COM1 transcript"
cat "$WORK/com1.log"
echo "--- COM2 transcript"
cat "$WORK/com2.log"
for want in 'com1.log: > AT$' 'com1.log: < OK$' 'com1.log: > AT+FCLASS=?$' 'com1.log: > ATE0V0$' \
            'com1.log: > ATDT1002$' 'com1.log: > \[page data 258 bytes, DLE 0x03\]$' \
            'com2.log: < RING$' 'com2.log: > <DC2>$' 'com2.log: < +FHNG: 0$'; do
    file=${want%%:*}
    if ! grep -q -- "${want#*:}" "$WORK/$file"; then
        echo "$file lacks '${want#*:}'"
        rc=1
    fi
done
if [ -L "$WINEPREFIX/dosdevices/com1" ] && readlink "$WINEPREFIX/dosdevices/com1" | grep -q '^/dev/pts/'; then
    echo "COM1 still points at the simulator's pty"
    rc=1
fi
exit $rc
