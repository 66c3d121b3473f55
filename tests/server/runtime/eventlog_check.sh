#!/usr/bin/env bash
# A fatal log line of a server program reaches the NT event log only when the
# program runs as a service. Wine prints an error event's text on its error
# stream ("err:eventlog:ReportEventW L"<text>""), so the helper's error stream
# is searched for it.
#   eventlog_check.sh <wine> <rt_helper.exe> <work directory>
set -u
wine=$1
helper=$2
work=$3
mkdir -p "$work"
out=$work/eventlog.out
msg='Port "COM7" failed'
fail() { printf 'eventlog_check: %s\n' "$1" >&2; cat "$out" >&2; exit 1; }

# Close descriptors inherited from the test driver (bash reads this script
# on 255): Wine's desktop process, started by the console run's beep, would
# keep them open for seconds after the test has ended.
for fd in /proc/$$/fd/*; do
    n=${fd##*/}
    if [ "$n" -gt 2 ] && [ "$n" -lt 255 ]; then
        eval "exec $n>&-" 2>/dev/null || true
    fi
done

# Output goes to a file, not a pipe: Wine's helper processes may hold a pipe
# open long after the program has ended.
WINEDEBUG=err+eventlog "$wine" "$helper" fatal "$msg" /SERVICE >"$out" 2>&1 </dev/null
grep -qF "err:eventlog:ReportEventW L\"Port 'COM7' failed\"" "$out" ||
    fail "service mode: no event log report with single quotes"
grep -qF '  RTHELPER   - (S) - Port "COM7" failed' "$out" ||
    fail "service mode: no console line with the double quotes kept"

WINEDEBUG=err+eventlog "$wine" "$helper" fatal "$msg" >"$out" 2>&1 </dev/null
grep -qF '(S) - Port "COM7" failed' "$out" || fail "console mode: no console line"
grep -qF 'ReportEventW' "$out" && fail "console mode: reported to the event log"
echo "eventlog_check: passed"
