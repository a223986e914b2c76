#!/usr/bin/env bash
# Builds TapeKnot and starts it.
set -euo pipefail
cd "$(dirname "$0")"
scripts/setup.sh
exec build/bin/tapeknot "$@"
