#!/usr/bin/env bash
# What `make run` does without a display: a short demonstration of the command-line front
# end on a WAV file the project generates.
set -euo pipefail
build=${1:-build}
cli="$build/sundral-cli"
out=${SUNDRAL_DEMO_DIR:-$PWD/out/demo}
mkdir -p "$out"

echo "No display found (DISPLAY and WAYLAND_DISPLAY are empty), so here is sundral-cli instead."
echo "To see the window: run 'make run' under a display, or 'xvfb-run $build/sundral'."
echo

# Ten seconds of a rising tone with a quiet second voice, 44.1 kHz 16-bit stereo.
sox -q -n -r 44100 -c 2 -b 16 "$out/tone.wav" synth 10 sine 220-880 sine 330 remix 1 2 vol 0.5
echo "\$ sundral-cli info $out/tone.wav"
"$cli" info "$out/tone.wav"
echo
echo "\$ sundral-cli cut $out/tone.wav $out/tone-cut.wav --from 00:00:02.5 --to 7.5 --force"
"$cli" cut "$out/tone.wav" "$out/tone-cut.wav" --from 00:00:02.5 --to 7.5 --force
"$cli" info "$out/tone-cut.wav"
echo
echo "The cut (seconds 2.5 to 7.5 of the tone) is $out/tone-cut.wav"
