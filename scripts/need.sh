# Sourced by the scripts here.
#
# need PACKAGE…   installs, with Debian's apt-get, those of the packages that
#                 are not installed yet (as root, or through sudo). Without
#                 apt-get, or without root and sudo, it names them and goes on.
need() {
  local missing=() p sudo=""
  if ! command -v apt-get >/dev/null 2>&1 || ! command -v dpkg-query >/dev/null 2>&1; then
    echo "need: no apt-get here; make sure these are installed: $*" >&2
    return 0
  fi
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -gt 0 ] || return 0
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null 2>&1 || { echo "need: not root and no sudo; install these first: ${missing[*]}" >&2; return 0; }
    sudo="sudo"
  fi
  $sudo apt-get update >&2
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}" >&2
}

# compilerCache   prints the CMake options that compile through ccache
#                 (installed when missing; its cache is the machine's own).
compilerCache() {
  need ccache
  command -v ccache >/dev/null 2>&1 || return 0
  echo "-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache"
}

# winePrefix DIR  makes a new Wine prefix in DIR (exported as WINEPREFIX) and
#                 waits until it runs a program; a prefix left half made (a CI
#                 machine once gave "could not load kernel32.dll") is made once
#                 more, from nothing. Sets $wine and $wineserver.
winePrefix() {
  wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
  wineserver=$(command -v wineserver || echo /usr/lib/wine/wineserver)
  export WINEPREFIX=$1
  local attempt log
  log=$(mktemp)
  for attempt in 1 2; do
    "$wine" wineboot --init >"$log" 2>&1 || true
    timeout 300 "$wineserver" -w || true
    if "$wine" cmd /c echo ready 2>>"$log" | grep -q ready; then
      rm -f "$log"
      return 0
    fi
    echo "wine: the new prefix $WINEPREFIX does not run programs (attempt $attempt):" >&2
    cat "$log" >&2
    "$wineserver" -k 2>/dev/null || true
    rm -rf "$WINEPREFIX"
  done
  rm -f "$log"
  return 1
}

# japaneseLocale  makes ja_JP.UTF-8 a locale of this machine, so that Wine
#                 in a Japanese session hands programs their Japanese names whole.
japaneseLocale() {
  need locales
  locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$' && return 0
  local sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null || echo 'ja_JP.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
  $sudo locale-gen >&2
}
