#!/bin/sh
# Outside check of the modem line simulator: efax (a Class 2 / 2.0 fax
# program no one here wrote) sends a two-page TIFF through the simulated
# line to another efax, once in Class 2 and once in Class 2.0, and the
# received pages must decode to the sent pixels.
#   efax_check.sh <native modemsim> <work folder>
set -u
SIM=$1
WORK=$2

for tool in efax efix tifftopnm python3; do
    if ! command -v $tool >/dev/null 2>&1; then
        echo "$tool is missing (./tavrine.sh installs efax, libtiff-tools, netpbm and python3)"
        exit 1
    fi
done
if [ ! -x "$SIM" ]; then
    echo "the modem line simulator is missing: $SIM"
    exit 1
fi
rm -rf "$WORK"
mkdir -p "$WORK/links"
cd "$WORK" || exit 1

# A test page: bars and a checker pattern, 1728 pels wide.
python3 - <<'PY'
w, h = 1728, 120
with open("page.pbm", "w") as out:
    out.write("P1\n%d %d\n" % (w, h))
    for y in range(h):
        out.write("".join("1" if ((x // 37 + y // 7) % 3 == 0 or 100 < x < 140) else "0"
                          for x in range(w)) + "\n")
PY
efix -i pbm -o tiffg3 page.pbm >page.tif 2>efix.log || { echo "efix failed"; cat efix.log; exit 1; }
tifftopnm page.tif >sent.pbm 2>/dev/null || { echo "tifftopnm failed on the sent page"; exit 1; }

rc=0
for class in 2 0; do
    name=class$class
    rm -f ready control rx.*
    "$SIM" --link-dir "$WORK/links" --transcripts "$WORK" --ready ready --control control \
           --time-limit 120 --die-with-parent \
           -e "port 1 number=1001" -e "port 2 number=1002" -e "set ring=500 rate=20000" \
           >"$name.sim.log" 2>&1 &
    simpid=$!
    i=0
    while [ ! -f ready ]; do
        i=$((i + 1))
        if [ $i -gt 100 ]; then echo "$name: the simulator did not start"; cat "$name.sim.log"; exit 1; fi
        sleep 0.1
    done
    # The receiver lets the modem answer by itself (S0=1) and waits for it.
    timeout 90 efax -d "$WORK/links/com2" -o$class -w -iS0=1 -x "$WORK/lock2" -r "$WORK/rx" \
        -v ewinchamr >"$name.rx.log" 2>&1 &
    rxpid=$!
    sleep 1
    timeout 90 efax -d "$WORK/links/com1" -o$class -x "$WORK/lock1" -h "" -v ewinchamr \
        -t 1002 page.tif page.tif >"$name.tx.log" 2>&1
    txrc=$?
    wait $rxpid
    rxrc=$?
    echo stop >>control
    wait $simpid
    simrc=$?
    if [ $txrc -ne 0 ] || [ $rxrc -ne 0 ] || [ $simrc -ne 0 ]; then
        echo "$name: efax send $txrc, efax receive $rxrc, simulator $simrc"
        tail -20 "$name.tx.log" "$name.rx.log" "$name.sim.log"
        rc=1
        continue
    fi
    if grep -q "reception errors" "$name.rx.log"; then
        echo "$name: efax reports reception errors"
        rc=1
    fi
    for page in 001 002; do
        if ! tifftopnm "rx.$page" >"$name.$page.pbm" 2>/dev/null; then
            echo "$name: page $page not received"
            rc=1
            continue
        fi
        # efax puts 20 blank scan lines above each page it sends.
        if ! python3 - "$name.$page.pbm" sent.pbm <<'PY'
import sys
def rows(path):
    data = open(path, "rb").read()
    magic, size, pixels = data.split(b"\n", 2)
    w, h = map(int, size.split())
    n = (w + 7) // 8
    return [pixels[i * n:(i + 1) * n] for i in range(h)]
got, sent = rows(sys.argv[1]), rows(sys.argv[2])
blank = got[:len(got) - len(sent)]
ok = len(got) == len(sent) + 20 and got[20:] == sent and all(not any(r) for r in blank)
sys.exit(0 if ok else 1)
PY
        then
            echo "$name: received page $page differs from the sent page"
            rc=1
        fi
    done
    # The dialogue passed through the simulator as each class has it.
    if [ $class = 2 ]; then want='+FPTS: 1'; else want='+FPS: 1'; fi
    if ! grep -q -- "< $want" com2.log; then
        echo "$name: '$want' missing from the receiver's transcript"
        rc=1
    fi
    echo "$name: efax to efax through the simulated line: $([ $rc = 0 ] && echo ok || echo FAILED)"
done
exit $rc
