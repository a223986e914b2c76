#!/usr/bin/env bash
# Builds TapeKnot (the program and its joiner only) and starts it.
set -euo pipefail
cd "$(dirname "$0")"
TAPEKNOT_TARGETS="tapeknot rmeditor" scripts/setup.sh
exec build/bin/tapeknot "$@"
