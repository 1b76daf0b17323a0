#!/usr/bin/env bash
# Counts the flushes and renames of the batch button over 2,000 drawings in a folder on a share:
#   bench/index/share_sync_counts.sh BUILD_DIR SHARE_FOLDER
# SHARE_FOLDER is a writable folder on the file system to measure, e.g. an sshfs mount of a
# local folder (sshfs -p 2222 root@127.0.0.1:/srv/plans /mnt/share with an ssh server on
# loopback). There every report must be flushed before its rename: syncfs reaches no server.
# The counts cover the benchmark's two runs of the button, the index compile included.
set -euo pipefail
build=$1 share=$2
command -v strace >/dev/null || { echo "strace is not installed" >&2; exit 2; }
stat -f -c 'file system: %T' "$share"
counts=$(mktemp)
trap 'rm -f "$counts"' EXIT
TMPDIR=$share strace -f -c -o "$counts" -e trace=fsync,fdatasync,syncfs,rename,renameat,renameat2 \
    "$build/bench/index/index_build_bench" --benchmark_filter='BM_BatchButton/2000' |
    grep -E 'BatchButton/2000.*(mean|median)|BatchButton/2000/' || true
cat "$counts"
