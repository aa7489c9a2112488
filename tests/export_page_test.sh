#!/usr/bin/env bash
# The demo flight exported as a web page and opened in headless Chromium, as a file and from
# a local server, after the page's folder has been moved away from the world it was made in:
# it loads nothing from outside its folder, writes no error to the console, and at two
# seconds of the flight shows the aircraft (moved between them, standing out from the
# ground), the track in its colour and the ground's imagery where the page says they are.
# Before it, the check fails a faulty page of a few lines, with a line for each fault.
#
#   export_page_test.sh DATA-TOOL WORLDGEN
#
# Needs Chromium (scripts/install-browser); set FLIGHTREPLAY_CHROMIUM for another binary and
# FLIGHTREPLAY_SCREENSHOTS to a folder to keep the shots and reports.
set -euo pipefail

data_tool=$1
worldgen=$2
support=$(cd "$(dirname "$0")/support" && pwd)
# shellcheck source=tests/test-support.sh
. "$(dirname "$0")/test-support.sh"
require_tools python3
chromium=${FLIGHTREPLAY_CHROMIUM:-/usr/bin/chromium}
[ -x "$chromium" ] || fail "no browser at $chromium (scripts/install-browser installs it)"

enter_scratch

# First the check itself, on a page of a few lines that reaches out of its folder, throws and
# never gets ready: each fault is a line of its own, and the check fails.
mkdir -p "$work/outside/page"
echo "window.outsideLoaded = true;" >"$work/outside/elsewhere.js"
cat >"$work/outside/page/index.html" <<'EOF'
<!DOCTYPE html>
<html><head><meta charset="utf-8"><link rel="icon" href="data:,">
<script src="../elsewhere.js"></script></head>
<body><script>console.error("faulty on purpose"); undefinedFunction();</script></body></html>
EOF
status=0
python3 "$support/page_check.py" "$work/outside/page" --out "$work/outside/check" --timeout 3 2>"$work/outside/problems" \
    || status=$?
[ "$status" -eq 1 ] || fail "the check of a faulty page ended with status $status: $(cat "$work/outside/problems")"
for problem in "request to a file outside the page's folder: file://$work/outside/elsewhere.js" \
    "console error (console): faulty on purpose" "console error (exception): ReferenceError: undefinedFunction is not defined" \
    "the page was not ready after 3 s"; do
    grep -qF "$problem" "$work/outside/problems" || fail "the check missed: $problem ($(cat "$work/outside/problems"))"
done
"$worldgen" --out "$work/world" >"$work/worldgen.out" || fail "the world was not made: $(cat "$work/worldgen.out")"
(cd "$work/world" && "$data_tool" export sample.log --to html --out page) >"$work/export.out" 2>&1 \
    || fail "export --to html failed: $(cat "$work/export.out")"
[ -f "$work/world/page/index.html" ] || fail "the export wrote no index.html"
# Away from the world's tiles and imagery, a page that still reads them is caught by its
# missing files as well as by the requests out of its folder.
mv "$work/world/page" "$work/page"

shots=${FLIGHTREPLAY_SCREENSHOTS:-$work/shots}
# A launch climb and the survey's lanes: the 13-minute flight is far apart at these seconds.
# As a file in the chase view, which keeps the aircraft in the middle while the world moves
# past; served in the overview, which stands still while the aircraft moves across it.
for mode in file serve; do
    flags=(--fragment camera=overview --serve)
    views=()
    [ "$mode" = file ] && flags=() && views=(--camera-follows)
    python3 "$support/page_check.py" "$work/page" --out "$shots/$mode" --at 200 --at 480 "${flags[@]}" \
        || fail "the page as $mode: see above ($shots/$mode/report.json)"
    python3 "$support/page_shots.py" "$shots/$mode" "${views[@]}" || fail "the page's views as $mode: see above"
    python3 - "$shots/$mode/report.json" <<'EOF'
import json, sys
report = json.load(open(sys.argv[1]))
print(f"{'served' if report['served'] else 'file'}: {len(report['requests'])} requests, ready after"
      f" {report['harnessReadyMs']:.0f} ms, first frame at {report['firstFrameMs']:.0f} ms ({report['webgl']})")
EOF
done
