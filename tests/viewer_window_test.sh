#!/usr/bin/env bash
# The viewer as a user meets it, in a virtual X server that this test starts itself:
#   1. without a display the run ends with status 251 (-5) and says why on stderr;
#   2. with one, a bounded number of frames ends the run with status 0;
#   3. the first frame is not blank, and each of the keys 1 2 3 4 0 puts the camera into
#      a mode that answers the same mouse drag in its own way.
#
#   viewer_window_test.sh PROGRAM WORLD-MAKER
#
# Set FLIGHTREPLAY_SCREENSHOTS to a directory to keep the screenshots.
set -euo pipefail

program=$1
world=$2
# shellcheck source=tests/test-support.sh
. "$(dirname "$0")/test-support.sh"
require_tools Xvfb xdotool import compare identify

enter_scratch

cd "$work"
# A long time per sample keeps the aircraft practically still: screenshots then change only
# when the camera does.
"$world" 1000
export OSG_NOTIFY_LEVEL=WARN OSG_WINDOW="0 0 1280 1024"

# A display number with no server behind it, counting up from 99.
free_display()
{
    local n=99
    while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do
        n=$((n + 1))
    done
    echo "$n"
}

# 1. No display. Without DISPLAY the window library falls back to :0, so when a server
# does run there (a desktop), a display without a server stands in for the missing one.
status=0
if [ -e /tmp/.X11-unix/X0 ]; then
    no_display=(env DISPLAY=":$(free_display)")
else
    no_display=(env -u DISPLAY)
fi
"${no_display[@]}" OSG_RUN_FRAME_COUNT=5 timeout 60 "$program" flight.log >no-display.out 2>no-display.err || status=$?
[ "$status" -eq 251 ] || fail "without a display the status is $status, not 251"
grep -q "No graphics window could be opened" no-display.err || fail "no reason on stderr: $(cat no-display.err)"
[ "$(grep -c "No graphics window" no-display.err)" -eq 1 ] || fail "the reason is printed more than once"
grep -q "^CI,CJ=" no-display.out || fail "the map frame is no longer printed before the viewer"

start_xvfb "$work/xvfb.log"

# 2. A bounded run ends by itself.
status=0
OSG_RUN_FRAME_COUNT=20 timeout 60 "$program" flight.log >bounded.out 2>bounded.err || status=$?
[ "$status" -eq 0 ] || fail "a run of 20 frames ended with status $status: $(cat bounded.err)"

# 3. An interactive run, ended with Escape.
shots=${FLIGHTREPLAY_SCREENSHOTS:-$work/shots}
mkdir -p "$shots"
shot()
{
    import -window root "$shots/$1.png"
}
differ()
{
    local pixels
    pixels=$(compare -metric AE -fuzz 2% "$shots/$1.png" "$shots/$2.png" null: 2>&1 || true)
    # More than 0.5 % of the screen's pixels.
    awk -v p="$pixels" 'BEGIN { exit !(p + 0 > 6500) }'
}

OSG_RUN_FRAME_COUNT=1000000 "$program" flight.log >viewer.out 2>viewer.err &
viewer_pid=$!
wait_for_first_frame "$shots/start.png" viewer.err
colours=$(identify -format %k "$shots/start.png")

# Flight keeps its speed once the left button has been let go; trackball, terrain and the
# node tracker (on an aircraft that barely moves) stay put. Drive follows the ground and
# may settle for a while, so it is only required to change the view.
declare -A name=([1]=trackball [2]=flight [3]=drive [4]=terrain [0]=nodetracker)
declare -A moves=([1]=no [2]=yes [3]=any [4]=no [0]=no)
previous=start
for key in 1 2 3 4 0; do
    xdotool mousemove 640 512 key "$key"
    sleep 0.5
    xdotool mousedown 1 mousemove 700 530 sleep 0.2 mousemove 760 540 sleep 0.6 mouseup 1
    sleep 0.5
    shot "${name[$key]}"
    sleep 0.8
    shot "${name[$key]}-later"
    differ "$previous" "${name[$key]}" || fail "key $key: the view did not change"
    if differ "${name[$key]}" "${name[$key]}-later"; then moving=yes; else moving=no; fi
    [ "${moves[$key]}" = any ] || [ "$moving" = "${moves[$key]}" ] || fail "key $key (${name[$key]}): still moving after the drag is '$moving', expected '${moves[$key]}'"
    previous="${name[$key]}-later"
done

xdotool key Escape
expect_clean_exit viewer.err
echo "PASS: no display 251, bounded run 0, first frame $colours colours, five camera modes"
