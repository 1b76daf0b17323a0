#!/usr/bin/env bash
# The batch button over 2,000 drawings in a folder of an SMB share reached through gvfs, as
# GNOME reaches an office's file server (Samba of its own on 127.0.0.1, a session bus, gvfsd,
# `gio mount`, the FUSE path under XDG_RUNTIME_DIR/gvfs), beside the share's own floor and the
# same batch in a local folder, in one run:
#   bench/index/smb_share_bench.sh BUILD_DIR
# The floor is what the batch's files cost the share alone: every drawing read (cat) and every
# file the batch wrote copied (cp) into a folder beside them, on the share, after each round.
# Two rounds in each place; the settings stay in a local folder. Installs samba, gvfs-backends
# and gvfs-fuse when missing (apt-get, as root); nothing else outside its temporary folder is
# touched, and everything it started is stopped by pid at the end.
set -euo pipefail
build=$(realpath "$1")
here=$(dirname "$(realpath "$0")")
bench=$build/bench/index/index_build_bench
[ -x "$bench" ] || { echo "build index_build_bench first ($bench)" >&2; exit 2; }
. "$here/smb_share.sh"
work=$(mktemp -d)
cleanup() {
    smb_share_down
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
smb_share_up "$work/smb"
echo "share: $SMB_URL at $SMB_MOUNT ($(stat -f -c %T "$SMB_MOUNT"))"
mkdir -p "$work/local" "$SMB_MOUNT/bench"

# The CPU the share's own processes take (smbd on the server side, gvfsd-smb and gvfsd-fuse on
# the client side): on loopback it is CPU the batch does not have.
shareCpu() {
    local ticks=0 p t
    for p in $(smbd_pids) $SMB_FUSE_PID $SMB_GVFSD_PID $(pgrep -P "$SMB_GVFSD_PID" || true); do
        t=$(awk '{print $14 + $15}' "/proc/$p/stat" 2>/dev/null) && ticks=$((ticks + t))
    done
    echo "$ticks"
}

# One place: the bench's rounds, each a click on the batch button over a folder of the place,
# timed from the click to the result dialog, then the floor on the same files. The settings stay
# in a local folder, as each desktop keeps its own.
run() {
    local where=$1 dir=$2 out before start
    out=$work/$where.out
    before=$(shareCpu)
    start=$(date +%s%N)
    mkdir -p "$work/$where.tmp"
    TMPDIR=$work/$where.tmp KVX_BENCH_DESKTOP=$dir "$bench" --benchmark_filter='BM_BatchButton/2000' \
        --benchmark_out="$work/$where.json" --benchmark_out_format=json >"$out" 2>"$work/$where.err" || true
    echo "== $where ($dir)"
    grep -E '^BM_BatchButton/2000' "$out" | grep -vE '_(mean|stddev|cv)' || {
        echo "   no figures; the bench said:"
        tail -n 5 "$work/$where.err" "$out"
        return 0
    }
    echo "   share's own processes: $(( ($(shareCpu) - before) * 1000 / $(getconf CLK_TCK) )) ms" \
        "of CPU in $(( ($(date +%s%N) - start) / 1000000 )) ms (drawings written, rounds, floors)"
    # Per round: the batch, its floor, and batch / floor.
    python3 - "$work/$where.json" <<'PY'
import json, sys
rounds = [b for b in json.load(open(sys.argv[1]))["benchmarks"]
          if b.get("run_type") == "iteration" and "reports_s" in b]
for n, b in enumerate(rounds, 1):
    batch = b["reports_s"] + b["index_s"]
    print(f"   round {n}: batch {batch:.1f} s (reports {b['reports_s']:.1f} s + index "
          f"{b['index_s']:.1f} s), floor {b['io_floor_s']:.1f} s, batch/floor {b['x_floor']:.2f}, "
          f"longest stall {b['max_stall_ms']:.0f} ms (index {b['index_stall_ms']:.0f} ms)")
if rounds:
    ratios = sorted(b["x_floor"] for b in rounds)
    print(f"   batch/floor: {ratios[0]:.2f} to {ratios[-1]:.2f}")
PY
}

run share "$SMB_MOUNT/bench"
run local "$work/local"
