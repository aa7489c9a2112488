#!/usr/bin/env bash
# The onboard video's cost: the decoder's time per frame of a 1920x1080 clip at 30 frames a
# second (made here with ffmpeg's test pattern, H.264), and the player's frame rate in its
# window (the current display's screen) with the clip in its panel and without it. The frame
# rate is that of the frames past the start: runs of 100 and of 700 frames, their difference.
# Prints one line:
#
#   DECODER_MS_PER_FRAME DECODE_CPU_MS_PER_FRAME FPS_WITHOUT FPS_WITH
#
#   video_panel.sh PLAYER CLIPDECODE WORLD-FOLDER LOG
set -euo pipefail
player=$1
decode=$2
world=$3
log=$4
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

ffmpeg -hide_banner -loglevel error -nostdin -y -f lavfi -i testsrc2=s=1920x1080:r=30:d=60 \
    -c:v libx264 -preset veryfast -pix_fmt yuv420p "$work/clip.mp4"
result=$("$decode" "$work/clip.mp4")
value() { sed -n "s/.*\b$1=\([0-9.]*\).*/\1/p" <<<"$result"; }

# Wall seconds of a windowed run of N frames.
run()
{
    local frames=$1 start end
    shift
    start=$(date +%s%N)
    (cd "$world" && OSG_RUN_FRAME_COUNT=$frames "$player" "$log" "$@" >"$work/out" 2>"$work/err") \
        || { cat "$work/err" >&2; echo "video_panel: the player failed" >&2; exit 1; }
    end=$(date +%s%N)
    awk -v s="$start" -v e="$end" 'BEGIN { printf "%.3f", (e - s) / 1e9 }'
}
# Frames a second past the start, the median of three pairs taking turns.
without=()
with=()
for _ in 1 2 3; do
    a=$(run 100) b=$(run 700)
    without+=("$(awk -v a="$a" -v b="$b" 'BEGIN { printf "%.1f", 600 / (b - a) }')")
    a=$(run 100 --video "$work/clip.mp4" --video-offset 0) b=$(run 700 --video "$work/clip.mp4" --video-offset 0)
    with+=("$(awk -v a="$a" -v b="$b" 'BEGIN { printf "%.1f", 600 / (b - a) }')")
done
median() { printf '%s\n' "$@" | sort -n | sed -n 2p; }
echo "$(value decoder_ms_per_frame) $(value cpu_ms_per_frame) $(median "${without[@]}") $(median "${with[@]}")"
