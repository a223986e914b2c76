#!/usr/bin/env bash
# Installs the Debian packages the build needs (only those that are missing,
# and only where apt-get exists), then configures and builds into ./build.
#
#   TAPEKNOT_TARGETS="tapeknot rmeditor" scripts/setup.sh [more packages…]
#
# TAPEKNOT_TARGETS names what to build (everything when unset);
# TAPEKNOT_CMAKE_ARGS adds options to the configure step.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(g++ cmake ninja-build pkg-config qt6-base-dev libgl-dev libxkbcommon-dev libglib2.0-dev fonts-ipafont-gothic
          qt6-translations-l10n "$@")
if command -v apt-get >/dev/null 2>&1 && command -v dpkg-query >/dev/null 2>&1; then
  missing=()
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    if [ "$(id -u)" -ne 0 ]; then
      if command -v sudo >/dev/null 2>&1; then
        sudo="sudo"
      else
        echo "setup: not root and no sudo; install these packages first: ${missing[*]}" >&2
        missing=()
      fi
    fi
    if [ ${#missing[@]} -gt 0 ]; then
      $sudo apt-get update
      DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
    fi
  fi
else
  echo "setup: no apt-get here; make sure a C++20 compiler, CMake 3.25+, Ninja and Qt 6.4+ (Core, Gui, Widgets, Test) are installed" >&2
fi

generator=()
command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
# shellcheck disable=SC2086
cmake -S . -B build "${generator[@]}" -DCMAKE_BUILD_TYPE=RelWithDebInfo ${TAPEKNOT_CMAKE_ARGS:-}
# shellcheck disable=SC2086
cmake --build build ${TAPEKNOT_TARGETS:+--target $TAPEKNOT_TARGETS}
