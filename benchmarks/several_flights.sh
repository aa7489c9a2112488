#!/usr/bin/env bash
# The memory the player needs for several flights: it keeps a sample table of its own for each
# flight, as large as the rows it holds. Records one still of the same flight given once and
# 16 times (16 tables of 100,000 rows), in the folder of its world, and prints one line:
#
#   ONE_SECONDS ONE_MB SIXTEEN_SECONDS SIXTEEN_MB
#
#   several_flights.sh PLAYER WORLD-FOLDER LOG
set -euo pipefail
player=$1
world=$2
log=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Wall seconds and peak MB of one run.
measure()
{
    local start end
    start=$(date +%s%N)
    (cd "$world" && /usr/bin/time -f "%M" -o "$work/time" "$@" >"$work/out" 2>"$work/err") \
        || { cat "$work/err" >&2; echo "several_flights: the run failed" >&2; exit 1; }
    end=$(date +%s%N)
    awk -v s="$start" -v e="$end" '{ printf "%.2f %.0f", (e - s) / 1e9, $1 / 1024 }' "$work/time"
}

first=$(awk -F, 'NR == 1 { for (i = 1; i <= NF; ++i) if ($i == "gps_time") column = i; next } { print $column; exit }' "$world/$log")
flights=()
for _ in $(seq 16); do
    flights+=("$log")
done
one=$(measure "$player" "$log" --record "$work/one/" --camera overview --from "$first" --to "$first" --size 640x360)
# The same first moment: the first flight's log time, which +0 (the clock's start) is too.
sixteen=$(measure "$player" "${flights[@]}" --record "$work/sixteen/" --camera overview --from +0 --to +0 --size 640x360)
echo "$one $sixteen"
