#!/bin/sh
# Runs efax_line_test: efax on the simulated line against our modem
# controller under Wine.
#   run_efax_line.sh <native modemsim> <work folder> <modemctl.exe> wine <efax_line_test.exe> [args...]
# Starts the simulator (COM1/COM2 Class 2 modems, COM3/COM4 Class 2.0 ones;
# efax takes COM1 and COM3 through the link folder, the controllers COM2 and
# COM4 through the Wine prefix) and a helper that runs efax, tifftopnm and
# efix when the test asks (see efax_line_test.cpp). Missing tools fail the
# test: ./tavrine.sh installs them.
set -u
SIM=$1
WORK=$2
CTL=$3
shift 3
# The Wine loader of the tree under test (both Windows trees use this script).
WINE=${TAVRINE_WINE:-wine}
[ "$1" = wine ] && shift && set -- "$WINE" "$@"

for tool in efax efix tifftopnm "$WINE" timeout; do
    if ! command -v $tool >/dev/null 2>&1; then
        echo "$tool is missing (./tavrine.sh installs efax, libtiff-tools, netpbm and wine)"
        exit 1
    fi
done
if [ ! -x "$SIM" ]; then
    echo "the native modem line simulator is missing: $SIM (build the native tree first)"
    exit 1
fi
if [ ! -f "$CTL" ]; then
    echo "the modem controller is missing: $CTL"
    exit 1
fi
if [ -z "${WINEPREFIX:-}" ] || [ ! -d "$WINEPREFIX/dosdevices" ]; then
    echo "WINEPREFIX must name a booted Wine prefix"
    exit 1
fi
rm -rf "$WORK"
mkdir -p "$WORK/links"
WORK=$(cd "$WORK" && pwd)
TAVRINE_LINE_WORK=$("$WINE" winepath.exe -w "$WORK" 2>/dev/null)
TAVRINE_MODEMCTL=$("$WINE" winepath.exe -w "$CTL" 2>/dev/null)
export TAVRINE_LINE_WORK TAVRINE_MODEMCTL WINEDEBUG=-all

# The page efax sends: the test's pattern, as efax's own TIFF, and that
# TIFF as libtiff reads it (efix pads the page to full length).
"$@" --make-pages
efix -i pbm -o tiffg3 "$WORK/page.pbm" >"$WORK/page.tif" 2>"$WORK/efix.log" &&
    tifftopnm "$WORK/page.tif" >"$WORK/sent.pbm" 2>>"$WORK/efix.log"
if [ $? -ne 0 ] || [ ! -s "$WORK/sent.pbm" ]; then
    echo "could not make the page efax sends:"
    cat "$WORK/efix.log"
    exit 1
fi

cd "$WORK" || exit 1
"$SIM" --prefix "$WINEPREFIX" --link-dir "$WORK/links" --transcripts "$WORK" --ready "$WORK/ready" \
       --control "$WORK/control" --time-limit 300 --die-with-parent \
       -e "port 1 number=1001 profile=class2" -e "port 2 number=1002 profile=class2" \
       -e "port 3 number=1003 profile=class20" -e "port 4 number=1004 profile=class20" \
       -e "set ring=500 rate=2400" >"$WORK/modemsim.out" 2>&1 &
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
for n in 1 2 3 4; do
    ln -s "com$n.log" "$WORK/transcript$n.txt"
done

ID="+1 555 0199"
# One job of the test: "send <class> <port> <number>" (efax sends page.tif),
# "recv <class> <port>" (efax receives one call into <job>.001 ...; the page
# is decoded into <job>.pbm and <job>.efix.pbm), "pnm <file>" (tifftopnm).
run_job() {
    job=$1
    kind=$2
    shift 2
    rc=0
    case $kind in
    send)
        timeout 60 efax -d "$WORK/links/com$2" -o"$1" -x "$WORK/lock$2" -l "$ID" -h "" -v ewinchamr \
            -t "$3" "$WORK/page.tif" >"$WORK/$job.log" 2>&1
        rc=$?
        ;;
    recv)
        timeout 60 efax -d "$WORK/links/com$2" -o"$1" -w -iS0=1 -x "$WORK/lock$2" -l "$ID" \
            -r "$WORK/$job" -v ewinchamr >"$WORK/$job.log" 2>&1 &
        efaxpid=$!
        i=0
        while ! grep -q "waiting for activity" "$WORK/$job.log" 2>/dev/null && [ $i -lt 200 ]; do
            kill -0 $efaxpid 2>/dev/null || break
            i=$((i + 1))
            sleep 0.1
        done
        : >"$WORK/$job.ready"
        wait $efaxpid
        rc=$?
        if [ $rc -eq 0 ]; then
            tifftopnm "$WORK/$job.001" >"$WORK/$job.pbm" 2>>"$WORK/$job.log" || rc=90
            efix -o pbm "$WORK/$job.001" >"$WORK/$job.efix.pbm" 2>>"$WORK/$job.log" || rc=91
        fi
        ;;
    pnm)
        tifftopnm "$WORK/$1" >"$WORK/$job.pbm" 2>"$WORK/$job.log"
        rc=$?
        ;;
    *)
        echo "unknown job $kind" >"$WORK/$job.log"
        rc=99
        ;;
    esac
    echo $rc >"$WORK/$job.rc.tmp"
    mv "$WORK/$job.rc.tmp" "$WORK/$job.rc"
}

helper() {
    while [ ! -f "$WORK/helper.stop" ]; do
        for req in "$WORK"/*.req; do
            [ -f "$req" ] || continue
            job=$(basename "$req" .req)
            line=$(cat "$req")
            rm -f "$req"
            # shellcheck disable=SC2086
            run_job "$job" $line &
        done
        sleep 0.1
    done
    wait
}
helper &
HELPERPID=$!

"$@"
rc=$?

: >"$WORK/helper.stop"
wait $HELPERPID
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
