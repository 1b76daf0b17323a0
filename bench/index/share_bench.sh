#!/usr/bin/env bash
# The batch button over 2,000 drawings and hhc.exe over 2,000 reports, in a local folder and in
# the same folder reached through sshfs (an ssh server of its own on loopback):
#   bench/index/share_bench.sh BUILD_DIR
# SHARE_CONNECTIONS sets sshfs's max_conns (1 by default).
# Needs sshfs and openssh-server (apt-get install sshfs openssh-server); as root it also needs
# /run/sshd, which it makes. Nothing outside its own temporary folder is touched.
set -euo pipefail
build=$(realpath "$1")
for tool in sshfs /usr/sbin/sshd python3; do
    command -v "$tool" >/dev/null || { echo "$tool is not installed" >&2; exit 2; }
done
work=$(mktemp -d)
cleanup() {
    fusermount -u "$work/share" 2>/dev/null || umount "$work/share" 2>/dev/null || true
    [ -f "$work/sshd.pid" ] && kill "$(cat "$work/sshd.pid")" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
mkdir -p "$work/local" "$work/share"
[ "$(id -u)" -ne 0 ] || mkdir -p /run/sshd
ssh-keygen -q -t ed25519 -N '' -f "$work/host_key"
ssh-keygen -q -t ed25519 -N '' -f "$work/client_key"
cp "$work/client_key.pub" "$work/authorized_keys"
port=$((20000 + RANDOM % 20000))
/usr/sbin/sshd -f /dev/null -p "$port" -o ListenAddress=127.0.0.1 -o HostKey="$work/host_key" \
    -o AuthorizedKeysFile="$work/authorized_keys" -o StrictModes=no -o UsePAM=no \
    -o PermitRootLogin=prohibit-password -o PidFile="$work/sshd.pid" \
    -o Subsystem="sftp internal-sftp"
for _ in $(seq 50); do [ -f "$work/sshd.pid" ] && break; sleep 0.1; done
sshfs -p "$port" -o IdentityFile="$work/client_key",StrictHostKeyChecking=no \
    -o UserKnownHostsFile=/dev/null -o max_conns="${SHARE_CONNECTIONS:-1}" "$(id -un)@127.0.0.1:$work/local" "$work/share"
stat -f -c 'share: %T' "$work/share"
# What the place itself allows: one folder's creates and renames go one at a time (the kernel
# locks the folder for each, and on the share each waits for its round trip), so four writers in
# four folders are timed beside four in one; the bandwidth of one large write, as hhc.exe's
# .chm is one; and many small reads in flight at once, as hhc.exe reads its inputs.
floors() {
    python3 - "$1" <<'PY'
import os, sys, threading, time
base = os.path.join(sys.argv[1], "floor")
def writer(folder, tag):
    for i in range(250):
        temporary, final = f"{folder}/{tag}.{i}.tmp", f"{folder}/{tag}.{i}"
        os.close(os.open(temporary, os.O_WRONLY | os.O_CREAT | os.O_EXCL, 0o644))
        os.rename(temporary, final)
for shape, folders in (("one folder", ["."] * 4), ("4 folders", ["1", "2", "3", "4"])):
    for f in folders:
        os.makedirs(os.path.join(base, f), exist_ok=True)
    threads = [threading.Thread(target=writer, args=(os.path.join(base, f), f"{shape[0]}{k}"))
               for k, f in enumerate(folders)]
    start = time.monotonic()
    for t in threads: t.start()
    for t in threads: t.join()
    print(f"1,000 creates+renames, 4 writers in {shape}: {time.monotonic() - start:.2f} s")
start = time.monotonic()
fd = os.open(base + ".bin", os.O_WRONLY | os.O_CREAT | os.O_TRUNC, 0o644)
block = bytes(1 << 20)
for _ in range(43):
    os.write(fd, block)
os.fsync(fd)
os.close(fd)
print(f"one 43 MB write with fsync: {time.monotonic() - start:.2f} s")
# hhc.exe's other half: its 4,000 inputs (46 MB) read back eight at a time, as it reads them.
inputs = os.path.join(base, "inputs")
os.makedirs(inputs)
piece = bytes(11640)
for i in range(4000):
    with open(f"{inputs}/{i}", "wb") as f:
        f.write(piece)
def reader(k):
    for i in range(k, 4000, 8):
        with open(f"{inputs}/{i}", "rb") as f:
            f.read()
threads = [threading.Thread(target=reader, args=(k,)) for k in range(8)]
start = time.monotonic()
for t in threads: t.start()
for t in threads: t.join()
print(f"4,000 files (46 MB) read, 8 at a time: {time.monotonic() - start:.2f} s")
PY
    rm -rf "$1/floor" "$1/floor.bin"
}
# On loopback the share's server and client run on this machine: the CPU seconds they take
# during each bench (ssh, sshd with its sftp server, sshfs) are CPU the bench does not have.
shareCpu() {
    local ticks=0 p t
    for p in $(pgrep -f "sshfs|sshd|ssh " || true); do
        t=$(awk '{print $14 + $15}' "/proc/$p/stat" 2>/dev/null) && ticks=$((ticks + t))
    done
    echo "$ticks"
}
measured() {
    local before start
    before=$(shareCpu)
    start=$(date +%s%N)
    "$@"
    echo "   the share's own processes: $(( ($(shareCpu) - before) * 1000 / $(getconf CLK_TCK) )) ms" \
        "of CPU in $(( ($(date +%s%N) - start) / 1000000 )) ms"
}
for where in local share; do
    echo "== $where"
    floors "$work/$where"
    measured sh -c "TMPDIR='$work/$where' '$build/bench/index/index_build_bench' \
        --benchmark_filter='BM_BatchButton/2000' 2>/dev/null | grep -E '^BM.*(real_time |median)'"
    measured sh -c "TMPDIR='$work/$where' '$build/bench/chm/hhc_bench' \
        --benchmark_filter='BM_HhcRounds/reports:2000/threads:0' 2>/dev/null | grep -E '^BM'"
done
