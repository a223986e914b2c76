#!/usr/bin/env bash
# Cross-builds TapeKnot for 64-bit Windows on Debian and packs it:
#
#   scripts/build-windows.sh     # build-win-app/tapeknot-<version>-win64.zip
#                                # build-win-app/tapeknot-<version>-setup.exe
#
# Qt for Windows comes from scripts/build-qt-windows.sh (built once per
# machine, then reused). tapeknot.exe and rmeditor.exe are linked statically
# and import only Windows' own DLLs. TAPEKNOT_WINDOWS_TESTS=ON builds the
# window's tests for Windows as well.
set -euo pipefail
cd "$(dirname "$0")/.."

. scripts/need.sh
need g++-mingw-w64-x86-64-posix cmake ninja-build zip nsis qt6-translations-l10n librsvg2-bin icoutils

qt=$(scripts/build-qt-windows.sh | tail -1)
out=build-win-app
cmake -S . -B "$out" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_PREFIX_PATH="$qt" -DQT_HOST_PATH=/usr -DCMAKE_BUILD_TYPE=Release \
  -DTAPEKNOT_BUILD_BENCH=OFF -DTAPEKNOT_BUILD_TESTS="${TAPEKNOT_WINDOWS_TESTS:-OFF}" $(compilerCache)
cmake --build "$out"

# Nothing but Windows' own DLLs: no compiler runtime, no Qt DLL.
for exe in "$out"/bin/tapeknot.exe "$out"/bin/rmeditor.exe; do
  foreign=$(x86_64-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' \
            | grep -viE '^(kernel32|user32|gdi32|shell32|ole32|oleaut32|advapi32|comdlg32|imm32|winmm|ws2_32|uxtheme|dwmapi|version|setupapi|shlwapi|userenv|netapi32|wtsapi32|opengl32|d3d9|d3d11|dxgi|dxguid|winspool|mpr|rpcrt4|msvcrt|ntdll|crypt32|secur32|authz|comctl32|shcore|bcrypt|d2d1|dwrite|api-ms-win-.*)\.dll$' || true)
  if [ -n "$foreign" ]; then
    echo "windows: $exe needs DLLs that Windows does not have: $foreign" >&2
    exit 1
  fi
done

version=$(sed -n 's/^project(tapeknot VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
stage=$out/stage/tapeknot
rm -rf "$out/stage"
mkdir -p "$stage/translations"
cp "$out/bin/tapeknot.exe" "$out/bin/rmeditor.exe" "$stage/"
x86_64-w64-mingw32-strip "$stage/tapeknot.exe" "$stage/rmeditor.exe"
# Notepad on a Japanese Windows reads UTF-8 with its byte-order mark and CRLF line ends.
{ printf '\xef\xbb\xbf'; sed 's/\r*$/\r/' Readme.txt; } > "$stage/Readme.txt"
cp /usr/share/qt6/translations/qtbase_ja.qm "$stage/translations/"
zip_name=tapeknot-$version-win64.zip
rm -f "$out/$zip_name"
(cd "$out/stage" && zip -q -r "../$zip_name" tapeknot)
echo "windows: $out/$zip_name"

makensis -V2 -DVERSION="$version" -DSTAGE="$PWD/$stage" -DICON="$PWD/$out/src/tapeknot-resources/tapeknot.ico" -DOUTFILE="$PWD/$out/tapeknot-$version-setup.exe" \
  scripts/tapeknot.nsi
echo "windows: $out/tapeknot-$version-setup.exe"
