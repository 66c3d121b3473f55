#!/bin/sh
# A PNG screenshot of one window of the X display in $DISPLAY (an Xvfb
# under Wine):
#
#   shot.sh <window title or X window id> <out.png>
#
# A title is matched whole (the window's X name, which Wine sets to the
# caption); an id is a number such as 0x400004. Waits up to
# SHOT_WAIT_SECONDS (default 10) for the window to appear and paint, then
# writes the PNG. Needs xwd (x11-apps) and convert and identify
# (imagemagick).
set -eu
[ $# -eq 2 ] || { echo "usage: shot.sh <window title or id> <out.png>" >&2; exit 2; }
target=$1
out=$2
[ -n "${DISPLAY:-}" ] || { echo "shot.sh: DISPLAY is not set" >&2; exit 2; }
for tool in xwd convert identify; do
    command -v "$tool" >/dev/null 2>&1 || { echo "shot.sh: $tool is missing (packages x11-apps, imagemagick)" >&2; exit 2; }
done

case $target in
    0x[0-9a-fA-F]* | [0-9]*) select="-id $target" ;;
    *) select= ;;
esac
grab() { # to stdout
    if [ -n "$select" ]; then
        xwd -silent $select
    else
        xwd -silent -name "$target"
    fi
}

wait_s=${SHOT_WAIT_SECONDS:-10}
tries=$((wait_s * 5))
tmp=$out.tmp.$$
trap 'rm -f "$tmp".*' EXIT
# Until the window shows something (more than one colour) and two shots in
# a row agree: it has painted and settled.
while :; do
    if grab >"$tmp.xwd" 2>/dev/null && convert "xwd:$tmp.xwd" "png:$tmp.png" 2>/dev/null &&
        [ "$(identify -format '%k' "$tmp.png" 2>/dev/null)" -gt 1 ] 2>/dev/null; then
        if [ -f "$tmp.last" ] && cmp -s "$tmp.xwd" "$tmp.last"; then
            break
        fi
        mv "$tmp.xwd" "$tmp.last"
    fi
    tries=$((tries - 1))
    if [ "$tries" -le 0 ]; then
        echo "shot.sh: no painted window \"$target\" on $DISPLAY within ${wait_s}s" >&2
        if command -v xwininfo >/dev/null 2>&1; then
            echo "its named windows:" >&2
            xwininfo -root -tree | grep '^ *0x[0-9a-f]* "' >&2
        fi
        exit 1
    fi
    sleep 0.2
done
mv "$tmp.png" "$out"
echo "shot: $out"
