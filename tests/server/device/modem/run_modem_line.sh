#!/bin/sh
# Runs the modem line test against the modem line simulator.
#   run_modem_line.sh <native modemsim> <work folder> <program> [args...]
# The program is the native test binary, or "wine" and the Windows one (run
# with the loader in TAVRINE_WINE); with a Wine prefix in WINEPREFIX the
# simulator's ports become its COM ports.
set -u
SIM=$1
WORK=$2
shift 2
# The Wine loader of the tree under test (both Windows trees use this script).
WINE=${TAVRINE_WINE:-wine}

if [ ! -x "$SIM" ]; then
    echo "the native modem line simulator is missing: $SIM (build the native tree first)"
    exit 1
fi
rm -rf "$WORK"
mkdir -p "$WORK/links"
WORK=$(cd "$WORK" && pwd)

PREFIX_ARGS=""
if [ "$1" = "wine" ]; then
    if [ -z "${WINEPREFIX:-}" ] || [ ! -d "$WINEPREFIX/dosdevices" ]; then
        echo "WINEPREFIX must name a booted Wine prefix"
        exit 1
    fi
    PREFIX_ARGS="--prefix $WINEPREFIX"
else
    PREFIX_ARGS="--prefix $WORK/noprefix"
    mkdir -p "$WORK/noprefix/dosdevices"
fi

export TAVRINE_COM_DIR="$WORK/links"
if [ "$1" = "wine" ]; then
    TAVRINE_LINE_WORK=$("$WINE" winepath.exe -w "$WORK" 2>/dev/null)
    export TAVRINE_LINE_WORK WINEDEBUG=-all
    shift
    set -- "$WINE" "$@"
else
    export TAVRINE_LINE_WORK="$WORK"
fi
# The remote caller's pages, made by the test program.
"$@" --make-pages
if [ ! -f "$WORK/rp2.g3" ]; then
    echo "the test program made no pages"
    exit 1
fi

# Ports 1-2: a Class 2 pair; 3-4: a Class 2.0 pair; 5 hears BUSY; 6 is an
# ISDN terminal adaptor with extended ring reports; 7 (Class 2) drops the
# line in its second page to 8, a voice modem of both classes. 2000, 2001 and
# 2002 are remote fax machines: 2001 calls when the test asks it, 2002 never
# answers.
# The simulator runs in the work folder so that page file names stay short.
cd "$WORK" || exit 1
# shellcheck disable=SC2086
"$SIM" $PREFIX_ARGS --link-dir "$WORK/links" --transcripts "$WORK" --ready "$WORK/ready" \
       --control "$WORK/control" --time-limit 600 --die-with-parent \
       -e "port 1 number=1001 profile=class2" -e "port 2 number=1002 profile=class2" \
       -e "port 3 number=1003 profile=class20" -e "port 4 number=1004 profile=class20" \
       -e "port 5 number=1005 profile=class2" -e "port 6 number=1006 profile=spartadis" \
       -e "port 7 number=1007 profile=class2" -e "port 8 number=1008 profile=generic" \
       -e 'remote 2000 id="REMOTE FAX"' -e "remote 2002 rings=0" -e "set ringlimit=3" \
       -e "remote 2001 id=\"CALLER ID\" cli=0123 sub=55 pages=rp1.g3,rp2.g3" \
       -e "fault 5 busy" -e "fault 7 drop page=2 bytes=300 code=70" \
       >"$WORK/modemsim.out" 2>&1 &
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

# The transcripts comN.log under names that are no device on Windows.
for n in 1 2 3 4 5 6 7 8; do
    ln -s "com$n.log" "$WORK/transcript$n.txt"
done

"$@"
rc=$?

echo stop >>"$WORK/control"
i=0
while kill -0 $SIMPID 2>/dev/null; do
    i=$((i + 1))
    if [ $i -gt 50 ]; then
        kill $SIMPID
        break
    fi
    sleep 0.1
done
wait $SIMPID 2>/dev/null
exit $rc
