#!/usr/bin/env bash
# The exports of a flight of about an hour: the size and write time of each format, and the
# web page's first frame in headless Chromium. The flight is the generated corridor world's
# (made once under DATA-FOLDER, reused while its stamp matches), so that the page carries
# the ground of a long track. Prints a small table, then one line for ./bench:
#
#   summary HTML_BYTES HTML_SECONDS HTML_PEAK_MB KML_SECONDS KML_PEAK_MB FIRST_FRAME_MS READY_MS FLIGHT_MINUTES
#
#   web_export.sh DATA-TOOL WORLDGEN DATA-FOLDER
#
# Write times and memory are the median of three whole runs of the command (wall time, the
# disk cache warm after the first); the first frame is the median of three runs of
# tests/support/page_check.py on the page opened as a file: the page's own performance.now()
# at its first frame, and the harness's time from the navigation to the page saying it is ready.
set -euo pipefail
data_tool=$1
worldgen=$2
data=$3
root=$(cd "$(dirname "$0")/.." && pwd)
runs=3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A 70 km corridor is flown in about an hour (take-off, climbs in thermals, glides, landing).
world=$data/corridor-70
if [ "$(cat "$world/.worldgen" 2>/dev/null)" != "$("$worldgen" --corridor 70 --version)" ]; then
    echo "web_export: making the 70 km corridor world under $world (once; some minutes)" >&2
    rm -rf "$world"
    mkdir -p "$data"
    "$worldgen" --out "$world" --corridor 70 --threads "$(nproc)" >/dev/null
fi
minutes=$(awk -F, 'NR == 1 { for (i = 1; i <= NF; ++i) if ($i == "gps_time") column = i }
                   NR == 2 { first = $column } NR > 1 { last = $column }
                   END { printf "%.0f", (last - first) / 60 }' "$world/sample.log")

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# One export, its output removed first: wall seconds and peak MB.
export_once()
{
    local format=$1 out=$2 start end
    rm -rf "$out"
    start=$(date +%s%N)
    (cd "$world" && /usr/bin/time -f "%M" -o "$work/time.out" "$data_tool" export sample.log --to "$format" --out "$out" \
        >"$work/export.out" 2>&1) || { cat "$work/export.out" >&2; echo "web_export: export --to $format failed" >&2; exit 1; }
    end=$(date +%s%N)
    awk -v s="$start" -v e="$end" -v m="$(tail -n 1 "$work/time.out")" 'BEGIN { printf "%.3f %.0f\n", (e - s) / 1e9, m / 1024 }'
}

declare -A seconds peak bytes
for format in kml kmz acmi czml gpx html; do
    out=$work/flight.$format
    [ "$format" = html ] && out=$work/page
    : >"$work/runs"
    for _ in $(seq "$runs"); do
        export_once "$format" "$out" >>"$work/runs"
    done
    seconds[$format]=$(awk '{ print $1 }' "$work/runs" | median)
    peak[$format]=$(awk '{ print $2 }' "$work/runs" | median)
    bytes[$format]=$(du -sb "$out" | cut -f1)
done

# The page's first frame, opened as a file.
: >"$work/frames"
for n in $(seq "$runs"); do
    python3 "$root/tests/support/page_check.py" "$work/page" --out "$work/check-$n" >/dev/null 2>"$work/check.err" \
        || { cat "$work/check.err" >&2; echo "web_export: the page failed its check" >&2; exit 1; }
    python3 -c 'import json, sys; r = json.load(open(sys.argv[1])); print(r["firstFrameMs"], r["harnessReadyMs"])' \
        "$work/check-$n/report.json" >>"$work/frames"
done
first_frame=$(awk '{ print $1 }' "$work/frames" | median)
ready=$(awk '{ print $2 }' "$work/frames" | median)

printf '\nExports of a %s-minute flight (%s rows), medians of %s runs\n' "$minutes" "$(($(wc -l <"$world/sample.log") - 1))" "$runs"
printf '%-8s %12s %12s %12s\n' format size write "peak memory"
for format in kml kmz acmi czml gpx html; do
    printf '%-8s %12s %12s %12s\n' "$format" "$(awk -v b="${bytes[$format]}" 'BEGIN { printf "%.2f MB", b / 1e6 }')" \
        "$(awk -v s="${seconds[$format]}" 'BEGIN { printf "%.2f s", s }')" "${peak[$format]} MB"
done
printf 'web page in headless Chromium (file://, SwiftShader WebGL): first frame at %.0f ms of the page'"'"'s clock, ready %.0f ms after the navigation\n' \
    "$first_frame" "$ready"
echo "summary ${bytes[html]} ${seconds[html]} ${peak[html]} ${seconds[kml]} ${peak[kml]} $first_frame $ready $minutes"
