#!/usr/bin/env bash
# What `make run` does without a display.
build=${1:-build}
echo "No display found (DISPLAY and WAYLAND_DISPLAY are empty): Sundral's window needs one."
echo "Start it under a display, or try it headless: xvfb-run $build/sundral"
