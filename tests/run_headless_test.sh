#!/usr/bin/env bash
# ./run as a user without a display meets it: it makes the demo world in a fresh folder,
# says that there is no display, replays the flight in a virtual X server and saves five
# screenshots, one per camera mode, that are neither blank nor alike, and a demo clip.
#
#   run_headless_test.sh SOURCE-DIR BUILD-DIR
#
# Set FLIGHTREPLAY_SCREENSHOTS to a folder to keep the screenshots.
set -euo pipefail

source_dir=$1
build_dir=$2
# shellcheck source=tests/test-support.sh
. "$(dirname "$0")/test-support.sh"
require_tools Xvfb xdotool import compare identify ffprobe

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

shots=${FLIGHTREPLAY_SCREENSHOTS:-$work/shots}
status=0
# Half the usual waits for the views to settle, as for a flight's own world: ample for the
# five views here, where the test ends the run of tests, and a minute less of it.
env -u DISPLAY RUN_NO_BUILD=1 FLIGHTREPLAY_BUILD="$build_dir" FLIGHTREPLAY_WORLD="$work/world" \
    FLIGHTREPLAY_SHOTS="$shots" FLIGHTREPLAY_CLIP_SECONDS=4 FLIGHTREPLAY_PACE=0.5 "$source_dir/run" >"$work/run.out" 2>&1 || status=$?
cat "$work/run.out"
[ "$status" -eq 0 ] || fail "./run ended with status $status"
grep -q "No usable display" "$work/run.out" || fail "./run did not say that there is no display"
[ -f "$work/world/sample.log" ] || fail "no demo world was made"
grep -q "^selected $(($(wc -l <"$work/world/sample.log") - 1)) row" "$work/run.out" \
    || fail "the replay did not accept every row of the sample log"

names=(replay-0-nodetracker replay-1-trackball replay-2-flight replay-3-drive replay-4-terrain)
for name in "${names[@]}"; do
    file=$shots/$name.png
    [ -f "$file" ] || fail "no screenshot $file"
    grep -q "$file" "$work/run.out" || fail "the path of $file was not printed"
    [ "$(identify -format '%wx%h' "$file")" = 1280x1024 ] || fail "$file is not a full screen"
    # Not blank: the picture has real contrast, and the window's clear colour does not fill it.
    deviation=$(identify -format '%[fx:standard_deviation]' "$file")
    awk -v d="$deviation" 'BEGIN { exit !(d > 0.04) }' || fail "$file is blank (deviation $deviation)"
    # The viewer's clear colour (0.2, 0.2, 0.4) shows where nothing is drawn.
    drawn=$(convert "$file" -fuzz 3% -fill black -opaque 'rgb(51,51,102)' -fill white +opaque black -format '%[fx:mean]' info:)
    awk -v d="$drawn" 'BEGIN { exit !(d > 0.5) }' || fail "$file shows mostly empty space (drawn share $drawn)"
done
# Pairwise different: more than 5 % of the pixels differ by more than 5 %.
for ((i = 0; i < ${#names[@]}; ++i)); do
    for ((j = i + 1; j < ${#names[@]}; ++j)); do
        pixels=$(compare -metric AE -fuzz 5% "$shots/${names[i]}.png" "$shots/${names[j]}.png" null: 2>&1 || true)
        awk -v p="$pixels" 'BEGIN { exit !(p + 0 > 65536) }' || fail "${names[i]} and ${names[j]} look alike ($pixels pixels differ)"
    done
done
# The demo clip, 4 s of it here (the user's 20 s would add half a minute of rendering to every
# test run): H.264 at 1280 x 720, 30 frames a second.
clip=$shots/demo-clip.mp4
grep -q "$clip" "$work/run.out" || fail "the path of the demo clip was not printed"
probe=$(ffprobe -v error -count_frames -select_streams v:0 \
    -show_entries stream=codec_name,width,height,nb_read_frames,avg_frame_rate -of csv=p=0 "$clip")
[ "$probe" = "h264,1280,720,30/1,121" ] || fail "ffprobe sees $probe in the demo clip, not h264,1280,720,30/1,121"
echo "PASS: five screenshots, each different, and a 4-second demo clip"
