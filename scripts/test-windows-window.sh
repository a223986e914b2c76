#!/usr/bin/env bash
# The window's own tests, cross-built for Windows and run under Wine on the
# offscreen platform. Needs the Qt from scripts/build-qt-windows.sh.
# Tests that need a fact only Linux has skip and say why.
set -euo pipefail
cd "$(dirname "$0")/.."

. scripts/need.sh
need wine64 qt6-translations-l10n
japaneseLocale

# The tree of the Windows program (scripts/build-windows.sh), its tests built there too.
qt=$(scripts/build-qt-windows.sh | tail -1)
out=build-win-app
cmake -S . -B "$out" -G Ninja -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" \
  -DCMAKE_PREFIX_PATH="$qt" -DQT_HOST_PATH=/usr -DCMAKE_BUILD_TYPE=Release \
  -DTAPEKNOT_BUILD_BENCH=OFF -DTAPEKNOT_BUILD_TESTS=ON $(compilerCache)
cmake --build "$out"
# Qt's own Japanese texts beside the tests, where the package puts them beside the program.
mkdir -p "$out/bin/translations"
cp /usr/share/qt6/translations/qtbase_ja.qm "$out/bin/translations/"

# A Japanese Windows: its ANSI code page is 932 (Shift-JIS).
export WINEDEBUG=-all LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8
winePrefix "$PWD/$out/wineprefix"
winpath() { local p; p=$(realpath "$1"); echo "Z:${p//\//\\}"; } # Wine's Z: is the root
screen=$(realpath tests/offscreen-screen.json) # a path on Wine's current drive: no colon to split on
# One test under Wine; its result goes to $out/NAME.txt, its exit status to $out/NAME.status.
runOne() {
  local name=$1 status=0 platform=()
  rm -f "$out/$name.txt" "$out/$name.status"
  # Window tests on the offscreen platform (Wine hands Qt no QT_QPA_PLATFORM: it goes as an argument).
  case $name in tst_profile|tst_fileexists|tst_naming|tst_rules) ;; *) platform=(-platform "offscreen:configfile=$screen") ;; esac
  (cd "$out/bin" && timeout 600 "$wine" "./$name.exe" "${platform[@]}" \
     -o "$(winpath "$PWD")\\$name.out,txt" >/dev/null 2>&1) || status=$?
  [ -f "$out/bin/$name.out" ] && mv "$out/bin/$name.out" "$out/$name.txt"
  echo "$status" > "$out/$name.status"
}
# Two at a time, as the machine has two cores: the 10,000-clip test of
# tst_sources alone takes as long as all the others one after another.
names=()
for test in "$out"/bin/tst_*.exe; do names+=("$(basename "$test" .exe)"); done
runOne tst_sources &
sources=$!
for name in "${names[@]}"; do
  [ "$name" = tst_sources ] || runOne "$name"
done
wait $sources || true
failed=0
for name in "${names[@]}"; do
  log="$out/$name.txt"
  status=$(cat "$out/$name.status" 2>/dev/null || echo "?")
  echo "windows: $name: $(grep -h '^Totals' "$log" 2>/dev/null || echo "no result (exit $status)")"
  grep -h -A3 '^FAIL' "$log" 2>/dev/null || true
  [ "$status" = 0 ] || failed=1
done
exit $failed
