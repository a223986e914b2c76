#!/usr/bin/env bash
# The Windows program as a user meets it, under Wine in a Japanese session
# on a virtual display: the zip from scripts/build-windows.sh unpacked into a
# fresh folder, two real clips given on the command line, ファイル → 実行 from
# the keyboard, rmeditor.exe joining them with 結合後にファイルを削除する on.
# Checked: the program carries its icon and version; the success line's file
# is there and decodes, it is an ordinary file seen from Windows, the sources
# are in the trash, tapeknot.ini is written back at close (CRLF), and a
# screenshot of the window is kept in build-win-app/wine-window.png. Then 200
# clips of 15 MB, 実行 and Esc: nothing but the sources stays in the folder.
# With 最前面に置く on, the version box stands in front of the window. Then
# the installer: its pages speak Japanese; installed silently, it puts the
# program under Program Files with a Start-menu entry and "Open with"
# entries; the installed copy keeps its settings in %APPDATA%\tapeknot; its
# uninstaller removes everything of ours in Program Files and leaves the
# user's settings.
set -euo pipefail
cd "$(dirname "$0")/.."

. scripts/need.sh
need wine64 xvfb xdotool imagemagick openbox ffmpeg unzip fonts-ipafont-gothic icoutils x11-utils
japaneseLocale

# What Explorer shows of the programs: an icon and a version.
stage=build-win-app/stage/tapeknot
for want in "tapeknot.exe type=icon" "tapeknot.exe type=version" "rmeditor.exe type=version"; do
  set -- $want
  wrestool -l "$stage/$1" | grep -q "$2" || { echo "windows: $1 carries no ${2#type=} resource" >&2; exit 1; }
done

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
# A user who has pointed the program at the bundled joiner once, and has
# the sources deleted after a join.
printf '[shoki]\r\npath=%s\r\nsakujo=1\r\n' "$(winpath "$work/tapeknot/rmeditor.exe")" > "$work/tapeknot/tapeknot.ini"

# A Japanese session (code page 932); Wine's Recycle Bin is the desktop's trash, here.
export WINEDEBUG=-all DISPLAY=$display LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 XDG_DATA_HOME="$work/xdg"
mkdir -p "$XDG_DATA_HOME"
Xvfb "$display" -screen 0 1280x1024x24 >/dev/null 2>&1 & xvfb_pid=$!
sleep 1
openbox >/dev/null 2>&1 & wm_pid=$!
winePrefix "$work/prefix"
# Starts the program of folder $1 (the zip's, or the installed copy) on the
# files that follow, and waits for its window: $window.
startProgram() {
  local folder=$1
  shift
  (cd "$folder" && "$wine" tapeknot.exe "$@" >>"$work/app.log" 2>&1) &
  window=
  for _ in $(seq 60); do
    sleep 1
    window=$(xdotool search --onlyvisible --name '^TapeKnot$' 2>/dev/null | head -1 || true)
    [ -n "$window" ] && break
  done
  [ -n "$window" ] || { echo "windows: the window did not come up" >&2; cat "$work/app.log" >&2; findmnt -T "$work" >&2 || true; exit 1; }
  sleep 2
}
startWindow() { startProgram "$work/tapeknot" "$@"; }
closeWindow() {
  xdotool windowactivate --sync "$window" key alt+f
  sleep 1
  xdotool key x
  for _ in $(seq 30); do
    sleep 1
    xdotool search --onlyvisible --name '^TapeKnot$' >/dev/null 2>&1 || break
  done
  "$wineserver" -w
}

startWindow "$(winpath "$work/clips/take_01.rm")" "$(winpath "$work/clips/take_02.rm")"
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
for source in take_01.rm take_02.rm; do
  [ ! -e "$work/clips/$source" ] && [ -f "$XDG_DATA_HOME/Trash/files/$source" ] \
    || { echo "windows: $source did not go to the trash" >&2; ls -la "$work/clips" "$XDG_DATA_HOME"/Trash/files >&2 || true; exit 1; }
done
echo "windows: the joined clips went to the trash"

# ファイル → 終了: the settings are written back.
closeWindow
ini=$work/tapeknot/tapeknot.ini
grep -q '^x1=' "$ini" || { echo "windows: tapeknot.ini was not written back" >&2; cat "$ini" >&2; exit 1; }
if grep -q $'[^\r]$' "$ini"; then
  echo "windows: tapeknot.ini has lines without CRLF" >&2
  exit 1
fi
echo "windows: joined $(basename "$out") through the window under Wine; settings written back"

# 200 clips of 15 MB, 実行, then Esc once the joiner writes: the folder
# holds the sources and nothing else, seen from Linux and from Windows.
big=$work/big
mkdir -p "$big"
# Noise does not compress: 10 seconds make about 14 MB.
ffmpeg -v error -f lavfi -i "nullsrc=s=320x240:r=25,geq=lum='random(1)*255':cb=128:cr=128" \
  -f lavfi -i sine=sample_rate=44100 -t 10 -c:v rv20 -q:v 6 -c:a ac3 -b:a 128k "$big/clip000.rm"
clips=("$(winpath "$big/clip000.rm")")
for i in $(seq -w 1 199); do
  ln "$big/clip000.rm" "$big/clip$i.rm"
  clips+=("$(winpath "$big/clip$i.rm")")
done
printf '[shoki]\r\npath=%s\r\n' "$(winpath "$work/tapeknot/rmeditor.exe")" > "$work/tapeknot/tapeknot.ini"
sources=$(ls -A "$big")
startWindow "${clips[@]}"
xdotool windowactivate --sync "$window" key alt+f
sleep 1
xdotool key r
for _ in $(seq 100); do
  sleep 0.2
  ls -A "$big" | grep -q '^\.rme' && break
done
ls -A "$big" | grep -q '^\.rme' || { echo "windows: the big join did not start" >&2; exit 1; }
xdotool windowactivate --sync "$window" key Escape
for _ in $(seq 60); do
  sleep 1
  pgrep -f rmeditor.exe >/dev/null || break
done
sleep 2
left=$(ls -A "$big")
seen=$("$wine" cmd /c dir /a /b "$(winpath "$big")" 2>/dev/null | tr -d '\r' | sort)
if [ "$left" != "$sources" ] || [ "$seen" != "$(echo "$sources" | sort)" ]; then
  echo "windows: a cancelled join left more than its sources:" >&2
  diff <(echo "$sources") <(echo "$left") >&2 || true
  exit 1
fi
echo "windows: a cancelled join of 200 clips of $(du -h --apparent-size "$big/clip000.rm" | cut -f1) left nothing but the sources"
closeWindow
rm -rf "$big"

# 最前面に置く on: the version box stands in front of the window.
printf '[shoki]\r\npath=%s\r\nhaiti=1\r\n' "$(winpath "$work/tapeknot/rmeditor.exe")" > "$work/tapeknot/tapeknot.ini"
startWindow
xdotool windowactivate --sync "$window" key alt+h
sleep 1
xdotool key Down Return
sleep 2
import -window root build-win-app/wine-about.png
about=$(xdotool search --onlyvisible --name '^tapeknot.+' 2>/dev/null | head -1 || true) # "tapeknotのﾊﾞｰｼﾞｮﾝ情報"
[ -n "$about" ] || { echo "windows: the version box did not open" >&2; exit 1; }
stacking=$(xprop -root _NET_CLIENT_LIST_STACKING | sed 's/.*# //; s/,//g')
order() { local i=0 w; for w in $stacking; do [ $((w)) -eq $(($1)) ] && echo $i; i=$((i + 1)); done; }
if [ "$(order "$about")" -le "$(order "$window")" ]; then
  echo "windows: the version box opened behind the topmost window ($stacking)" >&2
  exit 1
fi
xdotool key Return
sleep 1
closeWindow
echo "windows: the version box stands in front of the topmost window"

# The installer's pages in a Japanese session: Japanese.
setup=$PWD/build-win-app/tapeknot-$version-setup.exe
"$wine" "$setup" >/dev/null 2>&1 &
for _ in $(seq 60); do
  sleep 1
  page=$(xdotool search --onlyvisible --name 'TapeKnot' 2>/dev/null | head -1 || true)
  [ -n "$page" ] && break
done
sleep 2
import -window root build-win-app/wine-setup.png
title=$(xdotool getwindowname "$page" 2>/dev/null || true)
"$wineserver" -k 2>/dev/null || true
case $title in
  *セットアップ*) echo "windows: the installer speaks Japanese: $title" ;;
  *) echo "windows: the installer's page is not Japanese: $title" >&2; exit 1 ;;
esac

# The installer, silently, and its uninstaller.
"$wine" "$setup" /S
"$wineserver" -w
installed="$WINEPREFIX/drive_c/Program Files/TapeKnot"
for f in tapeknot.exe rmeditor.exe Readme.txt uninstall.exe; do
  [ -f "$installed/$f" ] || { echo "windows: the installer did not put $f in place" >&2; exit 1; }
done
"$wine" reg query 'HKLM\Software\Classes\.rm\OpenWithList\tapeknot.exe' >/dev/null 2>&1 \
  || { echo "windows: no \"Open with\" entry for .rm" >&2; exit 1; }
ls "$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/TapeKnot.lnk" >/dev/null
# The installed copy, started and closed: its settings in %APPDATA%\tapeknot,
# none in Program Files (where Wine would let it write).
settings=$(ls -d "$WINEPREFIX"/drive_c/users/*/AppData/Roaming | head -1)/tapeknot
mkdir -p "$settings"
printf '[shoki]\r\npath=%s\r\n' 'C:\Program Files\TapeKnot\rmeditor.exe' > "$settings/tapeknot.ini"
startProgram "$installed"
closeWindow
grep -q '^x1=' "$settings/tapeknot.ini" || { echo "windows: the installed copy did not write %APPDATA%\\tapeknot\\tapeknot.ini" >&2; exit 1; }
[ ! -e "$installed/tapeknot.ini" ] || { echo "windows: the installed copy wrote its settings into Program Files" >&2; exit 1; }
"$wine" "C:\\Program Files\\TapeKnot\\uninstall.exe" /S
"$wineserver" -w
sleep 2
"$wineserver" -w
[ ! -e "$installed" ] || { echo "windows: the uninstaller left a folder in Program Files:" >&2; ls -laR "$installed" >&2; exit 1; }
[ -f "$settings/tapeknot.ini" ] || { echo "windows: the uninstaller removed the user's settings" >&2; exit 1; }
echo "windows: installed, then uninstalled; the user's settings stayed"
