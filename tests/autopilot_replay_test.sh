#!/usr/bin/env bash
# A telemetry log replayed as a user would: written by the tests' log writer over the
# windowed test's world, converted by `flightreplay-data track`, and replayed in a real
# window under a virtual X server that this test starts itself. The replay must frame the
# same terrain as the world's own log, end a bounded run with status 0, and draw a frame
# that is not blank.
#
#   autopilot_replay_test.sh PROGRAM DATA-TOOL WORLD-MAKER LOG-MAKER
#
# Set FLIGHTREPLAY_SCREENSHOTS to a directory to keep the screenshot.
set -euo pipefail

program=$1
data_tool=$2
world=$3
log_maker=$4
# shellcheck source=tests/test-support.sh
. "$(dirname "$0")/test-support.sh"
require_tools Xvfb import identify

enter_scratch

cd "$work"
"$world" 0.5
# Two minutes circling the world's centre, as an autopilot's ground station logs it.
"$log_maker" tlog flight.tlog 46.5 7.5
"$data_tool" track flight.tlog >converted.log 2>track.err || fail "track failed: $(cat track.err)"
export OSG_NOTIFY_LEVEL=WARN OSG_WINDOW="0 0 1280 1024"

start_xvfb "$work/xvfb.log"

status=0
OSG_RUN_FRAME_COUNT=20 timeout 60 "$program" converted.log >converted.out 2>converted.err || status=$?
[ "$status" -eq 0 ] || fail "the converted log's run of 20 frames ended with status $status: $(cat converted.err)"
OSG_RUN_FRAME_COUNT=1 timeout 60 "$program" flight.log >world.out 2>world.err || true
frame=$(grep "^CI,CJ=" converted.out || true)
[ -n "$frame" ] || fail "the converted log's run printed no map frame: $(cat converted.out converted.err)"
[ "$frame" = "$(grep "^CI,CJ=" world.out)" ] || fail "the converted log frames '$frame', the world's own log '$(grep "^CI,CJ=" world.out)'"

shots=${FLIGHTREPLAY_SCREENSHOTS:-$work/shots}
mkdir -p "$shots"
OSG_RUN_FRAME_COUNT=1000000 "$program" converted.log >viewer.out 2>viewer.err &
viewer_pid=$!
wait_for_first_frame "$shots/converted-tlog.png" viewer.err
colours=$(identify -format %k "$shots/converted-tlog.png")
echo "PASS: $(($(wc -l <converted.log) - 1)) rows converted, frame $frame, first frame $colours colours"
