#!/usr/bin/env bash
# ./run's installation and build steps on a fresh machine: one line each on the terminal,
# their whole output in out/logs/, and a failing step's last lines, its log and its status.
# Runs a copy of ./run over stand-ins for the two scripts it calls.
#
#   run_steps_test.sh SOURCE-DIR
set -euo pipefail

source_dir=$1
# shellcheck source=tests/test-support.sh
. "$(dirname "$0")/test-support.sh"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/scripts"
cp "$source_dir/run" "$work/run"
printf '#!/bin/sh\nseq 1 900 | sed "s/^/Unpacking package /"\n' >"$work/scripts/install-deps"
printf '#!/bin/sh\nseq 1 300 | sed "s/^/[ 1%%] Building CXX object /"\necho "error: the compiler gave up" >&2\nexit 2\n' >"$work/scripts/build"
chmod +x "$work/scripts/install-deps" "$work/scripts/build"

status=0
(cd "$work" && env -u RUN_NO_BUILD ./run >"$work/out.txt" 2>&1) || status=$?
cat "$work/out.txt"
[ "$status" -eq 2 ] || fail "./run ended with status $status, not the build's 2"
[ "$(wc -l <"$work/out.txt")" -le 30 ] || fail "./run printed $(wc -l <"$work/out.txt") lines"
grep -q "^Installing what is missing (log: out/logs/install.log) ... done" "$work/out.txt" || fail "no line for the installation"
[ "$(grep -c Unpacking "$work/out/logs/install.log")" -eq 900 ] || fail "the installation's log is not whole"
grep -q "error: the compiler gave up" "$work/out.txt" || fail "the build's last lines were not shown"
grep -q "the whole output is in out/logs/build.log" "$work/out.txt" || fail "the build's log was not named"
echo "PASS"
