#!/usr/bin/env bash
# The replay on a busy machine, as CI and ./run without a display meet it, in a virtual X
# server that this test starts itself:
#   1. while busy loops hold every core, each of RUNS short runs opens its window (the
#      library's default set-up: no OSG_WINDOW) and ends with status 0. Run as a user runs
#      it (no OSG_NOTIFY_LEVEL), the transcript ends with the map frame and standard error
#      stays empty: the library's notices, those of a connection tried again included, are
#      not shown;
#   2. on a world whose imagery and grass are one flat colour, no darker seam runs along
#      the terrain patches' edges.
#
#   viewer_load_test.sh PROGRAM WORLD-MAKER [RUNS]
#
# RUNS is 8 unless FLIGHTREPLAY_LOAD_RUNS says otherwise (./test --deep: 24).
set -euo pipefail

program=$1
world=$2
runs=${3:-${FLIGHTREPLAY_LOAD_RUNS:-8}}
case $runs in
    '' | *[!0-9]* | 0) echo "viewer_load_test.sh: RUNS must be a positive count, not '$runs'" >&2; exit 2 ;;
esac
# shellcheck source=tests/test-support.sh
. "$(dirname "$0")/test-support.sh"
require_tools Xvfb import identify convert

enter_scratch
busy_pids=()
stop_busy_loops()
{
    local pid
    for pid in "${busy_pids[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
    busy_pids=()
}
extra_cleanup()
{
    stop_busy_loops
}

cd "$work"
"$world" 1000
start_xvfb "$work/xvfb.log"

# 1. Under load. On a busy server a connection is now and then refused for a moment; the
# library opens several while it sets up a window. Each loop ends by itself after ten
# minutes (the test's time limit) should this script be killed before its cleanup.
cores=$(nproc)
[ "$cores" -ge 2 ] || cores=2
for _ in $(seq "$cores"); do
    bash -c 'while [ "$SECONDS" -lt 600 ]; do :; done' &
    busy_pids+=($!)
done
failed=0
for i in $(seq "$runs"); do
    status=0
    env -u OSG_NOTIFY_LEVEL -u OSG_WINDOW OSG_RUN_FRAME_COUNT=2 timeout 60 "$program" flight.log >run.out 2>run.err || status=$?
    if [ "$status" -ne 0 ]; then
        echo "run $i: status $status: $(head -c 300 run.err)"
        failed=$((failed + 1))
        continue
    fi
    tail -n 1 run.out | grep -q "^CI,CJ=" || fail "run $i: the transcript goes on after the map frame: $(tail -n 3 run.out)"
    [ ! -s run.err ] || fail "run $i: standard error is not empty: $(head -c 300 run.err)"
done
stop_busy_loops
[ "$failed" -eq 0 ] || fail "$failed of $runs runs under load did not end with status 0"

# 2. Seams. Every terrain pixel should then show the one colour (nothing in the scene is
# lit); where a patch edge blends in a texture's border colour (black) it is darker with the
# same hue. Without the sky the clear colour (51, 51, 102) fills the rest.
for image in img/*.jpg res/grass_1.jpg; do
    convert -size 64x64 'xc:rgb(200,0,200)' "$image"
done
rm -f sky12q-1024x512.jpeg
OSG_NOTIFY_LEVEL=WARN OSG_RUN_FRAME_COUNT=1000000 "$program" flight.log >seams.out 2>seams.err &
viewer_pid=$!
for _ in $(seq 100); do
    sleep 0.2
    kill -0 "$viewer_pid" 2>/dev/null || fail "the viewer ended early: $(cat seams.err)"
    import -window root seams.png
    # The clear colour alone, or with the terrain's colour, until the first frame is drawn.
    [ "$(identify -format %k seams.png)" -gt 2 ] && break
done
sleep 1
import -window root seams.png
kill "$viewer_pid"
wait "$viewer_pid" 2>/dev/null || true
viewer_pid=
read -r terrain seams < <(convert seams.png -depth 8 txt:- | awk -F'[(),]+' '
    NR > 1 {
        r = $3; g = $4; b = $5
        if (g <= 15 && r >= 185 && r <= 215 && b >= 185 && b <= 215)
            terrain++
        else if (g <= 25 && r >= 25 && r < 170 && r - b < 25 && b - r < 25)
            seams++
    }
    END { print terrain + 0, seams + 0 }')
[ -n "${FLIGHTREPLAY_SCREENSHOTS:-}" ] && mkdir -p "$FLIGHTREPLAY_SCREENSHOTS" && cp seams.png "$FLIGHTREPLAY_SCREENSHOTS/seams.png"
[ "$terrain" -gt 65536 ] || fail "the terrain fills only $terrain pixels of the screen"
[ "$((seams * 1000))" -le "$terrain" ] || fail "$seams pixels of darkened terrain along the patch edges ($terrain of the flat colour)"
echo "PASS: $runs runs under load on $cores busy cores, status 0 each, transcript and standard error clean; no seams ($seams darkened of $terrain terrain pixels)"
