#!/usr/bin/env bash
# The batch button over 2,000 drawings and hhc.exe over 2,000 reports, in a local folder and in
# the same folder reached through sshfs (an ssh server of its own on loopback):
#   bench/index/share_bench.sh BUILD_DIR
# Needs sshfs and openssh-server (apt-get install sshfs openssh-server); as root it also needs
# /run/sshd, which it makes. Nothing outside its own temporary folder is touched.
set -euo pipefail
build=$(realpath "$1")
for tool in sshfs /usr/sbin/sshd; do
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
    -o UserKnownHostsFile=/dev/null "$(id -un)@127.0.0.1:$work/local" "$work/share"
stat -f -c 'share: %T' "$work/share"
for where in local share; do
    echo "== $where"
    TMPDIR=$work/$where "$build/bench/index/index_build_bench" \
        --benchmark_filter='BM_BatchButton/2000' 2>/dev/null | grep -E '^BM.*(real_time |median)'
    TMPDIR=$work/$where "$build/bench/chm/hhc_bench" \
        --benchmark_filter='BM_HhcRounds/reports:2000/threads:0' 2>/dev/null | grep -E '^BM'
done
