#!/usr/bin/env bash
# The change stamps of the message directory files, read back with the
# host's stat rather than through Wine or our own time code:
# - the server's change of a MSGDIR.CTL leaves a last-write time on the last
#   whole or half hour (UTC), seconds 0;
# - each move of a MSGCHG.CTL marker, by the server or the client, puts it
#   10 s after its previous time when that lies ahead of now.
# The programs run in a time zone 5:45 from UTC, so a stamp made on local
# half hours would not fall on UTC ones.
#   stamps_check.sh <wine> <stampcheck.exe> <work directory>
set -u
wine=$1
prog=$2
work=$3
fail() { printf 'stamps_check: %s\n' "$1" >&2; exit 1; }
rm -rf "$work" && mkdir -p "$work/in" "$work/group" || fail "cannot make $work"
trap 'rm -rf "$work"' EXIT

# Close descriptors inherited from the test driver; Wine's helper processes
# would keep them open after the test has ended.
for fd in /proc/$$/fd/*; do
    n=${fd##*/}
    if [ "$n" -gt 2 ] && [ "$n" -lt 255 ]; then
        eval "exec $n>&-" 2>/dev/null || true
    fi
done

winpath() { "$wine" winepath.exe -w "$1" 2>/dev/null | tr -d '\r'; }
run() { TZ=Asia/Kathmandu "$wine" "$prog" "$1" "$(winpath "$2")\\" >"$work/out.txt" 2>&1 </dev/null ||
            { cat "$work/out.txt" >&2; fail "stampcheck $1 failed"; }; }
mtime() { stat -c %Y "$1"; }

# The server's stamp.
before=$(date -u +%s)
run msgdir "$work/in"
f=$work/in/MSGDIR.CTL
[ -f "$f" ] || fail "no MSGDIR.CTL written"
grep -q "^UserStatus: Wa" "$f" || fail "the entry was not written"
t=$(mtime "$f")
[ $((t % 1800)) -eq 0 ] || fail "MSGDIR.CTL stamped $(stat -c %y "$f"), not on a UTC whole or half hour"
[ "$t" -le "$before" ] && [ $((before - t)) -lt 1800 ] ||
    fail "MSGDIR.CTL stamped $(stat -c %y "$f"), not the half hour before $(date -u -d @"$before")"

# Marker moves: the server's, then the client's, each 10 s on.
for who in marker groupmark; do
    m=$work/group/MSGCHG.CTL
    ahead=$(( $(date -u +%s) + 600 ))
    run "$who" "$work/group"
    [ -f "$m" ] || fail "$who: no MSGCHG.CTL"
    grep -q "^Type: ReceiveChange" "$m" || fail "$who: the marker has no header"
    touch -d @"$ahead" "$m"
    run "$who" "$work/group"
    t=$(mtime "$m")
    [ "$t" -eq $((ahead + 10)) ] || fail "$who: marker at $(stat -c %y "$m"), expected $(date -u -d @$((ahead + 10)))"
    [ "$(stat -c %y "$m" | sed 's/.*:[0-9][0-9]\.\([0-9]*\).*/\1/')" = 000000000 ] ||
        fail "$who: marker time $(stat -c %y "$m") has a fraction of a second"
    rm -f "$m"
done
echo "stamps_check: passed"
