#!/usr/bin/env bash
# The client's date and time formats against the international settings as
# Wine hands them out: each short date and time format is set in the
# prefix's registry with Wine's own reg tool, and the program must read it
# back through the Windows profile's "intl" paragraph.
#   intl_check.sh <wine> <intlcheck.exe>
set -u
wine=$1
prog=$2
key='HKCU\Control Panel\International'
out=$(mktemp)
fail() { printf 'intl_check: %s\n' "$1" >&2; exit 1; }
restore() {
    "$wine" reg delete "$key" /v sShortDate /f >/dev/null 2>&1
    "$wine" reg delete "$key" /v sTime /f >/dev/null 2>&1
    rm -f "$out"
}
trap restore EXIT

# Close descriptors inherited from the test driver; Wine's helper processes
# would keep them open after the test has ended.
for fd in /proc/$$/fd/*; do
    n=${fd##*/}
    if [ "$n" -gt 2 ] && [ "$n" -lt 255 ]; then
        eval "exec $n>&-" 2>/dev/null || true
    fi
done

# short date, time separator, expected output
cases=(
    "dd/MM/yyyy|:|order=0 date=%02d/%02d/%02d time=%02d:%02d sample=05/03/96 09:07"
    "M/d/yy|.|order=1 date=%02d/%02d/%02d time=%02d.%02d sample=03/05/96 09.07"
    "yyyy-MM-dd|:|order=2 date=%02d-%02d-%02d time=%02d:%02d sample=96-03-05 09:07"
    "dd.MM.yy|:|order=0 date=%02d.%02d.%02d time=%02d:%02d sample=05.03.96 09:07"
)
for c in "${cases[@]}"; do
    IFS='|' read -r date sep want <<<"$c"
    "$wine" reg add "$key" /v sShortDate /t REG_SZ /d "$date" /f >/dev/null 2>&1 || fail "reg add sShortDate failed"
    "$wine" reg add "$key" /v sTime /t REG_SZ /d "$sep" /f >/dev/null 2>&1 || fail "reg add sTime failed"
    "$wine" "$prog" >"$out" 2>/dev/null </dev/null || fail "$date: intlcheck failed"
    got=$(tr -d '\r' <"$out")
    [ "$got" = "$want" ] || fail "$date, '$sep': got '$got', expected '$want'"
done
echo "intl_check: passed"
