#!/usr/bin/env bash
# The fleet's entry script as an operator runs it over a day's flights: GNU parallel, two
# jobs at a time, over 20 small tracks and one file that is no flight, with an empty terrain
# cache and no network. Every output complete, the bad one told apart and its neighbours
# done, a flight checked over its world's ground; a second run skips everything and keeps the
# first run's reports; a worker killed outright mid-render leaves nothing under the video's
# name and a second run completes it. Then the batch engines' files in
# docs/fleet.md: the Slurm script requeues only a transient failure, and the Kubernetes
# manifest fails an index on every status but the transient one.
#
#   fleet_test.sh SOURCE-DIR BUILD-DIR
set -euo pipefail

source_dir=$(realpath "$1")
build_dir=$(realpath "$2")
job=$source_dir/scripts/fleet-job
# shellcheck source=tests/test-support.sh
. "$(dirname "$0")/test-support.sh"
require_tools parallel ffmpeg ffprobe Xvfb python3 setsid

enter_scratch
cd "$work"
export FLIGHTREPLAY_BUILD=$build_dir FLIGHTREPLAY_CACHE=$work/cache XDG_DATA_HOME=$work/data XDG_CACHE_HOME=$work/data
export FLEET_CLIP_SECONDS=1 FLEET_SIZE=160x96 OSG_NOTIFY_LEVEL=WARN
unset DISPLAY SLURM_ARRAY_TASK_ID JOB_COMPLETION_INDEX
mkdir cache flights

# Flight N: 30 s of a GPX track, one point a second, each flight in a place of its own.
track()
{
    awk -v n="$1" 'BEGIN {
        print "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" creator=\"fleet\"><trk><trkseg>"
        for (k = 0; k < 30; k++)
            printf "<trkpt lat=\"%.5f\" lon=\"%.5f\"><ele>%d</ele><time>2026-06-01T09:%02d:%02dZ</time></trkpt>\n",
                46 + n * 0.02 + k * 0.0002, 8 + k * 0.0003, 800 + 2 * k, n, k
        print "</trkseg></trk></gpx>" }'
}
for n in $(seq 0 21); do
    track "$n" >"flights/f$n.gpx"
    [ "$n" -lt 21 ] && echo "$work/flights/f$n.gpx" >>list.txt
done
printf '<?xml version="1.0"?>\n<gpx><trk><trkseg></trkseg></trk></gpx>\n' >flights/bad.gpx
sed -i "11s|.*|$work/flights/bad.gpx|" list.txt # line 10 from 0: f10 is not in the batch
# Ground at 1000 m under f0, which flies at 800 to 858 m: an elevation tile of its world's own,
# which a check run in the world finds.
mkdir -p out/f0
python3 -c 'import math
row = int((1 - math.asinh(math.tan(math.radians(46.0))) / math.pi) / 2 * 256)
column = int((8.0 + 180) / 360 * 256)
open("out/f0/zsi-%d-%d.egm" % (row, column), "wb").write((1000).to_bytes(2, "little") * (1025 * 1025))'

# The batch; the statuses by index from parallel's job log (field 7, the index last).
batch()
{
    parallel -j2 --joblog "$1" "$job" list.txt out {} ::: $(seq 0 20) >/dev/null 2>"$1.err" || true
    statuses=$(awk 'NR > 1 { print $NF ":" $7 }' "$1" | sort -n | tr '\n' ' ')
    expected=$(for n in $(seq 0 20); do if [ "$n" -eq 10 ]; then echo -n "10:65 "; else echo -n "$n:0 "; fi; done)
    [ "$statuses" = "$expected" ] || fail "statuses by index: $statuses, not $expected: $(tail -20 "$1.err")"
}

# Every flight's JSON objects parse and say what they should: its video and check written by
# the run that did the work, f0's check finding it below its world's ground.
check_outputs()
{
    python3 - <<'EOF' || fail "the JSON objects are not as they should be"
import json
names = ["f%d" % n for n in range(21) if n != 10]
for name in names:
    for step, statuses in (("world", {"done"}), ("check", {"done", "warnings"}), ("record", {"done"})):
        with open("out/%s/%s.json" % (name, step)) as f:
            report = json.load(f)
        words = {"done": 0, "warnings": 1}
        assert report["status"] in statuses and report["exit"] == words[report["status"]], (name, step, report)
        assert report["skipped"] is False, (name, step, report)
        if step == "record":
            assert any(w["path"].endswith(name + ".mp4") and w["bytes"] > 0 for w in report["written"]), report
with open("out/f0/check.json") as f:
    report = json.load(f)
assert report["counts"]["below_ground"] > 0 and not [w for w in report["warnings"] if w["kind"] == "no_drawn_ground"], report
with open("out/bad/world.json") as f:
    report = json.load(f)
assert report["status"] == "bad-input" and report["exit"] == 65 and report["message"], report
EOF
}

batch first.log
check_outputs
for n in $(seq 0 20); do
    [ "$n" -eq 10 ] && continue
    probe=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=width,height,nb_read_frames -of csv=p=0 "out/f$n/f$n.mp4")
    # 3 s of the flight at x3: one second of video, 31 frames at 30 a second.
    [ "$probe" = "160,96,31" ] || fail "f$n.mp4: ffprobe sees $probe, not 160,96,31"
    [ -s "out/f$n/f$n.log" ] && [ -s "out/f$n/check.csv" ] || fail "f$n: the log or the check's CSV is missing"
done
[ ! -e out/bad/bad.log ] && [ ! -e out/bad/bad.mp4 ] || fail "the bad flight left outputs: $(ls out/bad)"
stat -c '%n %Y' out/*/*.mp4 >videos.before
md5sum out/f*/*.json >reports.before

# Again: every step skipped, each keeping the report of the run that did its work.
SECONDS=0
batch second.log
check_outputs
stat -c '%n %Y' out/*/*.mp4 | cmp -s - videos.before || fail "the second run wrote a video again"
md5sum --quiet -c reports.before || fail "the second run replaced reports"
[ "$(grep -c 'up to date, the report of the run that did the work kept' second.log.err)" = 60 ] || fail "not every step was skipped: $(cat second.log.err)"
echo "second run: $SECONDS s for 21 flights, everything skipped"

# Killed outright (a lost node, the OOM killer) while the video renders: the job, the
# player, ffmpeg and the player's X server together. 3 s of video: 91 frames.
echo "$work/flights/f21.gpx" >one.txt
FLEET_CLIP_SECONDS=3 setsid "$job" one.txt out 0 >/dev/null 2>killed.err &
viewer_pid=$!
for _ in $(seq 300); do
    grep -q "^frame " killed.err && break
    kill -0 "$viewer_pid" 2>/dev/null || fail "the job ended before it rendered: $(cat killed.err)"
    sleep 0.1
done
grep -q "^frame " killed.err || fail "no frame rendered: $(cat killed.err)"
kill -9 -- "-$viewer_pid"
wait "$viewer_pid" 2>/dev/null || true
viewer_pid=
[ ! -e out/f21/f21.mp4 ] && [ ! -e out/f21/record.json ] || fail "a killed render left $(ls out/f21)"
[ -s out/f21/world.json ] && [ -s out/f21/check.json ] || fail "the steps before the render are not kept: $(ls -a out/f21)"
md5sum out/f21/world.json out/f21/check.json >kept.before
FLEET_CLIP_SECONDS=3 "$job" one.txt out 0 >/dev/null 2>rerun.err || fail "the re-run ended with $?: $(cat rerun.err)"
probe=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 out/f21/f21.mp4)
[ "$probe" = 91 ] || fail "the re-run's video has $probe frames, not 91"
md5sum --quiet -c kept.before && [ "$(grep -c 'up to date' rerun.err)" = 2 ] || fail "the re-run redid more than the video: $(cat rerun.err)"
python3 -c 'import json; r = json.load(open("out/f21/record.json"))
assert not r["skipped"] and r["status"] == "done", r' || fail "the re-run's video has no report of its own"

# The engines' files, taken from the documentation: each fenced block in a file of its own.
awk '/^```/ { if (block) { block = ""; next } if ($0 == "```yaml") block = "job.yaml"; if ($0 == "```bash") block = "slurm.sh"; next }
     block { print > block }' "$source_dir/docs/fleet.md"
bash -n slurm.sh || fail "the Slurm script does not parse"
grep -q '^#SBATCH --array=0-[0-9]*%[0-9]*' slurm.sh || fail "the Slurm script is no array job"
# The Slurm script over a stand-in entry script and scontrol: status by status, whether it requeues.
mkdir -p fleet/scripts bin
printf '#!/bin/sh\nexit "$STAND_IN_STATUS"\n' >fleet/scripts/fleet-job
printf '#!/bin/sh\necho "$@" >>"%s/requeued"\n' "$work" >bin/scontrol
chmod +x fleet/scripts/fleet-job bin/scontrol
for case in "0 0 0 none" "65 0 65 none" "75 0 0 requeue 4711" "75 3 75 none"; do
    read -r status restarts expected requeue <<<"$case"
    rm -f requeued
    result=0
    PATH=$work/bin:$PATH FLEET_HOME=$work/fleet STAND_IN_STATUS=$status SLURM_RESTART_COUNT=$restarts \
        SLURM_JOB_ID=4711 SLURM_ARRAY_TASK_ID=3 bash slurm.sh >/dev/null 2>&1 || result=$?
    [ "$result" -eq "$expected" ] || fail "after status $status (restart $restarts) the Slurm script ends with $result, not $expected"
    [ "$(cat requeued 2>/dev/null || echo none)" = "$requeue" ] || fail "after status $status (restart $restarts): $(cat requeued 2>/dev/null || echo no requeue)"
done
python3 - <<'EOF' || fail "the Kubernetes manifest is not as it should be"
import yaml
job = yaml.safe_load(open("job.yaml"))
# A Kubernetes object's body, the one mapping beside its kind, version and metadata.
body = lambda o: next(v for k, v in o.items() if k not in ("apiVersion", "kind", "metadata"))
indexed = body(job)
assert job["kind"] == "Job" and indexed["completionMode"] == "Indexed" and indexed["backoffLimitPerIndex"] > 0, indexed
rules = indexed["podFailurePolicy"]["rules"]
assert [(r["action"], r["onExitCodes"]["operator"], r["onExitCodes"]["values"]) for r in rules] == [("FailIndex", "NotIn", [75])], rules
pod = body(indexed["template"])
assert pod["restartPolicy"] == "Never"
container = pod["containers"][0]
assert container["command"][0].endswith("scripts/fleet-job"), container
cache = [m for m in container["volumeMounts"] if m.get("readOnly")]
assert any(e["name"] == "FLIGHTREPLAY_CACHE" and e["value"] == cache[0]["mountPath"] for e in container["env"]), container
EOF
echo "fleet: all checks passed"
