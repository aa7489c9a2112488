#!/usr/bin/env bash
# The player's --record as CI would run it: no display (the program starts its own Xvfb),
# short renders checked with ffprobe, the same render twice giving the same frames, PNG
# frames without ffmpeg, and interrupted renders that leave nothing under the final name
# and no X server behind.
#
#   record_video_test.sh PLAYER WORLD-MAKER
set -euo pipefail

program=$1
world=$2
# shellcheck source=tests/test-support.sh
. "$(dirname "$0")/test-support.sh"
require_tools Xvfb ffmpeg ffprobe compare

enter_scratch
cd "$work"
# A process that runs (a zombie waiting for a parent that does not reap does not count).
alive()
{
    [ -e "/proc/$1/stat" ] && ! grep -q '^[0-9]* (.*) Z' "/proc/$1/stat"
}

# 120 samples half a second apart, log time 0 to 59.5 s.
"$world" 0.5 >/dev/null
unset DISPLAY
export OSG_NOTIFY_LEVEL=WARN

# Log time 10 to 16 s at x3 is 2 s of video: 61 frames at 30 a second, the last on 16 s.
record()
{
    local out=$1
    shift
    "$program" flight.log --record "$out" --from 10 --to 16 --size 160x96 "$@" >"$work/out" 2>"$work/err" \
        || fail "recording $out ended with status $?: $(cat "$work/err")"
}

# 1. A short video, as a standard player would see it.
record a.mp4
probe=$(ffprobe -v error -count_frames -select_streams v:0 \
    -show_entries stream=codec_name,width,height,nb_read_frames,avg_frame_rate -of csv=p=0 a.mp4)
[ "$probe" = "h264,160,96,30/1,61" ] || fail "ffprobe sees $probe, not h264,160,96,30/1,61"
grep -q "^a.mp4: 61 frames, 0:02.0 of video (160x96, 30 frames/s)" out || fail "no summary line: $(cat out)"
grep -q "^CI,CJ=" out || fail "the transcript is missing: $(cat out)"
grep -q "private Xvfb" err || fail "no word of the private display: $(cat err)"
[ ! -e a.partial.mp4 ] || fail "the temporary file is left"
ffmpeg -v error -i a.mp4 -f framemd5 - | grep -v '^#' >a.md5
[ "$(cut -d, -f6 a.md5 | sort -u | wc -l)" -gt 30 ] || fail "the frames hardly change: the aircraft does not move"

# 2. The same render again: the same frames, however fast the machine was.
record b.mp4
ffmpeg -v error -i b.mp4 -f framemd5 - | grep -v '^#' >b.md5
cmp -s a.md5 b.md5 || fail "two renders of the same span differ"

# 2a. With the plot strip and the track coloured: the same frames again, and the strip drawn
# over the lower part of the picture.
for run in p1 p2; do
    "$program" flight.log --record "$run/" --from 10 --to 16 --fps 2 --size 320x192 --plot altitude,climb --colour-track climb \
        >"$work/out" 2>"$work/err" || fail "recording with plots ended with status $?: $(cat "$work/err")"
done
for frame in p1/frame-*.png; do
    cmp -s "$frame" "p2/${frame#p1/}" || fail "two renders with plots differ at $frame"
done
[ "$(convert p1/frame-000003.png -crop 300x40+10+120 -format '%[fx:standard_deviation]' info:)" != 0 ] || fail "no plots drawn"

# 2b. The world's credits are drawn at the bottom right even without the display, and
# nothing else changes.
record plain/ --no-hud --fps 1
printf 'Imagery: test\n' >ATTRIBUTION.txt
record credited/ --no-hud --fps 1
rm ATTRIBUTION.txt
changed()
{
    compare -metric AE -crop "$1" plain/frame-000001.png credited/frame-000001.png null: 2>&1 || true
}
[ "$(changed 160x76+0+0)" = 0 ] || fail "the credits change the picture above the bottom"
[ "$(changed 80x20+80+76)" != 0 ] || fail "no credits drawn at the bottom right without the display"

# 2c. Two flights on one clock. a.log is the world's flight with a date; b.log flies the same
# course 0.3' (about 560 m) farther south, 30 s later the same day, after standing 5 s on the
# ground 50 m lower. A takes off at its sample 4 (1.5 s), B at its sample 11 (30 s).
awk -F, 'NR == 1 { print $0 ",gps_date"; next } { print $0 ",90426" }' flight.log >a.log
awk -F, 'BEGIN { OFS = "," }
    NR == 1 { print $0, "gps_date"; next }
    NR == 2 { for (i = 0; i < 10; ++i) print i + 1, sprintf("%.3f", 25 + 0.5 * i), sprintf("%.6f", $3 - 0.3), $4, "500.00", $6, 0, 0, 90426 }
    { $1 += 10; $2 = sprintf("%.3f", $2 + 30); $3 = sprintf("%.6f", $3 - 0.3); print $0, 90426 }' flight.log >b.log
two()
{
    local out=$1
    shift
    FLIGHTREPLAY_PLAYER_DISPLAY_LOG="$work/$out.lines" "$program" a.log b.log --record "$out/" --camera overview --size 320x192 "$@" \
        >"$work/out" 2>"$work/err" || fail "recording two flights ($*) ended with status $?: $(cat "$work/err")"
}
expect_lines()
{
    grep -qx "$2" "$1.lines" || fail "$1: no line '$2' among: $(cat "$1.lines")"
}
# By time of day, 40 s after A's start: A at its sample 81, B 10 s into its flight.
two bytime --from +40 --to +40
grep -q "^2 flights: " out && grep -q "^CI,CJ=" out || fail "no transcript of both flights: $(cat out)"
expect_lines bytime "1\* a.log  sample 81"
expect_lines bytime "2  b.log  sample 31"
grep -q "aligned by time of day" bytime.lines || fail "not aligned by time: $(cat bytime.lines)"
# Without the display the flights' legend stays, and follows the clock as it does with it.
two nohud --from +40 --to +40 --no-hud
expect_lines nohud "2  b.log  sample 31"
# At take-off: the clock starts 5 s before B leaves the ground, 3.5 s before A starts.
two takeoff --from +40 --to +40 --align takeoff
expect_lines takeoff "1\* a.log  sample 74"
expect_lines takeoff "2  b.log  sample 81"
# A log time is the first flight's, as with one flight: A's 40 s is its sample 81 whatever the
# alignment.
two takeofflog --from 40 --to 40 --align takeoff
expect_lines takeofflog "1\* a.log  sample 81"
# Before B's first row it has no aircraft and no sample.
two early --from +10 --to +10
expect_lines early "2  b.log  -"
# Both tracks are drawn, each in its colour, and the aircraft stand elsewhere at take-off.
for colour in "rgb(255,217,26)" "rgb(51,204,255)"; do
    [ "$(convert bytime/frame-000001.png -fuzz 8% -fill black +opaque "$colour" -format '%[fx:mean>0]' info:)" = 1 ] \
        || fail "no track in $colour"
done
[ "$(compare -metric AE bytime/frame-000001.png takeoff/frame-000001.png null: 2>&1 || true)" != 0 ] \
    || fail "the flights stand where they stood by time of day"

# 3. Without ffmpeg: PNG frames beside the video's name, said on stderr, the right way up.
mkdir bin
ln -s "$(command -v Xvfb)" bin/Xvfb
[ -x /usr/bin/xkbcomp ] && ln -s /usr/bin/xkbcomp bin/xkbcomp
PATH="$work/bin" record c.mp4 --fps 5
grep -q "ffmpeg was not found" err || fail "no word of the missing ffmpeg: $(cat err)"
[ "$(find c-frames -name 'frame-*.png' | wc -l)" -eq 11 ] || fail "not 11 frames: $(ls c-frames)"
[ "$(identify -format '%wx%h' c-frames/frame-000001.png)" = 160x96 ] || fail "the frames are not 160x96"
ffmpeg -v error -i a.mp4 -vframes 1 first.png
difference=$(compare -metric RMSE c-frames/frame-000001.png first.png null: 2>&1 | sed 's/.*(\(.*\))/\1/') || true
awk -v d="$difference" 'BEGIN { exit !(d < 0.05) }' || fail "the first PNG frame and the video's first frame differ by $difference"

# 4. Ctrl-C: the render stops, nothing is left under either name, the Xvfb ends.
# A minute of video, 1801 frames: its first line of progress, at a tenth, comes soon, and the
# rest leaves ample time to stop it.
"$program" flight.log --record d.mp4 --from 10 --to 25 --size 160x96 --speed 0.25 >d.out 2>d.err &
viewer_pid=$!
for _ in $(seq 300); do
    grep -q "^frame " d.err 2>/dev/null && break
    kill -0 "$viewer_pid" 2>/dev/null || fail "the render ended early: $(cat d.err)"
    sleep 0.1
done
server=$(pgrep -P "$viewer_pid" -x Xvfb) || fail "no private Xvfb under the render"
kill -INT "$viewer_pid"
status=0
wait "$viewer_pid" || status=$?
viewer_pid=
[ "$status" -eq 130 ] || fail "after SIGINT the status is $status, not 130: $(cat d.err)"
grep -q "Interrupted" d.err || fail "no word of the interruption: $(cat d.err)"
[ ! -e d.mp4 ] && [ ! -e d.partial.mp4 ] || fail "an interrupted render left $(ls d*.mp4)"
alive "$server" && fail "the private Xvfb outlived the render"

# 5. Killed outright: the Xvfb still ends with it, and only the temporary name is left.
"$program" flight.log --record e.mp4 --from 10 --to 25 --size 160x96 --speed 0.25 >e.out 2>e.err &
viewer_pid=$!
for _ in $(seq 300); do
    grep -q "^frame " e.err 2>/dev/null && break
    sleep 0.1
done
server=$(pgrep -P "$viewer_pid" -x Xvfb) || fail "no private Xvfb under the second render"
kill -9 "$viewer_pid"
wait "$viewer_pid" 2>/dev/null || true
viewer_pid=
for _ in $(seq 50); do
    alive "$server" || break
    sleep 0.1
done
alive "$server" && { kill "$server"; fail "the private Xvfb outlived a killed render"; }
[ ! -e e.mp4 ] || fail "a killed render left a file under the final name"

echo "record video: all checks passed"
