#!/usr/bin/env bash
# Seconds of audio that four independent readers decode from each FILE:
# ffmpeg, GStreamer, MPlayer and VLC (mono, 16-bit, at RATE, 8000 unless
# given). A join should play, in every reader that plays its clips, the sum
# of what it plays of them.
#
#   scripts/judge-readers.sh [-r RATE] FILE...
#
# Installs the readers where apt-get exists. VLC refuses to run as root, so
# there it runs as "nobody" on a copy in a folder of its own.
set -euo pipefail
cd "$(dirname "$0")/.."
. scripts/need.sh
need ffmpeg gstreamer1.0-tools gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-ugly \
     gstreamer1.0-libav mplayer vlc-bin vlc-plugin-base
rate=8000
if [ "${1:-}" = -r ]; then rate=$2; shift 2; fi
work=$(mktemp -d)
chmod 777 "$work"
trap 'rm -rf "$work"' EXIT
seconds() { python3 -c "print(round($1 / 2 / $rate, 2))"; }
for file in "$@"; do
    f=$(readlink -f "$file")
    a=$(ffmpeg -v error -i "$f" -f s16le -ac 1 -ar "$rate" - 2>/dev/null | wc -c)
    timeout 300 gst-launch-1.0 -q filesrc location="$f" ! decodebin ! audioconvert ! audioresample \
        ! "audio/x-raw,format=S16LE,channels=1,rate=$rate" ! filesink location="$work/g.raw" >/dev/null 2>&1 || true
    timeout 300 mplayer -really-quiet -vo null -af "resample=$rate,channels=1" \
        -ao "pcm:fast:nowaveheader:file=$work/m.raw" "$f" >/dev/null 2>&1 || true
    cp "$f" "$work/in"
    chmod 644 "$work/in"
    vlc=(cvlc -I dummy --play-and-exit --sout "#transcode{acodec=s16l,channels=1,samplerate=$rate}:std{access=file,mux=raw,dst=$work/v.raw}" "$work/in")
    if [ "$(id -u)" = 0 ]; then
        su nobody -s /bin/sh -c "HOME=$work timeout 300 $(printf '%q ' "${vlc[@]}")" >/dev/null 2>&1 || true
    else
        HOME=$work timeout 300 "${vlc[@]}" >/dev/null 2>&1 || true
    fi
    size() { stat -c %s "$1" 2>/dev/null || echo 0; }
    echo "$(basename "$f"): ffmpeg $(seconds "$a") s, GStreamer $(seconds "$(size "$work/g.raw")") s," \
         "MPlayer $(seconds "$(size "$work/m.raw")") s, VLC $(seconds "$(size "$work/v.raw")") s"
    rm -f "$work"/{g,m,v}.raw "$work/in"
done
