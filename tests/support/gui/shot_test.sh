#!/bin/bash
# shot.sh on the GUI demo: starts it under Wine (TAVRINE_WINE), saves its
# window as a PNG and checks that the file is a PNG of the window's size
# with more than a couple of colours (a window that never painted is flat).
#   shot_test.sh <shot.sh> <guidemo.exe> <out.png>
set -u
shot=$1 demo=$2 out=$3
WINE=${TAVRINE_WINE:-wine}
fail() { echo "FAIL: $*" >&2; exit 1; }

rm -f "$out" "$out.log"
# A caption of its own: other tests' demo windows may be on the display too.
caption="Tavrine GUI Demo $$"
"$WINE" "$demo" /quit-after 60000 /caption "$caption" >"$out.log" 2>&1 &
demo_pid=$!
trap 'kill "$demo_pid" 2>/dev/null; wait "$demo_pid" 2>/dev/null; rm -f "$out.log"' EXIT

# The first program of a new wineserver may take many seconds to show.
SHOT_WAIT_SECONDS=60 sh "$shot" "$caption" "$out" || { cat "$out.log" >&2; fail "shot.sh failed"; }
[ -s "$out" ] || fail "no PNG written"
[ "$(head -c 8 "$out" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "$out is not a PNG"
read -r width height colours < <(identify -format '%w %h %k\n' "$out") || fail "identify cannot read $out"
echo "$out: ${width}x${height}, $colours colours"
# The demo's window is 340x200 with its frame; Wine without a window
# manager leaves the frame out.
[ "$width" -ge 200 ] && [ "$width" -le 400 ] || fail "width $width is not the window's"
[ "$height" -ge 100 ] && [ "$height" -le 260 ] || fail "height $height is not the window's"
[ "$colours" -ge 4 ] || fail "only $colours colours: the window did not paint"
# A missing window fails within its deadline.
SHOT_WAIT_SECONDS=1 sh "$shot" "No Such Window" "$out.none" 2>/dev/null && fail "a missing window gave a shot"
[ ! -e "$out.none" ] || fail "a missing window left a file"
echo "ok"
