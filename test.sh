#!/usr/bin/env bash
# Builds TapeKnot and runs every test without a display (one under a virtual one).
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh ffmpeg gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-ugly gstreamer1.0-libav \
  xvfb xauth
export QT_QPA_PLATFORM=offscreen
# Two at a time: the joiner's tests wait on ffmpeg and GStreamer most of theirs.
ctest --test-dir build --parallel 2 --output-on-failure "$@"
