#!/usr/bin/env bash
# ./run on a flight file as a new user meets it: a ULog made by the tests' writers, its
# elevation (Cloud-Optimised GeoTIFFs of a known field) and imagery (tiles of one pure
# magenta) served by the local test server in place of the default sources. The first run,
# without a display, fetches them and photographs the player over them; the flight's
# heights above ground agree with the served field. The second, with a display (a virtual
# X server of the test's own) and a bounded run of the player's window, asks the server
# nothing.
#
#   run_flight_test.sh SOURCE-DIR BUILD-DIR LOG-MAKER SERVED-SOURCES
#
# Set FLIGHTREPLAY_SCREENSHOTS to a folder to keep the screenshots.
set -euo pipefail

source_dir=$1
build_dir=$2
log_maker=$3
served_sources=$4
# shellcheck source=tests/test-support.sh
. "$(dirname "$0")/test-support.sh"
require_tools Xvfb xdotool import convert identify ffprobe python3

enter_scratch
server_pid=
extra_cleanup()
{
    [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true
}

latitude=45.5
longitude=10.5
"$log_maker" ulog "$work/flight.ulg" "$latitude" "$longitude"
"$served_sources" squares "$work/served/dem" "$latitude" "$longitude"
convert -size 256x256 xc:'rgb(255,0,255)' "jpg:$work/served/.any"
echo "any /xyz/" >"$work/served/.faults"
python3 "$(dirname "$0")/support/range_http_server.py" "$work/served" "$work/requests.log" >"$work/port" &
server_pid=$!
for _ in $(seq 100); do
    [ -s "$work/port" ] && break
    sleep 0.1
done
port=$(head -n 1 "$work/port")
[ -n "$port" ] || fail "the test server did not start"
touch "$work/requests.log"

shots=${FLIGHTREPLAY_SCREENSHOTS:-$work/shots}
run_flight() # run number: ./run on the flight, its output in run-N.out, its time on stdout
{
    local status=0 start end
    start=$(date +%s.%N)
    env RUN_NO_BUILD=1 FLIGHTREPLAY_BUILD="$build_dir" FLIGHTREPLAY_SHOTS="$shots/$1" \
        XDG_DATA_HOME="$work/data" FLIGHTREPLAY_CACHE="$work/cache" \
        FLIGHTREPLAY_DEM_URL="http://127.0.0.1:$port/dem/{tile}/{tile}.tif" \
        FLIGHTREPLAY_IMAGERY_URL="http://127.0.0.1:$port/xyz/{z}/{x}/{y}.jpg" FLIGHTREPLAY_IMAGERY_MAXZOOM=12 \
        FLIGHTREPLAY_CLIP_SECONDS=2 \
        "$source_dir/run" "$work/flight.ulg" >"$work/run-$1.out" 2>&1 || status=$?
    end=$(date +%s.%N)
    cat "$work/run-$1.out"
    [ "$status" -eq 0 ] || fail "./run ($1) ended with status $status"
    echo "run $1 took $(awk -v s="$start" -v e="$end" 'BEGIN { printf "%.1f", e - s }') s"
}

unset DISPLAY
run_flight 1
requests=$(wc -l <"$work/requests.log")
[ "$requests" -gt 0 ] || fail "the first run asked the server nothing"
strangers=$(awk '$5 !~ /^flightreplay\// { print }' "$work/requests.log")
[ -z "$strangers" ] || fail "requests without the program's User-Agent: $strangers"

# The player's screenshots show the served imagery on the ground, give or take the JPEG's
# and the light's shading.
for name in player-1-playing player-2-paused; do
    file=$shots/1/$name.png
    [ -f "$file" ] || fail "no screenshot $file"
    share=$(convert "$file" -fuzz 25% -fill black +opaque 'rgb(255,0,255)' -fill white -opaque 'rgb(255,0,255)' -format '%[fx:mean]' info:)
    awk -v s="$share" 'BEGIN { exit !(s > 0.1) }' || fail "$file shows little of the served imagery (share $share)"
    echo "$name: served imagery on $share of the screen"
done

# The flight's clip: 2 s of video, 6 s of the flight at x3 from its start.
clip=$shots/1/flight-clip.mp4
grep -q "$clip" "$work/run-1.out" || fail "the path of the flight's clip was not printed"
probe=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=codec_name,nb_read_frames -of csv=p=0 "$clip")
[ "$probe" = "h264,61" ] || fail "ffprobe sees $probe in the flight's clip, not h264,61"

# The drawn ground under every sample is the served field.
world=$(dirname "$(find "$work/data" -name flight.log -print -quit)")
[ -d "$world" ] || fail "no world was made under $work/data"
# Status 1 is a verdict (the test's circle at a steady speed may show faults), not a failure.
status=0
(cd "$world" && "$build_dir/flightreplay-data" check flight.log --csv "$work/check.csv") >"$work/check.out" 2>&1 || status=$?
[ "$status" -le 1 ] || fail "check ended with status $status: $(cat "$work/check.out")"
tail -n +2 "$work/check.csv" | cut -d, -f3,4 | "$served_sources" heights >"$work/served-heights"
tail -n +2 "$work/check.csv" | cut -d, -f5-7 | paste -d, - "$work/served-heights" >"$work/heights"
[ -s "$work/heights" ] || fail "the check gave no samples"
worst=$(awk -F, '$2 == "" { bad = "a sample without ground"; exit }
                 ($1 - $2 - $3)^2 > 0.01 { bad = "height " $3 " is not altitude " $1 " less ground " $2; exit }
                 { d = $2 - $4; d = d < 0 ? -d : d; if (d > w) w = d }
                 END { print bad != "" ? bad : w + 0 }' "$work/heights")
awk -v w="$worst" 'BEGIN { exit !(w ~ /^[0-9.]+$/ && w < 3) }' || fail "the ground under the flight is not the served field: $worst"
echo "ground under $(wc -l <"$work/heights") samples within $worst m of the served field"

start_xvfb "$work/xvfb.log"
export OSG_RUN_FRAME_COUNT=20
run_flight 2
grep -q "No usable display" "$work/run-2.out" && fail "the second run did not use the display"
grep -q "^CI,CJ=" "$work/run-2.out" || fail "the second run did not play the flight"
[ "$(wc -l <"$work/requests.log")" -eq "$requests" ] || fail "the second run asked the server again: $(tail -n +$((requests + 1)) "$work/requests.log")"
echo "PASS: $requests requests, then none"
