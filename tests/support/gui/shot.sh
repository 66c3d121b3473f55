#!/bin/sh
# A PNG screenshot of one window of the X display in $DISPLAY (an Xvfb
# under Wine):
#
#   shot.sh <window title or X window id> <out.png>
#
# A title is matched whole (the window's X name, which Wine sets to the
# caption); an id is a number such as 0x400004. Waits up to
# SHOT_WAIT_SECONDS (default 10) for the window to appear, lets it paint
# for SHOT_SETTLE_SECONDS (default 1), then writes the PNG. Needs xwd
# (x11-apps) and convert (imagemagick).
set -eu
[ $# -eq 2 ] || { echo "usage: shot.sh <window title or id> <out.png>" >&2; exit 2; }
target=$1
out=$2
[ -n "${DISPLAY:-}" ] || { echo "shot.sh: DISPLAY is not set" >&2; exit 2; }
for tool in xwd convert; do
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
while ! grab >/dev/null 2>&1; do
    tries=$((tries - 1))
    if [ "$tries" -le 0 ]; then
        echo "shot.sh: no window \"$target\" on $DISPLAY within ${wait_s}s" >&2
        if command -v xwininfo >/dev/null 2>&1; then
            echo "its named windows:" >&2
            xwininfo -root -tree | grep '^ *0x[0-9a-f]* "' >&2
        fi
        exit 1
    fi
    sleep 0.2
done
sleep "${SHOT_SETTLE_SECONDS:-1}"
tmp=$out.xwd.$$
trap 'rm -f "$tmp"' EXIT
grab >"$tmp" || { echo "shot.sh: window \"$target\" went away" >&2; exit 1; }
convert "xwd:$tmp" "png:$out"
echo "shot: $out"
