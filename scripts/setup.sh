#!/usr/bin/env bash
# Installs the Debian packages the build needs (only those that are missing,
# and only where apt-get exists), then configures and builds into ./build,
# through a compiler cache where there is one.
#
#   TAPEKNOT_TARGETS="tapeknot rmeditor" scripts/setup.sh [more packages…]
#
# TAPEKNOT_TARGETS names what to build (everything when unset);
# TAPEKNOT_CMAKE_ARGS adds options to the configure step.
set -euo pipefail
cd "$(dirname "$0")/.."

. scripts/need.sh
need g++ cmake ninja-build pkg-config qt6-base-dev libgl-dev libxkbcommon-dev libglib2.0-dev fonts-ipafont-gothic \
     qt6-translations-l10n "$@"
cache=$(compilerCache)

generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
# shellcheck disable=SC2086
cmake -S . -B build "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo $cache ${TAPEKNOT_CMAKE_ARGS:-}
# shellcheck disable=SC2086
cmake --build build ${TAPEKNOT_TARGETS:+--target $TAPEKNOT_TARGETS}
