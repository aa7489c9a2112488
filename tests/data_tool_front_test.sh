#!/usr/bin/env bash
# flightreplay-data's front runs track and check itself and loads nothing heavy for them:
# none of the scene graph's, GDAL's, cairo's, libav's or the X libraries is among the libraries it
# needs. Without its full tool beside it, it still converts, and says why the commands it
# hands over cannot run.
#
#   data_tool_front_test.sh DATA-TOOL
set -euo pipefail
front=$(realpath "$1")
# shellcheck source=tests/test-support.sh
. "$(dirname "$0")/test-support.sh"
require_tools readelf

heavy=$(readelf -d "$front" | grep NEEDED | grep -E 'libosg|libOpenThreads|libgdal|libcairo|libfontconfig|libX11|libGL|libav' || true)
[ -z "$heavy" ] || fail "the front needs: $heavy"

enter_scratch
cp "$front" "$work/alone"
cd "$work"
printf 'time,lat,lon,alt\n0,47.0,8.0,500\n1,47.0001,8.0,501\n2,47.0002,8.0,502\n' >walk.csv
./alone track walk.csv >walk.log 2>track.err || fail "track without the full tool: $(cat track.err)"
grep -q gps_curlat walk.log || fail "no log written"
status=0
./alone plan walk.log >plan.out 2>plan.err || status=$?
[ "$status" -eq 64 ] || fail "plan without the full tool ended with $status"
grep -q "cannot start the full data tool" plan.err || fail "no reason given: $(cat plan.err)"
echo "front loads $(readelf -d "$front" | grep -c NEEDED) libraries; hands over as it should"
