#!/usr/bin/env bash
# The Windows program as a user meets it, under Wine on a virtual display:
# the zip from scripts/build-windows.sh unpacked into a fresh folder, two
# real clips given on the command line, ファイル → 実行 from the keyboard,
# rmeditor.exe joining them. Checked: the success line's file is there and
# decodes, it is an ordinary file seen from Windows, tapeknot.ini is written
# back at close (CRLF), and a screenshot of the window is kept in
# build-win-app/wine-window.png. Then the installer: installed silently, it
# puts the program under Program Files with a Start-menu entry and "Open
# with" entries; its uninstaller removes them and leaves the user's settings.
set -euo pipefail
cd "$(dirname "$0")/.."

. scripts/need.sh
need wine64 xvfb xdotool imagemagick openbox ffmpeg unzip fonts-ipafont-gothic

version=$(sed -n 's/^project(tapeknot VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
zip=$PWD/build-win-app/tapeknot-$version-win64.zip
[ -f "$zip" ] || { echo "windows: no $zip (run scripts/build-windows.sh first)" >&2; exit 1; }

# Beside the build, like the other Wine prefixes here: /tmp may be mounted
# without the right to run programs from it.
work=$(mktemp -d "$PWD/build-win-app/wine-run.XXXXXX")
display=:$((90 + RANDOM % 9))
cleanup() {
  kill "${xvfb_pid:-}" "${wm_pid:-}" 2>/dev/null || true
  "${wineserver:-true}" -k 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
(cd "$work" && unzip -q "$zip")
mkdir -p "$work/clips"
if [ -f ../shared/samples/helix11-rv30-cook.rm ]; then
  cp ../shared/samples/helix11-rv30-cook.rm "$work/clips/take_01.rm"
  cp ../shared/samples/helix11-rv30-cook-otherdate.rm "$work/clips/take_02.rm"
else
  for i in 1 2; do
    ffmpeg -v error -f lavfi -i testsrc=size=176x144:rate=15 -f lavfi -i sine=sample_rate=44100 -t 2 \
      -c:v rv20 -c:a ac3 "$work/clips/take_0$i.rm"
  done
fi
winpath() { local p; p=$(realpath "$1"); echo "Z:${p//\//\\}"; } # Wine's Z: is the root
# A user who has pointed the program at the bundled joiner once.
printf '[shoki]\r\npath=%s\r\n' "$(winpath "$work/tapeknot/rmeditor.exe")" > "$work/tapeknot/tapeknot.ini"

wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
export WINEPREFIX="$work/prefix" WINEDEBUG=-all DISPLAY=$display LANG=C.UTF-8
Xvfb "$display" -screen 0 1280x1024x24 >/dev/null 2>&1 & xvfb_pid=$!
sleep 1
openbox >/dev/null 2>&1 & wm_pid=$!
# A new prefix, made before anything runs in it, and proven by a program
# that starts there. wineboot returns while the prefix is still being filled
# in, so the wait; a prefix left half made (a CI machine once gave "could not
# load kernel32.dll") is made once more, from nothing, and said so.
for attempt in 1 2; do
  "$wine" wineboot --init >"$work/wineboot.log" 2>&1 || true
  timeout 300 "$wineserver" -w || true
  "$wine" cmd /c echo ready 2>>"$work/wineboot.log" | grep -q ready && break
  echo "windows: Wine's new prefix does not run programs (attempt $attempt):" >&2
  cat "$work/wineboot.log" >&2
  [ "$attempt" = 1 ] || exit 1
  "$wineserver" -k 2>/dev/null || true
  rm -rf "$WINEPREFIX"
done
(cd "$work/tapeknot" && "$wine" tapeknot.exe "$(winpath "$work/clips/take_01.rm")" "$(winpath "$work/clips/take_02.rm")" \
   >"$work/app.log" 2>&1) &
for _ in $(seq 60); do
  sleep 1
  window=$(xdotool search --onlyvisible --name '^TapeKnot$' 2>/dev/null | head -1 || true)
  [ -n "$window" ] && break
done
if [ -z "${window:-}" ]; then
  echo "windows: the window did not come up" >&2
  cat "$work/app.log" >&2
  echo "windows: what wineboot said:" >&2; cat "$work/wineboot.log" >&2
  findmnt -T "$work" >&2 || true
  exit 1
fi
sleep 2
xdotool windowactivate --sync "$window" key alt+f
sleep 1
xdotool key r
out=$work/clips/take_0.rm
for _ in $(seq 60); do
  sleep 1
  [ -f "$out" ] && break
done
sleep 2
import -window root build-win-app/wine-window.png
[ -f "$out" ] || { echo "windows: no joined file at $out" >&2; exit 1; }
ffmpeg -v error -i "$out" -f null - 2>"$work/decode.log"
[ ! -s "$work/decode.log" ] || { echo "windows: the joined file does not decode cleanly:" >&2; cat "$work/decode.log" >&2; exit 1; }
attributes=$("$wine" cmd /c attrib "$(winpath "$out")" 2>/dev/null | tr -d '\r')
if echo "$attributes" | cut -c1-12 | grep -q H; then
  echo "windows: the joined file is hidden: $attributes" >&2
  exit 1
fi

# ファイル → 終了: the settings are written back.
xdotool windowactivate --sync "$window" key alt+f
sleep 1
xdotool key x
for _ in $(seq 30); do
  sleep 1
  xdotool search --onlyvisible --name '^TapeKnot$' >/dev/null 2>&1 || break
done
ini=$work/tapeknot/tapeknot.ini
grep -q '^x1=' "$ini" || { echo "windows: tapeknot.ini was not written back" >&2; cat "$ini" >&2; exit 1; }
if grep -q $'[^\r]$' "$ini"; then
  echo "windows: tapeknot.ini has lines without CRLF" >&2
  exit 1
fi
echo "windows: joined $(basename "$out") through the window under Wine; settings written back"

# The installer, silently, and its uninstaller.
setup=$PWD/build-win-app/tapeknot-$version-setup.exe
"$wine" "$setup" /S
"$wineserver" -w
installed="$WINEPREFIX/drive_c/Program Files/TapeKnot"
for f in tapeknot.exe rmeditor.exe Readme.txt uninstall.exe; do
  [ -f "$installed/$f" ] || { echo "windows: the installer did not put $f in place" >&2; exit 1; }
done
"$wine" reg query 'HKLM\Software\Classes\.rm\OpenWithList\tapeknot.exe' >/dev/null 2>&1 \
  || { echo "windows: no \"Open with\" entry for .rm" >&2; exit 1; }
ls "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/TapeKnot.lnk" >/dev/null
settings=$(ls -d "$WINEPREFIX"/drive_c/users/*/AppData/Roaming | head -1)/tapeknot
mkdir -p "$settings"
printf '[shoki]\r\npath=x\r\n' > "$settings/tapeknot.ini"
"$wine" "C:\\Program Files\\TapeKnot\\uninstall.exe" /S
"$wineserver" -w
sleep 2
"$wineserver" -w
[ ! -e "$installed/tapeknot.exe" ] || { echo "windows: the uninstaller left the program" >&2; exit 1; }
[ -f "$settings/tapeknot.ini" ] || { echo "windows: the uninstaller removed the user's settings" >&2; exit 1; }
echo "windows: installed, then uninstalled; the user's settings stayed"
