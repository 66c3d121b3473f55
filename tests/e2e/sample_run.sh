#!/usr/bin/env bash
# Runs the system on the built-in sample configuration.
#
# Called by "./tavrine.sh run" with the Wine prefix booted and a persistent
# wineserver running. Lays the sample areas out under the build folder, maps
# them to drive T: of the prefix and runs what the system can do so far.
set -euo pipefail
# The Wine loader of the tree under test (both Windows trees use this script).
WINE=${TAVRINE_WINE:-wine}
ROOT=$1
BUILD=$2
WIN=${3:-$BUILD/win}   # the Windows tree whose programs run
SAMPLE=$BUILD/sample

say() { printf '%s\n' "$*"; }

# ---- lay out the sample configuration
rm -rf "$SAMPLE"
mkdir -p "$SAMPLE"
cp -r "$ROOT/tests/e2e/sample/." "$SAMPLE/"
for d in LOG REQUEST SERVER/T-DB SERVER/T-MAIL SYSTEM/T-DB \
         USERS/JSMITH/T-IN USERS/JSMITH/T-OUT USERS/JSMITH/T-GRAPH USERS/JSMITH/T-DB \
         USERS/ADMIN/T-IN USERS/ADMIN/T-OUT USERS/ADMIN/T-GRAPH USERS/ADMIN/T-DB; do
    mkdir -p "$SAMPLE/$d"
done
ln -sfn "$SAMPLE" "$WINEPREFIX/dosdevices/t:"
export TFAXINIT='T:\SYSTEM'
say "sample configuration: $SAMPLE (drive T: in the Wine prefix), TFAXINIT=$TFAXINIT"

# ---- the configuration reads back
"$WINE" "$WIN/diag/tvconfig.exe"

# ---- SYSMAN and QUEUEMAN on the sample configuration
# The server programs live in the server area (T:\SERVER), where the program
# lines of SETUP.INI find them: the supervisor's part is played here by
# starting SYSMAN, which starts QUEUEMAN from its "Service:" line. The packet
# tool then shows them alive and stops them with the general stop packet.
say ""
say "== server managers: SYSMAN and QUEUEMAN"
cp "$WIN/standins/sysman/SYSMAN.exe" "$SAMPLE/SERVER/SYSMAN.EXE"
cp "$WIN/standins/queueman/QUEUEMAN.exe" "$SAMPLE/SERVER/QUEUEMAN.EXE"
cp "$WIN/standins/tserver/TSERVER.exe" "$SAMPLE/SERVER/TSERVER.EXE"
TVPACKET=$WIN/standins/tvpacket/tvpacket.exe
# The supervisor's stand-in only logs its start.
"$WINE" 'T:\SERVER\TSERVER.EXE' </dev/null >"$SAMPLE/LOG/TSERVER.OUT" 2>&1 ||
    { cat "$SAMPLE/LOG/TSERVER.OUT"; say "the TSERVER stand-in failed"; exit 1; }
"$WINE" 'T:\SERVER\SYSMAN.EXE' </dev/null >"$SAMPLE/LOG/SYSMAN.OUT" 2>&1 &
SYSMAN_PID=$!
stop_sysman() { kill "$SYSMAN_PID" 2>/dev/null || true; }
trap stop_sysman EXIT
alive=0
for _ in $(seq 40); do
    if "$WINE" "$TVPACKET" send SYSMAN PING timeout=0 >"$SAMPLE/LOG/PING.OUT" 2>&1; then alive=1; break; fi
    sleep 0.5
done
[ "$alive" = 1 ] || { cat "$SAMPLE/LOG/PING.OUT" "$SAMPLE/LOG/SYSMAN.OUT"; say "SYSMAN did not start"; exit 1; }
say "ping:"
cat "$SAMPLE/LOG/PING.OUT"
say "queue status (the packet tool plays TSERVER):"
"$WINE" "$TVPACKET" send QUEUEMAN QUEUE-STATUS-REQUEST listen=TSERVER wait=10
say "stop:"
"$WINE" "$TVPACKET" send SYSMAN 99/0 timeout=3
for _ in $(seq 60); do kill -0 "$SYSMAN_PID" 2>/dev/null || break; sleep 0.5; done
if kill -0 "$SYSMAN_PID" 2>/dev/null; then say "SYSMAN did not stop"; exit 1; fi
wait "$SYSMAN_PID" || { say "SYSMAN ended with an error"; exit 1; }
trap - EXIT
say "after the stop:"
"$WINE" "$TVPACKET" send SYSMAN PING timeout=0 || true
say "server log ($SAMPLE/SERVER/T-DB/SERVER.LOG):"
sed 's/\r$//' "$SAMPLE/SERVER/T-DB/SERVER.LOG"
say "message directory files QUEUEMAN made:"
(cd "$SAMPLE" && find USERS -name MSGDIR.CTL | sort)

# ---- message converter: a sample message converted through QUEUEMAN
# (block of the converter). The fonts go where the converter looks for
# them (the system area's T-DB); SYSMAN starts the converter from a
# "Service: ZOROVIZ" line added to this run's SETUP.INI. A SEND request
# makes QUEUEMAN send one CONVERT per addressee; the page files are then
# listed with a summary each.
say ""
say "== message converter: a sample message through QUEUEMAN and msgconv"
cp "$ROOT"/fonts/*.FN "$SAMPLE/SYSTEM/T-DB/"
cp "$WIN/server/convert/msgconv.exe" "$SAMPLE/SERVER/MSGCONV.EXE"
sed -i 's/^\(Service: QUEUEMAN [^\r]*\)\(\r\?\)$/\1\2\nService: ZOROVIZ "MSGCONV.EXE"\2/' "$SAMPLE/SYSTEM/T-DB/SETUP.INI"
printf '\r\n[ZOROVIZ]\r\nDelayTime: 10\r\n' >>"$SAMPLE/SYSTEM/T-DB/SETUP.INI"
mkdir -p "$SAMPLE/SYSTEM/T-COVER" "$SAMPLE/SYSTEM/T-LETTER" "$SAMPLE/SYSTEM/T-GRAPH"
OUT=$SAMPLE/USERS/JSMITH/T-OUT
GS="gs -q -dSAFER -dBATCH -dNOPAUSE -sDEVICE=tiffg3 -r204x196 -dMaxStripSize=0"
# Letterhead and attachment: fax TIFF files made by Ghostscript (fill order
# 1, 196 lines per inch), as outside programs make them.
$GS -g1728x260 -sOutputFile="$SAMPLE/SYSTEM/T-LETTER/LETTER.G3F" - <<'PS'
/Times-Bold findfont 40 scalefont setfont 40 60 moveto (Northwind Trading Ltd) show
/Helvetica findfont 14 scalefont setfont 40 35 moveto (12 Harbour Road, Portsmouth - Telephone 555 0100) show
3 setlinewidth 40 22 moveto 800 22 lineto stroke showpage
PS
$GS -g1728x2156 -sOutputFile="$SAMPLE/USERS/JSMITH/T-GRAPH/CHART.G3F" - <<'PS'
/Helvetica-Bold findfont 28 scalefont setfont 60 720 moveto (Sales by quarter - attached chart) show
4 setlinewidth 80 650 moveto 80 200 lineto 560 200 lineto stroke
/bar { /h exch def /x exch def x 200 moveto 0 h rlineto 60 0 rlineto 0 h neg rlineto closepath fill } def
120 180 bar 220 320 bar 320 260 bar 420 400 bar
/Helvetica findfont 18 scalefont setfont
125 175 moveto (Q1) show 225 175 moveto (Q2) show 325 175 moveto (Q3) show 425 175 moveto (Q4) show showpage
PS
# Coversheet: an EPSON stream with the addressee's fields and the covertext,
# on a framed background.
{
    printf '\033@\033W1FAX MESSAGE\033W0\r\n\r\n'
    printf 'To:        %%%%[Name]\r\n           %%%%[Organisation]\r\n           %%%%[Fax]\r\n\r\n'
    printf 'From:      %%%%[FROM]\r\nTelephone: %%%%[FROMTELEPHONE]\r\nDate:      %%%%[DATE] %%%%[TIME]\r\n'
    printf 'Pages:     %%%%[PAGES] including this one\r\n\r\n\033E%%%%[COVERTEXT]\r\n%%%%[COVERTEXT]\033F\r\n'
} >"$SAMPLE/SYSTEM/T-COVER/COVER.EPN"
$GS -g1728x2156 -sOutputFile="$SAMPLE/SYSTEM/T-COVER/COVER.G3F" - <<'PS'
6 setlinewidth 24 24 562 744 rectstroke showpage
PS
# The message: control file with two addressees, a text document with
# commands and variables, an EPSON printer stream from Ghostscript.
cat >"$OUT/SAMPLE1.CTL" <<'CTL'
[TAVRINE]
Type: SendControl
Revision: A

[DOCUMENT]
File: SAMPLE1.TXT

[MESSAGE]
Format: TXT
Accepted: 26-12-10 09:41:00
Type: SEND
Status: Su

[OPTIONS]
From: John Smith
FromTelephone: 555 0100
FromFax: 555 0101
FromEmail: jsmith@northwind.example
FromParam:
Coversheet: COVER
Letterhead: LETTER
Quality: HIGH
Covertext: Here are the quarterly figures we spoke about.
Covertext: The chart is attached on the last page.
Attach: CHART.G3F

[ADDRESSEES]
ShortName: MILLER
AddrStatus: Wa
Name: Anna Miller
Organisation: Miller & Sons
Field: Name Anna Miller
Field: Organisation Miller & Sons
Field: Fax 555 0199
Via: FAX-ANY 5550199
ShortName: OKAFOR
AddrStatus: Wa
Name: Chidi Okafor
Organisation: Okafor Imports
Field: Name Chidi Okafor
Field: Organisation Okafor Imports
Field: Fax 555 0288
Via: FAX-ANY 5550288
CTL
sed -i 's/$/\r/' "$OUT/SAMPLE1.CTL"
cat >"$OUT/SAMPLE1.TXT" <<'TXT'




%%[FONT:SWISS16]%%[BOLD:ON]Quarterly figures%%[BOLD:OFF]%%[FONT:ROMAN12]

Sent by %%[FROM] (%%[FROMEMAIL]) on %%[DATE] at %%[TIME].

%%[UNDERLINE:ON]Summary%%[UNDERLINE:OFF]
Sales rose in every quarter; the fourth was the best of the year at
12% above plan. Details follow on the next page, printed from the
accounts program, and the chart is attached.

%%[XPOS:300]Indented to 300 (XPOS)
%%[DOWN:20]%%[LMARGIN:4]Twenty rows further down, left margin 4.
%%[LMARGIN:0]
This message has %%[PAGES] pages.
TXT
sed -i 's/$/\r/' "$OUT/SAMPLE1.TXT"
cp "$ROOT/tests/fixtures/epson/epson.prn" "$OUT/SAMPLE1.001"
# The hand-over: a request file written under its temporary name, then
# renamed.
printf '[TAVRINE]\r\nType: Request\r\nRevision: A\r\n\r\n[REQUEST]\r\nServer: QueueMan\r\nType: SEND\r\nUser: JSMITH\r\nFile: SAMPLE1.CTL\r\n' \
    >"$SAMPLE/REQUEST/~RQST001.TMP"

"$WINE" 'T:\SERVER\SYSMAN.EXE' </dev/null >"$SAMPLE/LOG/SYSMAN2.OUT" 2>&1 &
SYSMAN_PID=$!
trap stop_sysman EXIT
converting=0
for _ in $(seq 60); do
    log=$(cat "$SAMPLE/SERVER/T-DB/SERVER.LOG" 2>/dev/null || true)
    if grep -q "TIFF message file converter" <<<"$log" && [ "$(grep -c "QUEUEMAN started" <<<"$log")" -ge 2 ]; then
        converting=1; break
    fi
    sleep 0.5
done
[ "$converting" = 1 ] || { cat "$SAMPLE/LOG/SYSMAN2.OUT"; say "the converter did not start"; exit 1; }
mv "$SAMPLE/REQUEST/~RQST001.TMP" "$SAMPLE/REQUEST/~RQST001.CTL"
done_count=0
for _ in $(seq 240); do
    done_count=$(grep -c "QUEUEMAN.*Message SAMPLE1 converted" "$SAMPLE/SERVER/T-DB/SERVER.LOG" || true)
    [ "$done_count" -ge 2 ] && break
    sleep 0.5
done
"$WINE" "$TVPACKET" send SYSMAN 99/0 timeout=3 >/dev/null 2>&1 || true
for _ in $(seq 60); do kill -0 "$SYSMAN_PID" 2>/dev/null || break; sleep 0.5; done
stop_sysman
trap - EXIT
say "server log, converter and queue manager lines:"
sed 's/\r$//' "$SAMPLE/SERVER/T-DB/SERVER.LOG" | grep -E "ZOROVIZ|Convert|SEND request|converted" || true
[ "$done_count" -ge 2 ] || { say "the message was not converted for both addressees"; exit 1; }
say "conversion record $OUT/SAMPLE1.CVT:"
sed 's/\r$//' "$OUT/SAMPLE1.CVT"
for f in "$OUT"/G3F/SAMPLE1.*; do
    [ -f "$f" ] || continue
    info=$(tiffinfo "$f" 2>&1)
    pages=$(grep -c "Image Width" <<<"$info" || true)
    dims=$(grep -m1 "Image Width" <<<"$info" | sed 's/ *Image Width: \([0-9]*\) Image Length: \([0-9]*\).*/\1x\2/')
    res=$(grep -m1 "Resolution" <<<"$info" | sed 's/ *Resolution: \([0-9]*\), \([0-9]*\).*/\1x\2 dpi/')
    say "converted: $f ($pages page(s), first page ${dims:-none} at ${res:-?}, $(stat -c %s "$f") bytes)"
done

# ---- fax modems: the converted message sent from COM1 to COM2
# (block of the modem controllers). The modem line simulator (a native
# program) plays two fax modems on one simulated line and maps them into the
# prefix as COM1 and COM2; SYSMAN starts a modem controller on each from
# "Device:" lines. FCLASS-2 only answers calls, for JSMITH. The sample
# message, cut to its first addressee with COM2's number, is submitted
# again: QUEUEMAN has it converted, gives FCLASS-1 the job, FCLASS-2
# receives the fax; the receive control file and its page file are shown.
say ""
say "== fax modems: the sample message from FCLASS-1 (COM1) to FCLASS-2 (COM2)"
MODEMSIM=$BUILD/native/standins/modemsim/modemsim
[ -x "$MODEMSIM" ] || { say "the modem line simulator was not built: $MODEMSIM"; exit 1; }
LINE=$SAMPLE/LINE
mkdir -p "$LINE" "$SAMPLE/SERVER/T-TEMP"
cp "$WIN/server/device/modem/modemctl.exe" "$SAMPLE/SERVER/MODEMCTL.EXE"
cp "$ROOT"/fonts/*.FN "$SAMPLE/SERVER/T-DB/"    # page header lines
sed -i 's/^\(Service: ZOROVIZ [^\r]*\)\(\r\?\)$/\1\2\nDevice: FCLASS-1 "MODEMCTL.EXE 1"\2\nDevice: FCLASS-2 "MODEMCTL.EXE 2"\2/' \
    "$SAMPLE/SYSTEM/T-DB/SETUP.INI"
printf '\r\n[FCLASS-1]\r\nType: Other EIA Class 2 fax modem\r\nPort: COM1\r\nPhoneNum: 5550101\r\nDialType: TONE\r\n' >>"$SAMPLE/SYSTEM/T-DB/SETUP.INI"
printf '\r\n[FCLASS-2]\r\nType: Other EIA Class 2 fax modem\r\nPort: COM2\r\nPhoneNum: 5550102\r\nRecdUser: JSMITH\r\nReceiveOnly: Y\r\n' \
    >>"$SAMPLE/SYSTEM/T-DB/SETUP.INI"
(cd "$LINE" && exec "$MODEMSIM" --prefix "$WINEPREFIX" --transcripts "$LINE" --ready "$LINE/ready" \
    --control "$LINE/control" --time-limit 600 --die-with-parent \
    -e "port 1 number=5550101 profile=generic" -e "port 2 number=5550102 profile=generic") \
    >"$LINE/modemsim.out" 2>&1 &
SIM_PID=$!
stop_line() { stop_sysman; echo stop >>"$LINE/control"; sleep 1; kill "$SIM_PID" 2>/dev/null || true; }
trap stop_line EXIT
for _ in $(seq 100); do [ -f "$LINE/ready" ] && break; sleep 0.1; done
[ -f "$LINE/ready" ] || { cat "$LINE/modemsim.out"; say "the modem line simulator did not start"; exit 1; }
sed -i -e '/^ShortName: OKAFOR/,$d' -e 's/^Via: FAX-ANY .*$/Via: FAX-ANY 5550102\r/' "$OUT/SAMPLE1.CTL"
LOGFILE=$SAMPLE/SERVER/T-DB/SERVER.LOG
log_start=$(($(wc -l <"$LOGFILE") + 1))
"$WINE" 'T:\SERVER\SYSMAN.EXE' </dev/null >"$SAMPLE/LOG/SYSMAN3.OUT" 2>&1 &
SYSMAN_PID=$!
registered=0
for _ in $(seq 120); do
    registered=$(grep -c "QUEUEMAN.*Device FCLASS.[12] .*registered" "$LOGFILE" 2>/dev/null || true)
    [ "$registered" -ge 2 ] && break
    sleep 0.5
done
[ "$registered" -ge 2 ] || { tail -30 "$LOGFILE"; say "the modem controllers did not register"; exit 1; }
printf '[TAVRINE]\r\nType: Request\r\nRevision: A\r\n\r\n[REQUEST]\r\nServer: QueueMan\r\nType: SEND\r\nUser: JSMITH\r\nFile: SAMPLE1.CTL\r\n' \
    >"$SAMPLE/REQUEST/~RQST002.TMP"
mv "$SAMPLE/REQUEST/~RQST002.TMP" "$SAMPLE/REQUEST/~RQST002.CTL"
finished=0
for _ in $(seq 480); do
    if grep -q "QUEUEMAN.*Received message .*page(s)" "$LOGFILE" &&
       grep -q "QUEUEMAN.*Message SAMPLE1 done" "$LOGFILE"; then finished=1; break; fi
    grep -q "QUEUEMAN.*Message SAMPLE1 failed" "$LOGFILE" && break
    sleep 0.5
done
"$WINE" "$TVPACKET" send SYSMAN 99/0 timeout=3 >/dev/null 2>&1 || true
for _ in $(seq 60); do kill -0 "$SYSMAN_PID" 2>/dev/null || break; sleep 0.5; done
stop_line
trap - EXIT
say "server log, queue manager and modem controller lines:"
tail -n +"$log_start" "$LOGFILE" | sed 's/\r$//' | grep -v "MsgSendRequest()" |
    grep -E "  FCLASS-[12] |registered|Job [0-9]+:|Message SAMPLE1 (done|failed)|Receiving message|Received message" || true
say "modem line transcripts: $LINE/com1.log, $LINE/com2.log"
[ "$finished" = 1 ] || { say "the fax was not sent and received"; exit 1; }
say "history of the sent message ($OUT/SAMPLE1.CTL):"
sed 's/\r$//' "$OUT/SAMPLE1.CTL" | sed -n '/^\[HISTORY\]/,$p'
grep -q "QUEUEMAN.*Message SAMPLE1 done" "$LOGFILE" || { say "the message was not sent"; exit 1; }
rx=$(sed 's/\r$//' "$LOGFILE" | grep "QUEUEMAN.*Received message " | tail -1 |
     sed 's/.*Received message \(.*\): [0-9]* page(s).*/\1/')
host=$SAMPLE/$(printf '%s' "${rx#[Tt]:\\}" | tr '\\' '/')
say "listed for the client ($(dirname "$host")/MSGDIR.CTL):"
sed 's/\r$//' "$(dirname "$host")/MSGDIR.CTL" || { say "the received message is not listed"; exit 1; }
say "received: $host"
[ -f "$host" ] || { say "the receive control file is missing"; exit 1; }
data=$(sed 's/\r$//' "$host" | sed -n 's/^File: *//p' | head -1)
for f in "$(dirname "$host")/$data"; do
    [ -f "$f" ] || { say "the received page file $f is missing"; exit 1; }
    info=$(tiffinfo "$f" 2>&1)
    pages=$(grep -c "Image Width" <<<"$info" || true)
    dims=$(grep -m1 "Image Width" <<<"$info" | sed 's/ *Image Width: \([0-9]*\) Image Length: \([0-9]*\).*/\1x\2/')
    res=$(grep -m1 "Resolution" <<<"$info" | sed 's/ *Resolution: \([0-9.]*\), \([0-9.]*\).*/\1x\2 dpi/')
    say "page file: $f ($pages page(s), first page ${dims:-none} at ${res:-?}, $(stat -c %s "$f") bytes)"
done
say "receive control file:"
sed 's/\r$//' "$host"

# ---- the desktop client: the user who received the fax starts TAVR32
# With the modems done, the server runs without device lines while the
# client shows JSMITH's lists; the main window is photographed with the
# received fax in the NEW list.
say ""
say "== the client: JSMITH's main window with the received fax in the NEW list"
sed -i '/^Device: /d' "$SAMPLE/SYSTEM/T-DB/SETUP.INI"
SHOTS_SERVER_AREA='T:\SERVER\' "$ROOT/tests/e2e/shots.sh" "$ROOT" "$BUILD" "$WIN" "$BUILD/sample-shots" main-only
