#!/bin/bash
# The client's main window as the X server shows it: paintdriver.exe starts
# the client on a NEW list of a failed, an unread and a read message and
# says where the rows and tool buttons are; the window is photographed with
# shot.sh (xwd) and checked with ImageMagick:
#   - the failed row's comment is drawn in red, the other rows' without red;
#   - the unread row shows the NewDoc bitmap, the read row the Document one;
#   - each tool button shows its large ("Hi") bitmap, the grey one when the
#     button is disabled, on a screen wider than 800 pixels.
#
#   paint_check.sh <TAVRINE.EXE> <paintdriver.exe> <shot.sh> <art folder> <out folder>
set -u
client=$1 driver=$2 shot=$3 art=$4 out=$5
WINE=${TAVRINE_WINE:-wine}
fail() { echo "FAIL: $*" >&2; failed=1; }
die() { echo "FAIL: $*" >&2; exit 1; }
failed=0

for tool in xwd xwininfo convert compare identify; do
    command -v "$tool" >/dev/null 2>&1 || die "$tool is missing"
done
[ -n "${DISPLAY:-}" ] || die "DISPLAY is not set"

# crop <name> <x> <y> <w> <h>: a part of the picture by screen coordinates.
crop() {
    convert "$out/main.png" -crop "$4x$5+$(($2 - ox))+$(($3 - oy))" +repage "$out/$1.png"
}
# Pixels of a part that are clearly red (or blue).
red_pixels() {
    convert "$1" -fx '(r>0.6 && g<0.3 && b<0.3) ? 1 : 0' -format '%[fx:round(mean*w*h)]' info:
}
blue_pixels() {
    convert "$1" -fx '(b>0.6 && r<0.3 && g<0.3) ? 1 : 0' -format '%[fx:round(mean*w*h)]' info:
}
# Differing pixels between a part and a bitmap of the art.
differing() {
    compare -metric AE "$1" "$2" null: 2>&1 | awk '{print int($1)}'
}
art_png() { # <bitmap name> -> png path
    convert "$art/$1.bmp" "$out/art_$1.png" && echo "$out/art_$1.png"
}

# The checks on the picture in $out/main.png; fail() marks what is wrong.
check_picture() {
    ox=$(awk '/Absolute upper-left X/ {print $4}' "$out/xwininfo.txt")
    oy=$(awk '/Absolute upper-left Y/ {print $4}' "$out/xwininfo.txt")
    [ -n "$ox" ] && [ -n "$oy" ] || { fail "no position of $xid"; return; }
    echo "window $xid at $ox,$oy"
    # Rows: index left top width height commentX.
    for i in 0 1 2; do
        read -r _ left top width height comment <<<"${rows[$i]}"
        crop "comment$i" "$comment" "$top" $((left + width - comment)) "$height"
        red=$(red_pixels "$out/comment$i.png")
        blue=$(blue_pixels "$out/comment$i.png")
        echo "row $i: comment $red red, $blue blue pixels"
        if [ "$i" = 0 ]; then
            [ "$red" -ge 10 ] || fail "the failed message's comment has no red text ($red red pixels)"
        else
            [ "$red" = 0 ] || fail "row $i's comment has $red red pixels"
            [ "$blue" -ge 10 ] || fail "row $i's comment (a message delivered) is not blue ($blue blue pixels)"
        fi
    done

    newdoc=$(art_png TavrNewDoc) document=$(art_png TavrDocument) || die "cannot convert the row bitmaps"
    read -r bw bh < <(identify -format '%w %h\n' "$newdoc")
    for case in "1 $newdoc $document unread NewDoc" "2 $document $newdoc read Document"; do
        read -r i want other what name <<<"$case"
        read -r _ left top width height _ <<<"${rows[$i]}"
        # Centred in the row's height, at the row's left.
        crop "bitmap$i" "$left" $((top + (height - bh) / 2)) "$bw" "$bh"
        d=$(differing "$out/bitmap$i.png" "$want")
        o=$(differing "$out/bitmap$i.png" "$other")
        echo "row $i: $d pixels off $name, $o off the other"
        [ "$d" = 0 ] || fail "the $what row does not show the $name bitmap ($d pixels differ)"
        [ "$o" -gt 0 ] || fail "the $what row's bitmap cannot be told from the other"
    done

    # Tool buttons: id base enabled left top width height. The bitmap sits
    # centred, 2 pixels from the top.
    [ "${#buttons[@]}" -ge 5 ] || fail "only ${#buttons[@]} tool buttons"
    for b in "${buttons[@]}"; do
        read -r id base enabled left top width height <<<"$b"
        name=Tavr${base}Hi
        [ "$enabled" = 1 ] || [ ! -f "$art/${name}Grey.bmp" ] || name=${name}Grey
        want=$(art_png "$name") || { fail "no art $name"; continue; }
        read -r tw th < <(identify -format '%w %h\n' "$want")
        crop "button$id" $((left + (width - tw) / 2)) $((top + 2)) "$tw" "$th"
        d=$(differing "$out/button$id.png" "$want")
        echo "button $id: $d pixels off $name"
        [ "$d" = 0 ] || fail "tool button $id does not show $name ($d pixels differ)"
    done
}

rm -rf "$out"
mkdir -p "$out"
fifo=$out/driver.fifo
done_file=$out/shot.done
mkfifo "$fifo"
"$WINE" "$driver" "$client" "$("$WINE" winepath -w "$done_file" 2>/dev/null | tr -d '\r')" \
    >"$fifo" 2>"$out/driver.err" </dev/null &
driver_pid=$!
trap 'kill "$driver_pid" 2>/dev/null; wait "$driver_pid" 2>/dev/null' EXIT

rows=() buttons=() xid= checked=0
while read -r word rest; do
    rest=${rest%$'\r'}
    case $word in
        screen) screen=$rest ;;
        row) rows+=("$rest") ;;
        button) buttons+=("$rest") ;;
        shot)
            xid=$rest
            [ "${#rows[@]}" = 3 ] || die "expected 3 rows, got ${#rows[@]}"
            read -r screen_w _ <<<"$screen"
            [ "$screen_w" -gt 800 ] || die "the screen is $screen_w wide: this check is for the large tool bitmaps"
            # Other tests' windows on the same display may come over the
            # client's for a moment: up to three pictures, the window
            # raised before each; the last one's faults count.
            for attempt in 1 2 3; do
                failed=0
                xdotool windowraise "$xid" >/dev/null 2>&1 || true
                if ! SHOT_WAIT_SECONDS=60 sh "$shot" "$xid" "$out/main.png"; then
                    fail "no picture of the main window"
                elif ! xwininfo -id "$xid" >"$out/xwininfo.txt" 2>&1; then
                    fail "xwininfo cannot read $xid"
                else
                    check_picture
                fi
                [ "$failed" = 0 ] && break
                echo "picture $attempt: not as expected"
            done
            checked=1
            : >"$done_file"
            ;;
    esac
done <"$fifo"
wait "$driver_pid"
rc=$?
trap - EXIT
[ "$rc" = 0 ] || { cat "$out/driver.err" >&2; fail "paintdriver ended with $rc"; }
[ "$checked" = 1 ] || fail "the driver asked for no picture"
[ "$failed" = 0 ] || exit 1
echo "ok"
