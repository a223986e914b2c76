#!/usr/bin/env bash
# Cross-builds the joiner for Windows (rmeditor.exe) and runs the joiner's
# own tests against it under Wine: clips from ffmpeg and from real
# producers joined and judged with ffprobe/ffmpeg, Japanese names and spaces,
# an existing output and a truncated input refused with nothing left.
# Needs ./build from the README's test command (for the test program).
set -euo pipefail
cd "$(dirname "$0")/.."

. scripts/need.sh
need g++-mingw-w64-x86-64-posix wine64

cmake -S tools/rmeditor -B build-win -G Ninja -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/mingw-w64-x86_64.cmake" $(compilerCache)
cmake --build build-win
if x86_64-w64-mingw32-objdump -p build-win/bin/rmeditor.exe | grep "DLL Name" | grep -viq -e kernel32 -e msvcrt; then
  echo "windows: rmeditor.exe needs a DLL that Windows does not have" >&2
  exit 1
fi

export WINEDEBUG=-all LANG=C.UTF-8 LC_ALL=C.UTF-8
winePrefix "$PWD/build-win/wineprefix"
# Wine's client now and then loses its server as that one winds down
# ("wine client error:0: recvmsg: Connection reset by peer") before the
# program has started; once a run also ended with a failure status having
# said nothing at all, which the joiner never does (each of its failures
# gives a reason). Such a run is made again, and written down: the stage
# shows every one at its end.
again="$PWD/build-win/wine-runs-made-again.txt"
rm -f "$again"
cat > build-win/bin/rmeditor-under-wine <<WRAP
#!/bin/sh
out=\$(mktemp) err=\$(mktemp)
for attempt in 1 2 3; do
  "$wine" "$PWD/build-win/bin/rmeditor.exe" "\$@" >"\$out" 2>"\$err"
  rc=\$?
  if [ \$rc -ne 0 ] && [ ! -s "\$err" ] || { [ ! -s "\$out" ] && grep -q '^wine client error' "\$err"; }; then
    { echo "exit \$rc (attempt \$attempt): \$*"; head -c 300 "\$err"; } >>"$again"
    [ \$attempt -lt 3 ] && continue
  fi
  break
done
cat "\$out"
cat "\$err" >&2
rm -f "\$out" "\$err"
exit \$rc
WRAP
chmod +x build-win/bin/rmeditor-under-wine

status=0
RMEDITOR_UNDER_TEST="$PWD/build-win/bin/rmeditor-under-wine" QT_QPA_PLATFORM=offscreen \
  build/bin/tst_rmeditor "joins:three video clips" "joins:rv20 clips" "joins:three audio clips" "joins:one clip" \
    "joins:250-byte output name" "joins:14.4 at time 0 throughout, x3" "joins:RealAudio 4 14.4 x2" \
    "joins:RealAudio 4 dnet x3" "joins:Japanese names and spaces" \
    "producerFiles:helix11-rv30-cook.rm x3" "producerFiles:producer61-cook-event.rm x3" \
    "producerFiles:ra3-14_4-old-format.ra x3" "producerFiles:two-rate broadcast x3" packetsCopiedAsTheyAre \
    "refused:existing output" "refused:missing input" "refused:codec differs" "refused:no input" \
    "badFiles:truncated data" "badFiles:RealAudio version 5" "badFiles:empty" || status=$?
if [ -s "$again" ]; then
  echo "windows: Wine runs made again:"
  cat "$again"
fi
[ "$status" -eq 0 ] || exit "$status"

# Seen from the Windows side: the joined file is an ordinary one, which a
# directory search that skips hidden files (as the window's does) finds.
winpath() { local p; p=$(realpath "$1"); echo "Z:${p//\//\\}"; } # Wine's Z: is the root
scratch=$(mktemp -d "$PWD/build-win/attrib.XXXXXX")
sample=$(ls ../shared/samples/helix11-rv30-cook.rm 2>/dev/null || true)
if [ -z "$sample" ]; then
  sample="$scratch/in.rm"
  ffmpeg -v error -f lavfi -i "sine=sample_rate=44100" -t 1 -c:a ac3 "$sample"
fi
"$wine" build-win/bin/rmeditor.exe -i "$(winpath "$sample")" -i "$(winpath "$sample")" -o "$(winpath "$scratch")\\joined.rm"
listed=$("$wine" cmd /c dir /b "$(winpath "$scratch")\\joined.rm" 2>/dev/null | tr -d '\r')
attributes=$("$wine" cmd /c attrib "$(winpath "$scratch")\\joined.rm" 2>/dev/null | tr -d '\r')
rm -rf "$scratch"
echo "windows: attrib says: $attributes"
if [ "$listed" != "joined.rm" ] || echo "$attributes" | cut -c1-12 | grep -q H; then
  echo "windows: the joined file is hidden from a plain directory search" >&2
  exit 1
fi

# Its version, as Explorer's Properties show it.
need icoutils
wrestool -l build-win/bin/rmeditor.exe | grep -q 'type=version' \
  || { echo "windows: rmeditor.exe carries no version resource" >&2; exit 1; }

# Ended from outside while it writes (as Task Manager or a cancel ends it):
# nothing of it stays in the output's folder, seen from the Windows side.
scratch=$(mktemp -d "$PWD/build-win/killed.XXXXXX")
cp ../shared/samples/ra3-14_4-old-format.ra "$scratch/c.ra" 2>/dev/null \
  || ffmpeg -v error -f lavfi -i "sine=sample_rate=44100" -t 30 -c:a ac3 "$scratch/c.rm"
clip=$(cd "$scratch" && ls c.*)
exe=$PWD/build-win/bin/rmeditor.exe
# A join that ended before taskkill reached it proves nothing: it is made
# again, longer.
for count in 1600 3200; do # a Windows command line holds 32,767 characters
  rm -rf "$scratch/out" "$scratch/said.txt"
  mkdir "$scratch/out"
  args=(); for _ in $(seq $count); do args+=(-i "$clip"); done
  (cd "$scratch" && RMEDITOR_PROGRESS=1 "$wine" "$exe" "${args[@]}" -o "out\\joined.rm" >"$scratch/said.txt" 2>&1 &)
  for _ in $(seq 100); do sleep 0.2; grep -q '^progress' "$scratch/said.txt" 2>/dev/null && break; done
  grep -q '^partial ' "$scratch/said.txt" || { echo "windows: the joiner did not name its temporary" >&2; exit 1; }
  "$wine" taskkill /F /IM rmeditor.exe >/dev/null 2>&1
  "$wineserver" -w
  grep -q '^progress 1000' "$scratch/said.txt" || break
  echo "windows: the join of $count clips ended before it was killed"
done
left=$("$wine" cmd /c dir /a /b "$(winpath "$scratch/out")" 2>/dev/null | tr -d '\r')
rm -rf "$scratch"
if [ -n "$left" ]; then
  echo "windows: a killed join left: $left" >&2
  exit 1
fi
echo "windows: a killed join left nothing behind"

# In a Japanese session every line is Japanese, the system's reasons too.
said=$(LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 "$wine" build-win/bin/rmeditor.exe -i 'Z:\no\such.rm' -o 'Z:\no\out.rm' 2>&1 \
       | iconv -f CP932 -t UTF-8 | tr -d '\r' || true)
echo "windows: in Japanese: $said"
case $said in
  *ファイルまたはフォルダーがありません*) ;;
  *) echo "windows: the joiner's message is not Japanese" >&2; exit 1 ;;
esac
