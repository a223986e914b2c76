#!/usr/bin/env bash
# Builds TapeKnot and runs every test without a display.
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh ffmpeg
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure "$@"
