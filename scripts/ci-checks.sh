#!/usr/bin/env bash
# What CI runs after the README's test command (which has built ./build):
#   1. every test again, built with AddressSanitizer and UBSan (halting on error)
#   2. the joiner's and the settings layer's fuzzers, 60 seconds side by side, from the committed seeds
#   3. the tests that root skips, as an unprivileged user, and the joiner
#      finishing and stopped mid-way on FAT, exFAT and NTFS drives
#   4. the Debian package: made, installed, started once
#   5. the Windows joiner, cross-built and tested under Wine
#   6. the Windows program: Qt for Windows (built once per machine), the zip and
#      installer, the window's tests and the window itself under Wine
set -euo pipefail
cd "$(dirname "$0")/.."
started=$SECONDS
lap() { echo "ci: $1 after $(( (SECONDS - started) / 60 )) min $(( (SECONDS - started) % 60 )) s"; }

. scripts/need.sh
need clang libclang-rt-14-dev dpkg-dev file xvfb xdotool xauth
cache=$(compilerCache)

# 1. Sanitizers.
cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DTAPEKNOT_SANITIZE=ON -DTAPEKNOT_WERROR=ON \
      -DTAPEKNOT_BUILD_BENCH=OFF $cache
cmake --build build-asan
UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 ASAN_OPTIONS=detect_leaks=1 \
  ctest --test-dir build-asan --parallel 2 --output-on-failure
lap "sanitizer build and tests"

# 2. Fuzzers: new inputs go to a scratch folder, the committed seeds stay as they are.
cmake -S . -B build-fuzz -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DTAPEKNOT_FUZZ=ON -DTAPEKNOT_BUILD_BENCH=OFF $cache
cmake --build build-fuzz --target fuzz_rmfile fuzz_profile
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir -p "$scratch/rm" "$scratch/ini"
# The two run side by side, one core each.
(cd "$scratch" && "$OLDPWD/build-fuzz/bin/fuzz_rmfile" -max_total_time=60 -max_len=65536 \
   "$scratch/rm" "$OLDPWD/tools/rmeditor/fuzz-corpus" > "$scratch/rm.log" 2>&1) &
rmfile=$!
(cd "$scratch" && "$OLDPWD/build-fuzz/bin/fuzz_profile" -max_total_time=60 \
   "$scratch/ini" "$OLDPWD/tests/fuzz/profile-corpus" > "$scratch/ini.log" 2>&1) &
profile=$!
failed=0
wait $rmfile || failed=1
wait $profile || failed=1
tail -1 "$scratch/rm.log"
tail -1 "$scratch/ini.log"
if [ $failed -ne 0 ]; then
  tail -n 40 "$scratch/rm.log" "$scratch/ini.log" >&2
  exit 1
fi
lap "fuzzers"

# 3. Tests that need a user who cannot read or write everywhere, run from a
#    folder of their own (the checkout may lie where that user cannot go).
if [ "$(id -u)" -eq 0 ] && command -v setpriv >/dev/null 2>&1; then
  home=$(mktemp -d /tmp/tapeknot-unprivileged.XXXXXX)
  cp build/bin/tst_fileexists build/bin/tst_naming build/bin/tst_profile build/bin/tst_settings tests/offscreen-screen.json "$home/"
  chmod -R a+rwX "$home"
  for t in tst_fileexists tst_naming tst_profile tst_settings; do
    (cd "$home" && setpriv --reuid=nobody --regid=nogroup --clear-groups \
      env HOME="$home" TMPDIR="$home" XDG_RUNTIME_DIR="$home" XDG_CONFIG_HOME="$home/.config" \
          QT_QPA_PLATFORM="offscreen:configfile=$home/offscreen-screen.json" "$home/$t")
  done
  rm -rf "$home"
  lap "tests as an unprivileged user"
fi
scripts/test-archive-drives.sh
lap "the joiner finishing and stopped on FAT, exFAT and NTFS drives"

# 4. The package.
(cd build && cpack -G DEB)
scripts/smoke-installed.sh
lap "package"

# 5. The joiner for Windows, under Wine.
scripts/test-windows-joiner.sh
lap "Windows joiner under Wine"

# 6. The Windows program, under Wine.
TAPEKNOT_WINDOWS_TESTS=ON scripts/build-windows.sh
lap "Windows program built (Qt for Windows included)"
scripts/test-windows-window.sh
scripts/test-windows-app.sh
lap "Windows program under Wine"
