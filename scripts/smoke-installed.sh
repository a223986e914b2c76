#!/usr/bin/env bash
# Installs the Debian package from build/ and starts the installed program
# once, under a virtual display, as a new user would: the first-start message
# is answered, the rmeditor dialog cancelled, the window closed through its
# File menu; the settings must then be in the user's configuration folder.
set -euo pipefail
cd "$(dirname "$0")/.."

. scripts/need.sh
need xvfb xdotool xauth
debs=(build/tapeknot_*_amd64.deb)
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "./${debs[0]}"
test -x /usr/bin/tapeknot && test -x /usr/libexec/tapeknot/rmeditor && test -f /usr/share/doc/tapeknot/Readme.txt

home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
export HOME="$home" XDG_CONFIG_HOME="$home/.config"
# Without a window manager no window has the keyboard until it is clicked:
# each step clicks a window (by its exact title) at a point given from its
# bottom-right corner when negative, then sends keys.
xvfb-run -a -s "-screen 0 1280x1024x24" bash -c '
  set -euo pipefail
  tapeknot & pid=$!
  step() {
    local title=$1 dx=$2 dy=$3 w="" X Y WIDTH HEIGHT SCREEN
    shift 3
    for _ in $(seq 100); do
      for id in $(xdotool search --onlyvisible --name . 2>/dev/null); do
        [ "$(xdotool getwindowname "$id")" = "$title" ] && w=$id
      done
      [ -n "$w" ] && break
      sleep 0.2
    done
    [ -n "$w" ] || { echo "smoke: no window \"$title\"" >&2; exit 1; }
    eval "$(xdotool getwindowgeometry --shell "$w")"
    [ "$dx" -lt 0 ] && dx=$((WIDTH + dx))
    [ "$dy" -lt 0 ] && dy=$((HEIGHT + dy))
    sleep 0.5
    xdotool mousemove $((X + dx)) $((Y + dy)) click 1
    sleep 0.5
    [ $# -eq 0 ] || xdotool key "$@"
  }
  step tapeknot -45 -22           # OK of the start-up message
  step 開く -50 -20               # Cancel of the dialog that locates rmeditor
  step TapeKnot 200 400 alt+f x   # File, Exit
  for _ in $(seq 50); do kill -0 $pid 2>/dev/null || break; sleep 0.2; done
  if kill -0 $pid 2>/dev/null; then kill $pid; echo "smoke: the window did not close" >&2; exit 1; fi
  wait $pid
'
ini="$XDG_CONFIG_HOME/tapeknot/tapeknot.ini"
test -f "$ini" || { echo "smoke: no settings in $ini" >&2; exit 1; }
grep -q '^\[shoki\]' "$ini"
test ! -e /usr/bin/tapeknot.ini
echo "smoke: the installed tapeknot started, closed and kept its settings in $ini"
