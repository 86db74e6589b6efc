#!/usr/bin/env bash
# Runs every fuzz target in a build folder for a bounded time, from a seed corpus that the
# project generates (scripts/make-seeds.sh writes fuzz/seeds/<target>/ when it exists).
set -euo pipefail
build=${1:-build-fuzz}
seconds=${2:-20}
shopt -s nullglob
targets=("$build"/*_fuzz)
if [ ${#targets[@]} -eq 0 ]; then
    echo "run-fuzzers: no fuzz targets built"
    exit 0
fi
passed=0
failed=0
for t in "${targets[@]}"; do
    name=$(basename "$t")
    corpus="$build/corpus/$name"
    mkdir -p "$corpus"
    if [ -d "fuzz/seeds/$name" ]; then cp -n fuzz/seeds/"$name"/* "$corpus"/ 2>/dev/null || true; fi
    if [ -x "$build/make_seeds" ]; then "$build/make_seeds" "$name" "$corpus" >/dev/null; fi
    if [ -x scripts/make-fuzz-seeds.sh ]; then scripts/make-fuzz-seeds.sh "$name" "$corpus"; fi
    echo "fuzz: $name for ${seconds}s"
    if "$t" -max_total_time="$seconds" -max_len=65536 -rss_limit_mb=2048 -print_final_stats=0 \
        "$corpus" >"$build/$name.log" 2>&1; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        echo "fuzz: $name FAILED; last lines of $build/$name.log:"
        tail -n 40 "$build/$name.log"
    fi
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
