#!/usr/bin/env bash
# The player as a user meets it, in a virtual X server of its own: the transport keys and a
# click on the timeline and on a plot, checked against the sample number the display shows. The player
# writes its display's lines to the file FLIGHTREPLAY_PLAYER_DISPLAY_LOG names whenever they
# change (a testing aid), which saves reading them off the screen.
#
#   player_window_test.sh PLAYER WORLD-MAKER
#
# Set FLIGHTREPLAY_SCREENSHOTS to a directory to keep the screenshots.
set -euo pipefail

program=$1
world=$2
# shellcheck source=tests/test-support.sh
. "$(dirname "$0")/test-support.sh"
require_tools Xvfb xdotool import compare

enter_scratch

cd "$work"
# 120 samples half a second apart, numbered 1 to 120: a seek of 10 s is 20 samples.
"$world" 0.5
start_xvfb "$work/xvfb.log"
shots=${FLIGHTREPLAY_SCREENSHOTS:-$work/shots}
mkdir -p "$shots"

export OSG_NOTIFY_LEVEL=WARN OSG_WINDOW="0 0 1280 1024" FLIGHTREPLAY_PLAYER_DISPLAY_LOG="$work/display.txt"
"$program" flight.log >player.out 2>player.err &
viewer_pid=$!

display_text()
{
    cat "$work/display.txt" 2>/dev/null || true
}
sample()
{
    display_text | sed -n 's/^sample \([0-9]*\) .*/\1/p'
}
# wait_for WHAT TEST...: polls until the command TEST succeeds, for up to 20 s.
wait_for()
{
    local what=$1
    shift
    for _ in $(seq 200); do
        "$@" && return 0
        kill -0 "$viewer_pid" 2>/dev/null || fail "the player ended while waiting for $what: $(cat player.err)"
        sleep 0.1
    done
    fail "$what: the display shows
$(display_text)"
}
shows() # pattern: the display's text has a line matching it
{
    display_text | grep -q -- "$1"
}
at_sample() # n
{
    [ "$(sample)" = "$1" ]
}
press() # key: to the player's window (under the pointer), focused first, since without a
{        # window manager nobody else hands it the keyboard
    local window
    window=$(xdotool getmouselocation --shell | sed -n 's/^WINDOW=//p')
    [ -n "$window" ] && xdotool windowfocus "$window" 2>/dev/null || true
    xdotool key "$1"
}
expect_sample() # key n: the key takes the paused player to sample n
{
    press "$1"
    wait_for "key $1 should show sample $2" at_sample "$2"
}

wait_for "the display's first lines" shows '^sample '
xdotool mousemove 640 512

# Playing: the sample number moves on by itself.
first=$(sample)
wait_for "playing, the sample should move on from $first" eval '[ "$(sample)" != "$first" ]'

# Paused, it stays.
press p
wait_for "p should pause" shows 'PAUSED'
paused=$(sample)
sleep 1.5
[ "$(sample)" = "$paused" ] || fail "paused at sample $paused, the display moved on to $(sample)"
import -window root "$shots/player-paused.png"

# Back to the start, seeks of 10 s (20 samples) and 60 s (held at the ends), steps of one.
expect_sample Home 1
expect_sample Right 21
expect_sample Right 41
expect_sample Left 21
expect_sample period 22
expect_sample comma 21
expect_sample comma 20
expect_sample Page_Up 120
expect_sample period 120
expect_sample Page_Down 1
expect_sample comma 1
shows 'PAUSED' || fail "seeking and stepping resumed the playback"

# A click in the middle of the timeline (its bar lies just above the key line at the bottom
# of the window) seeks to the middle sample.
xdotool mousemove 640 981 click 1
wait_for "a click on the timeline should seek to the middle" eval 's=$(sample); [ "$s" -ge 58 ] && [ "$s" -le 63 ]'
sleep 1 # the next frame shows it
import -window root "$shots/player-seeked.png"
xdotool mousemove 640 512

# g opens the plots over the lower part of the window. A click a quarter of the way along a
# plot, 14.9 s into the 59.5 s flight, seeks to the sample nearest that time: row 30 of
# samples half a second apart, sample 31.
press g
sleep 1
xdotool mousemove 330 724 click 1
wait_for "a click on a plot should seek to sample 31" at_sample 31
press bracketright
press v
sleep 1
import -window root "$shots/player-plots.png"
xdotool mousemove 640 512

# Speed from x3 down to x0.25 and up to x64, held at both ends.
for _ in 1 2 3 4 5; do press minus; done
wait_for "minus should slow down to x0.25" shows ' x0\.25 '
for _ in 1 2 3 4 5 6 7 8 9 10; do press plus; done
wait_for "plus should speed up to x64" shows ' x64 '

# The display goes off and on again; off, the top left shows the scene only.
press h
sleep 1
import -window root "$shots/player-display-off.png"
press h
sleep 1
import -window root "$shots/player-display-on.png"
panel=$(compare -metric AE -fuzz 5% -extract 700x140+0+0 "$shots/player-display-on.png" "$shots/player-display-off.png" null: 2>&1 || true)
awk -v p="$panel" 'BEGIN { exit !(p + 0 > 2000) }' || fail "h did not hide the display ($panel pixels changed in its panel)"

# Resumed at x64, the flight runs on.
press p
wait_for "p should resume" shows 'playing'
resumed=$(sample)
wait_for "resumed, the sample should move on from $resumed" eval '[ "$(sample)" != "$resumed" ]'

press Escape
expect_clean_exit player.err
echo "PASS: pause holds, steps, seeks, start, timeline click, plot click, x0.25 to x64, display toggle"
