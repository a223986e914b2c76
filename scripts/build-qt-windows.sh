#!/usr/bin/env bash
# Builds Qt for 64-bit Windows (static, mingw-w64) from Debian's own qt6-base
# source package, the same version as the host Qt, once per machine:
#
#   scripts/build-qt-windows.sh      # prints the Qt prefix to use
#
# The result lives outside the work tree, in
# ~/.cache/tapeknot/qt-<version>-mingw64-<hash of the flags>, and is reused
# while it is whole (a stamp file is written last).
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

. scripts/need.sh
need g++-mingw-w64-x86-64-posix cmake ninja-build qt6-base-dev qt6-base-dev-tools xz-utils

version=$(dpkg-query -W -f='${Version}' qt6-base-dev | sed 's/+.*//; s/^[0-9]*://')
flags=(
  -DBUILD_SHARED_LIBS=OFF -DFEATURE_static_runtime=ON
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF
  -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_printsupport=OFF -DFEATURE_dbus=OFF
  -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF -DFEATURE_tabletevent=OFF -DFEATURE_vulkan=OFF
  -DFEATURE_testlib=ON -DFEATURE_opengl=ON -DFEATURE_icu=OFF
  -DCMAKE_BUILD_TYPE=Release
)
hash=$( (echo "$version"; printf '%s\n' "${flags[@]}"; cat "$root/cmake/mingw-w64-x86_64.cmake") | sha256sum | cut -c1-12)
cache=${TAPEKNOT_CACHE:-$HOME/.cache/tapeknot}
prefix=$cache/qt-$version-mingw64-$hash
if [ -f "$prefix/.complete" ] && [ -f "$prefix/lib/cmake/Qt6Widgets/Qt6WidgetsConfig.cmake" ]; then
  echo "$prefix"
  exit 0
fi

work=$cache/qt-$version-src
mkdir -p "$work"
if [ ! -d "$work/qtbase-everywhere-src-$version" ]; then
  # A private apt configuration with Debian's source entry, so the system's stays as it is.
  apt=$work/apt
  mkdir -p "$apt/lists/partial" "$apt/sources"
  . /etc/os-release
  cat > "$apt/sources/debian-src.sources" <<SRC
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: ${VERSION_CODENAME:-bookworm}
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
SRC
  aptopts=(-o Dir::Etc::SourceList=/dev/null -o Dir::Etc::SourceParts="$apt/sources" -o Dir::State::Lists="$apt/lists")
  apt-get "${aptopts[@]}" update >&2
  (cd "$work" && apt-get "${aptopts[@]}" source --download-only "qt6-base=$(dpkg-query -W -f='${Version}' qt6-base-dev)" >&2)
  tar -C "$work" -xf "$(ls "$work"/qt6-base_*.orig.tar.* | head -1)"
fi
src=$work/qtbase-everywhere-src-$version
[ -d "$src" ] || { echo "qt: no source folder $src" >&2; exit 1; }

build=$work/build-$hash
cmake -S "$src" -B "$build" -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" \
  -DQT_HOST_PATH=/usr -DQt6HostInfo_DIR=/usr/lib/x86_64-linux-gnu/cmake/Qt6HostInfo \
  -DCMAKE_INSTALL_PREFIX="$prefix" "${flags[@]}" >&2
cmake --build "$build" >&2
cmake --install "$build" >&2
touch "$prefix/.complete"
rm -rf "$build"
echo "$prefix"
