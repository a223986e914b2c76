#!/usr/bin/env bash
# The joiner finishing and stopped mid-way (cancelled, terminated or killed from outside) on the file
# systems users keep archives on: FAT (vfat), exFAT and NTFS images, mounted
# through FUSE (none of them takes nameless temporary files). Nothing of the
# joiner may stay in the output's folder. A drive that cannot be mounted on
# this machine (no /dev/fuse, no loop device) is said so and left out.
set -euo pipefail
cd "$(dirname "$0")/.."

. scripts/need.sh
need dosfstools fusefat exfatprogs exfat-fuse ntfs-3g fuse3 util-linux

work=$(mktemp -d /tmp/tapeknot-drives.XXXXXX)
loops=()
cleanup() {
  for m in "$work"/m-*; do fusermount3 -u "$m" 2>/dev/null || umount "$m" 2>/dev/null || true; done
  for l in "${loops[@]}"; do losetup -d "$l" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

mountDrive() { # kind image mountpoint
  case $1 in
    vfat) mkfs.vfat "$2" >/dev/null && fusefat -o rw+ "$2" "$3" >/dev/null 2>&1 ;;
    exfat)
      mkfs.exfat "$2" >/dev/null || return 1
      local loop; loop=$(losetup -f --show "$2") || return 1
      loops+=("$loop")
      mount.exfat-fuse "$loop" "$3" >/dev/null 2>&1 ;;
    ntfs) mkntfs -F -Q "$2" >/dev/null 2>&1 && ntfs-3g "$2" "$3" ;;
  esac
}

failed=0
for kind in vfat exfat ntfs; do
  image=$work/$kind.img mountpoint=$work/m-$kind
  truncate -s 256M "$image"
  mkdir -p "$mountpoint"
  if ! mountDrive "$kind" "$image" "$mountpoint" || ! findmnt "$mountpoint" >/dev/null; then
    echo "drives: $kind: cannot be mounted here; left out"
    continue
  fi
  if TAPEKNOT_TEST_FAT_DIR=$mountpoint QT_QPA_PLATFORM=offscreen build/bin/tst_rules joinerLeavesNothing >"$work/$kind.log" 2>&1 \
     && TAPEKNOT_TEST_FAT_DIR=$mountpoint build/bin/tst_rmeditor interruptedJoinLeavesNothing >>"$work/$kind.log" 2>&1; then
    echo "drives: $kind: $(grep '^Totals' "$work/$kind.log" | paste -sd ' ')"
  else
    echo "drives: $kind: the joiner left something behind" >&2
    cat "$work/$kind.log" >&2
    failed=1
  fi
done
exit $failed
