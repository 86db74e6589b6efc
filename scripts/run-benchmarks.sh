#!/usr/bin/env bash
# Runs every benchmark in a build folder; each prints its own figures and the ratio to the
# peer it measures in the same run.
set -uo pipefail
build=${1:-build}
shopt -s nullglob
status=0
for b in "$build"/*_bench; do
    echo "== $(basename "$b")"
    "$b" || status=1
    echo
done
exit $status
