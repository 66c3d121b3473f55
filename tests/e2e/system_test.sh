#!/usr/bin/env bash
# Whole-system test under Wine: SYSMAN starts QUEUEMAN, the message converter
# and two modem controllers from SETUP.INI; a message is converted and sent
# from FCLASS-1 (COM1) to FCLASS-2 (COM2) through the modem line simulator.
# Checks the packets in QUEUEMAN's log, the sent message's history, the
# receive control file, and that the received pages decode (with our decoder
# and with libtiff) to the converted pages, the header line rows aside.
# With "port" it then takes COM2 offline and online again with port requests
# sent to SYSMAN by the packet tool.
#
#   system_test.sh <class 2|2.0> <port|noport> <modemsim> <faxpages> <SYSMAN.exe>
#                  <QUEUEMAN.exe> <msgconv.exe> <modemctl.exe> <tvpacket.exe>
#                  <source root> <work folder>
#
# Needs WINEPREFIX naming a booted prefix with a running wineserver.
set -uo pipefail
# The Wine loader of the tree under test (both Windows trees use this script).
WINE=${TAVRINE_WINE:-wine}
CLASS=$1 PORTTEST=$2 MODEMSIM=$3 FAXPAGES=$4
SYSMAN_EXE=$5 QUEUEMAN_EXE=$6 MSGCONV_EXE=$7 MODEMCTL_EXE=$8 TVPACKET=$9
ROOT=${10} WORK=${11}

fail() { printf 'FAIL: %s\n' "$*"; exit 1; }
for p in "$MODEMSIM" "$FAXPAGES"; do
    [ -x "$p" ] || fail "the native program $p is missing (build the native tree first)"
done
[ -n "${WINEPREFIX:-}" ] && [ -d "$WINEPREFIX/dosdevices" ] || fail "WINEPREFIX must name a booted Wine prefix"
for t in tiffsplit tifftopnm python3 gs; do command -v "$t" >/dev/null || fail "$t is not installed"; done
case $CLASS in
    2) PROFILE=class2 ;;
    2.0) PROFILE=class20 ;;
    *) fail "class must be 2 or 2.0" ;;
esac
export WINEDEBUG=-all

# ---- the areas, on drive S: of the prefix
rm -rf "$WORK"
mkdir -p "$WORK"
WORK=$(cd "$WORK" && pwd)
AREA=$WORK/area
LINE=$WORK/line
mkdir -p "$AREA" "$LINE"
cp -r "$ROOT/tests/e2e/sample/." "$AREA/"
sed -i 's/T:\\/S:\\/' "$AREA/SYSTEM/TAVRINE.INI"
for d in LOG REQUEST SERVER/T-DB SERVER/T-MAIL SERVER/T-TEMP SYSTEM/T-DB SYSTEM/T-COVER SYSTEM/T-LETTER \
         SYSTEM/T-GRAPH USERS/JSMITH/T-IN USERS/JSMITH/T-OUT USERS/JSMITH/T-GRAPH USERS/JSMITH/T-DB; do
    mkdir -p "$AREA/$d"
done
ln -sfn "$AREA" "$WINEPREFIX/dosdevices/s:"
export TFAXINIT='S:\SYSTEM'
cp "$SYSMAN_EXE" "$AREA/SERVER/SYSMAN.EXE"
cp "$QUEUEMAN_EXE" "$AREA/SERVER/QUEUEMAN.EXE"
cp "$MSGCONV_EXE" "$AREA/SERVER/MSGCONV.EXE"
cp "$MODEMCTL_EXE" "$AREA/SERVER/MODEMCTL.EXE"
cp "$ROOT"/fonts/*.FN "$AREA/SYSTEM/T-DB/"
cp "$ROOT"/fonts/*.FN "$AREA/SERVER/T-DB/"
INI=$AREA/SYSTEM/T-DB/SETUP.INI
sed -i 's/^\(Service: QUEUEMAN [^\r]*\)\(\r\?\)$/\1\2\nService: ZOROVIZ "MSGCONV.EXE"\2\nDevice: FCLASS-1 "MODEMCTL.EXE 1"\2\nDevice: FCLASS-2 "MODEMCTL.EXE 2"\2/' "$INI"
printf '\r\n[ZOROVIZ]\r\nDelayTime: 10\r\n' >>"$INI"
printf '\r\n[FCLASS-1]\r\nPort: COM1\r\nPhoneNum: 5550101\r\nDialType: TONE\r\n' >>"$INI"
printf '\r\n[FCLASS-2]\r\nPort: COM2\r\nPhoneNum: 5550102\r\nRecdUser: JSMITH\r\nReceiveOnly: Y\r\n' >>"$INI"
grep -q 'Device: FCLASS-2' "$INI" || fail "SETUP.INI was not extended"

# ---- the message: a text page and a picture attached as a fax file
OUT=$AREA/USERS/JSMITH/T-OUT
gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=tiffg3 -r204x196 -dMaxStripSize=0 -g1728x2156 \
   -sOutputFile="$AREA/USERS/JSMITH/T-GRAPH/PLAN.G3F" - <<'PS' || fail "Ghostscript made no attachment"
/Helvetica-Bold findfont 30 scalefont setfont 60 720 moveto (Floor plan - attached) show
5 setlinewidth 80 150 450 500 rectstroke 80 400 moveto 530 400 lineto stroke
/Helvetica findfont 20 scalefont setfont 120 500 moveto (Store) show 120 250 moveto (Office) show showpage
PS
printf '%s\r\n' '[TAVRINE]' 'Type: SendControl' 'Revision: A' '' '[DOCUMENT]' 'File: LINETEST.TXT' '' \
    '[MESSAGE]' 'Format: TXT' 'Accepted: 26-12-10 09:41:00' 'Type: SEND' 'Status: Su' '' \
    '[OPTIONS]' 'From: John Smith' 'FromTelephone: 555 0100' 'FromFax: 555 0101' 'Coversheet:' 'Letterhead:' \
    'Quality: HIGH' \
    'Attach: PLAN.G3F' '' '[ADDRESSEES]' 'ShortName: MILLER' 'AddrStatus: Wa' 'Name: Anna Miller' \
    'Organisation: Miller & Sons' 'Field: Name Anna Miller' 'Via: FAX-ANY 5550102' >"$OUT/LINETEST.CTL"
printf '%s\r\n' '' '%%[FONT:SWISS16]%%[BOLD:ON]Line test%%[BOLD:OFF]%%[FONT:ROMAN12]' '' \
    'A message sent by one fax modem controller and received by the other.' \
    'The plan of the new store is attached.' >"$OUT/LINETEST.TXT"

# ---- the modem line: two modems of the class under test
(cd "$LINE" && exec "$MODEMSIM" --prefix "$WINEPREFIX" --transcripts "$LINE" --ready "$LINE/ready" \
    --control "$LINE/control" --time-limit 300 --die-with-parent \
    -e "port 1 number=5550101 profile=$PROFILE" -e "port 2 number=5550102 profile=$PROFILE") \
    >"$LINE/modemsim.out" 2>&1 &
SIM_PID=$!
SYSMAN_PID=
TVPKT=$WORK/tvpacket.out
LOGFILE=$AREA/SERVER/T-DB/SERVER.LOG
finish() {
    if [ -n "$SYSMAN_PID" ] && kill -0 "$SYSMAN_PID" 2>/dev/null; then
        "$WINE" "$TVPACKET" send SYSMAN 99/0 timeout=3 >/dev/null 2>&1
        for _ in $(seq 60); do kill -0 "$SYSMAN_PID" 2>/dev/null || break; sleep 0.5; done
        kill "$SYSMAN_PID" 2>/dev/null
    fi
    echo stop >>"$LINE/control"
    for _ in $(seq 30); do kill -0 "$SIM_PID" 2>/dev/null || break; sleep 0.1; done
    kill "$SIM_PID" 2>/dev/null
    rm -f "$WINEPREFIX/dosdevices/s:"
}
trap finish EXIT
# On failure: the server log's lines of the programs under test.
show_log() {
    [ -f "$LOGFILE" ] && sed 's/\r$//' "$LOGFILE" | grep -v "MsgSendRequest()" | tail -80
}
die() { show_log; fail "$*"; }
for _ in $(seq 100); do [ -f "$LINE/ready" ] && break; sleep 0.1; done
[ -f "$LINE/ready" ] || { cat "$LINE/modemsim.out"; fail "the modem line simulator did not start"; }

# ---- SYSMAN starts the rest; the controllers register with QUEUEMAN
"$WINE" 'S:\SERVER\SYSMAN.EXE' </dev/null >"$WORK/sysman.out" 2>&1 &
SYSMAN_PID=$!
ok=0
for _ in $(seq 80); do
    n=$(grep -c "QUEUEMAN.*Device FCLASS.[12] registered" "$LOGFILE" 2>/dev/null)
    [ "${n:-0}" -ge 2 ] &&
        grep -q "TIFF message file converter" "$LOGFILE" && { ok=1; break; }
    sleep 0.5
done
[ "$ok" = 1 ] || die "the controllers did not register with QUEUEMAN (or the converter did not start)"
echo "both controllers registered"

# ---- the message: converted, sent by FCLASS-1, received by FCLASS-2
printf '%s\r\n' '[TAVRINE]' 'Type: Request' 'Revision: A' '' '[REQUEST]' 'Server: QueueMan' 'Type: SEND' \
    'User: JSMITH' 'File: LINETEST.CTL' >"$AREA/REQUEST/~RQST001.TMP"
mv "$AREA/REQUEST/~RQST001.TMP" "$AREA/REQUEST/~RQST001.CTL"
ok=0
for _ in $(seq 200); do
    if grep -q "QUEUEMAN.*Message LINETEST done" "$LOGFILE" && grep -q "QUEUEMAN.*Received message " "$LOGFILE"; then
        ok=1; break
    fi
    grep -q "QUEUEMAN.*Message LINETEST failed" "$LOGFILE" && break
    sleep 0.5
done
[ "$ok" = 1 ] || die "the message was not sent and received"
LOG=$(sed 's/\r$//' "$LOGFILE" | grep -v "MsgSendRequest()")

# The converted pages: the addressee's own file (coversheet; none here) and
# the pages common to all addressees, sent in that order.
SENT_A=$OUT/G3F/LINETEST.001
SENT_C=$OUT/G3F/LINETEST.G3F
[ -f "$SENT_A" ] && [ -f "$SENT_C" ] || die "no converted page files $SENT_A and $SENT_C"
mkdir -p "$WORK/ours" "$WORK/libtiff"
NA=$("$FAXPAGES" "$SENT_A" "$WORK/ours/sent") || die "our decoder cannot read $SENT_A"
NC=$("$FAXPAGES" "$SENT_C" "$WORK/ours/sent" $((NA + 1))) || die "our decoder cannot read $SENT_C"
PAGES=$((NA + NC))
[ "$PAGES" -ge 2 ] || die "the converted message has $PAGES page(s), expected the text and the attachment"
echo "converted: $PAGES page(s)"

has() { grep -qE "$1" <<<"$LOG" || die "not in the server log: $1"; }
has "QUEUEMAN +- \(I\) - Job [0-9]+: message LINETEST of JSMITH, addressee 1, to FCLASS-1, number 5550102"
has "QUEUEMAN .*Received 1/9 STATUS .*device=FCLASS/1 status=7 page=$PAGES"
has "QUEUEMAN .*Received 1/6 JOB RESULT len=26 code=0x0 device=FCLASS/1 id=[1-9][0-9]* status=7 seconds=[0-9]+ pages=$PAGES"
has "QUEUEMAN .*Message LINETEST done: addressee 1, $PAGES page\(s\)"
has "QUEUEMAN .*Received 1/8 NEW MESSAGE len=40 code=0x0 device=FCLASS/2 user='JSMITH' file='[^']+\.CTL'"
has "QUEUEMAN .*Received 1/6 JOB RESULT len=26 code=0x0 device=FCLASS/2 id=0 .* pages=$PAGES"
has "QUEUEMAN .*Received message S:.USERS.JSMITH.T-IN.[^:]+: $PAGES page\(s\)"
echo "QUEUEMAN: JOB sent; STATUS, JOB RESULT (code 0, $PAGES pages) and NEW MESSAGE received"

# The sent message's history: sent by FCLASS-1, result 0000, the pages.
HIST=$(sed 's/\r$//' "$OUT/LINETEST.CTL" | sed -n '/^\[HISTORY\]/,$p')
grep -qE "^SentOK: .* FCLASS-1 FAX-ANY \"Anna Miller\" \"5550102\" 0000 $PAGES " <<<"$HIST" ||
    die "history of the sent message: $HIST"

# The receive control file.
rx=$(grep "QUEUEMAN.*Received message " <<<"$LOG" | tail -1 | sed 's/.*Received message \(.*\): [0-9]* page(s).*/\1/')
rxname=${rx##*\\}
RXCTL=$AREA/USERS/JSMITH/T-IN/$rxname
[ -f "$RXCTL" ] || die "the receive control file $RXCTL is missing"
CTL=$(sed 's/\r$//' "$RXCTL")
for want in '^Type: ReceiveControl$' '^Status: (Re|OK)$' '^Type: RECEIVE$' "^From: FAX-[A-Z]+ '5550101'$" \
            '^\[ROUTING\]$' '^DTMF: ?$' '^SubAddr: ?$' '^FullCSID: 5550101$' '^CLI: ?$' \
            "^RecdOK: .* FCLASS-2 .* 0000 $PAGES "; do
    grep -qE "$want" <<<"$CTL" || { printf '%s\n' "$CTL"; die "receive control file lacks $want"; }
done
data=$(sed -n 's/^File: *//p' <<<"$CTL" | head -1)
RECV=$AREA/USERS/JSMITH/T-IN/$data
[ -f "$RECV" ] || die "the received page file $RECV is missing"
echo "received: $RXCTL ($data)"

# Both modems were driven in the class under test (the transcripts of the
# line: "> " the controller's commands, "< " the modem's replies).
for n in 1 2; do
    grep -aqE "> AT\+FCLASS=$CLASS\$" "$LINE/com$n.log" || die "COM$n was not set to Class $CLASS"
done
if [ "$CLASS" = 2 ]; then
    grep -aq "< +FCON" "$LINE/com1.log" && grep -aq "> AT+FET=2" "$LINE/com1.log" || die "no Class 2 send dialogue"
else
    grep -aq "< +FCO\$" "$LINE/com1.log" && grep -aq "< +FHS" "$LINE/com2.log" || die "no Class 2.0 dialogue"
fi

# ---- the pages: ours and libtiff's decoding of sent and received
GOT=$("$FAXPAGES" "$RECV" "$WORK/ours/recd" 2>"$WORK/ours/recd.err") || die "our decoder cannot read $RECV"
# Every row of the received pages is whole: none ends early or is missing.
[ ! -s "$WORK/ours/recd.err" ] || { cat "$WORK/ours/recd.err"; die "our decoder does not read every row of $RECV"; }
[ "$GOT" = "$PAGES" ] || die "received $GOT page(s), sent $PAGES"
# libtiff: the pages split into files, each decoded by tifftopnm (which
# warns of rows that end early: the received pages must have none).
tifftopnm_pages() { # fax file, output prefix, first number
    local dir=$2.split.$3 n=$3 f
    mkdir -p "$dir"
    tiffsplit "$1" "$dir/p" || return 1
    for f in "$dir"/p*.tif; do
        [ -f "$f" ] || continue
        tifftopnm "$f" >"$2-$n.pbm" 2>>"$WORK/libtiff/warnings.txt" || return 1
        n=$((n + 1))
    done
    echo $((n - $3))
}
[ "$NA" = 0 ] || [ "$(tifftopnm_pages "$SENT_A" "$WORK/libtiff/sent" 1)" = "$NA" ] ||
    die "libtiff does not read $SENT_A"
[ "$(tifftopnm_pages "$SENT_C" "$WORK/libtiff/sent" $((NA + 1)))" = "$NC" ] || die "libtiff does not read $SENT_C"
touch "$WORK/libtiff/warnings.txt"
seen=$(wc -l <"$WORK/libtiff/warnings.txt")
[ "$(tifftopnm_pages "$RECV" "$WORK/libtiff/recd" 1)" = "$PAGES" ] || die "libtiff does not read $RECV"
if tail -n +"$((seen + 1))" "$WORK/libtiff/warnings.txt" | grep -q "Premature EOL"; then
    tail -n +"$((seen + 1))" "$WORK/libtiff/warnings.txt" | head -5
    die "libtiff finds rows of $RECV that end early"
fi
python3 "$ROOT/tests/e2e/pbmcompare.py" "$WORK" "$PAGES" || die "the received pages differ from the sent ones"

# ---- port offline and online through SYSMAN, as the port control library asks
if [ "$PORTTEST" = port ]; then
    "$WINE" "$TVPACKET" send SYSMAN PORT-REQUEST port=COM2 offline=1 id=4711 'reply=TVCTL\7' \
        'listen=TVCTL\7' wait=40 count=1 >"$TVPKT" 2>&1
    cat "$TVPKT"
    grep -qE "8/1 .*code=0x0 .*id=4711" "$TVPKT" || die "no PORT REPLY 0 for the offline request"
    ok=0
    for _ in $(seq 40); do
        sed 's/\r$//' "$LOGFILE" | grep -qE "QUEUEMAN .*Received 1/9 STATUS .*device=FCLASS/2 status=4 " && { ok=1; break; }
        sleep 0.5
    done
    [ "$ok" = 1 ] || die "FCLASS-2 did not report DEVICE OFFLINE to QUEUEMAN"
    mark=$(wc -l <"$LOGFILE")
    "$WINE" "$TVPACKET" send SYSMAN PORT-REQUEST port=COM2 offline=0 id=4711 'reply=TVCTL\7' >/dev/null 2>&1 ||
        die "the online request was not sent"
    ok=0
    for _ in $(seq 80); do
        tail -n +"$mark" "$LOGFILE" | sed 's/\r$//' |
            grep -qE "QUEUEMAN .*Received 1/9 STATUS .*device=FCLASS/2 status=1 " && { ok=1; break; }
        sleep 0.5
    done
    [ "$ok" = 1 ] || die "FCLASS-2 did not come back online"
    grep -q "FCLASS-2 .*Online request received" "$LOGFILE" || die "FCLASS-2 did not log the online request"
    echo "COM2 taken offline (PORT REPLY 0) and online again"
fi
echo "PASS: class $CLASS"
exit 0
