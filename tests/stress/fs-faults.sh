#!/usr/bin/env bash
# Runs the full-disk and read-only tests (FsFaultsTest) in a private mount namespace: a 512 KiB
# tmpfs stands for a full disk, a read-only bind mount for a read-only data folder. Nothing is
# mounted outside the namespace. Needs root (or CAP_SYS_ADMIN); else exits 77 with a SKIP line.
#   fs-faults.sh FS_FAULTS_TEST
set -euo pipefail
test_binary=${1:?usage: fs-faults.sh FS_FAULTS_TEST}

if [ "${PELLORA_IN_MOUNT_NS:-}" != 1 ]; then
  if [ "$(id -u)" != 0 ]; then echo "SKIP: mounting a tmpfs needs root"; exit 77; fi
  if ! unshare -m --propagation private true 2>/dev/null; then
    echo "SKIP: cannot make a private mount namespace here"; exit 77
  fi
  exec env PELLORA_IN_MOUNT_NS=1 unshare -m --propagation private bash "$0" "$@"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/pellora-fs.XXXXXX")
cleanup() { umount "$work/full" "$work/ro" 2>/dev/null || true; rm -rf "$work"; }
trap cleanup EXIT
mkdir -p "$work/full" "$work/ro"
if ! mount -t tmpfs -o size=512k,mode=0755 pellora-full "$work/full"; then
  echo "SKIP: cannot mount a tmpfs"; exit 77
fi
# An earlier run's settings and history in the folder that becomes read-only.
mkdir -p "$work/ro/config/Orvane" "$work/ro/data/Orvane/Pellora"
printf '[General]\nFrom=Earlier\n' >"$work/ro/config/Orvane/Pellora.ini"
printf 'PelloraHistory 1\nEarlier\n' >"$work/ro/data/Orvane/Pellora/From History.DAT"
mount --bind "$work/ro" "$work/ro"
mount -o remount,bind,ro "$work/ro"
if touch "$work/ro/probe" 2>/dev/null; then echo "SKIP: the read-only bind mount is writable"; exit 77; fi

PELLORA_FULL_DIR=$work/full PELLORA_RO_DIR=$work/ro QT_QPA_PLATFORM=offscreen "$test_binary"
