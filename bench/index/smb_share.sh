# An SMB share reached as a GNOME desktop reaches it, for the share benches; sourced, not run:
#   . bench/index/smb_share.sh
#   smb_share_up WORK     Samba on 127.0.0.1 serving WORK/export as "share" (user root, its own
#                         password database), a session bus, gvfsd and gvfsd-fuse of their own,
#                         and `gio mount` of the share; SMB_MOUNT is then the FUSE path of it.
#   smbd_kill             the server gone at once (kill -9 of every smbd process), the mount kept
#   smbd_start            the server back on the same port
#   smb_share_down        everything above stopped, by the pids it started, and WORK's mount gone
# Installs samba, gvfs-backends and gvfs-fuse with apt-get when missing (as root). Nothing
# outside WORK is written but what apt-get installs: configuration, password database, locks,
# pids, the bus and XDG_RUNTIME_DIR all live in WORK.

smb_share_install() {
    local missing=()
    [ -x /usr/sbin/smbd ] || missing+=(samba)
    [ -x /usr/libexec/gvfsd-smb ] || missing+=(gvfs-backends)
    [ -x /usr/libexec/gvfsd-fuse ] || missing+=(gvfs-fuse)
    command -v gio >/dev/null || missing+=(libglib2.0-bin)
    command -v dbus-daemon >/dev/null || missing+=(dbus-daemon)
    command -v fusermount >/dev/null || command -v fusermount3 >/dev/null || missing+=(fuse3)
    [ ${#missing[@]} -eq 0 ] && return 0
    [ "$(id -u)" -eq 0 ] || { echo "needs ${missing[*]} (apt-get install, as root)" >&2; return 2; }
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}" >/dev/null
}

# The smbd processes under the parent started here, children first listed after it.
smbd_pids() {
    [ -n "${SMB_SMBD_PID:-}" ] || return 0
    echo "$SMB_SMBD_PID"
    pgrep -P "$SMB_SMBD_PID" || true
}

smbd_start() {
    # A process group of its own: smbd ends by signalling its whole group.
    /usr/sbin/smbd -F -s "$SMB_WORK/smb.conf" </dev/null \
        >>"$SMB_WORK/log/smbd.out" 2>&1 &
    SMB_SMBD_PID=$!
    local _
    for _ in $(seq 100); do
        ss -ltn "sport = :$SMB_PORT" 2>/dev/null | grep -q LISTEN && return 0
        sleep 0.1
    done
    echo "smbd does not listen on port $SMB_PORT (see $SMB_WORK/log)" >&2
    return 1
}

smbd_kill() {
    local pids
    pids=$(smbd_pids)
    [ -n "$pids" ] && kill -9 $pids 2>/dev/null
    wait "$SMB_SMBD_PID" 2>/dev/null || true
    SMB_SMBD_PID=
}

smbd_stop() {
    local pids
    pids=$(smbd_pids)
    [ -n "$pids" ] || return 0
    kill $pids 2>/dev/null || true
    local _
    for _ in $(seq 50); do
        kill -0 "$SMB_SMBD_PID" 2>/dev/null || break
        sleep 0.1
    done
    kill -9 $pids 2>/dev/null || true
    wait "$SMB_SMBD_PID" 2>/dev/null || true
    SMB_SMBD_PID=
}

# gvfsd-fuse on WORK/run/gvfs, once gvfsd has its name on the bus (gvfsd-fuse registers with it
# at start and gives up when it is not there yet).
smb_fuse_start() {
    local w=$SMB_WORK _
    for _ in $(seq 100); do
        gdbus call --session -d org.gtk.vfs.Daemon -o /org/gtk/vfs/Daemon \
            -m org.freedesktop.DBus.Peer.Ping >/dev/null 2>&1 && break
        sleep 0.1
    done
    mkdir -p "$w/run/gvfs"
    /usr/libexec/gvfsd-fuse -f "$w/run/gvfs" >>"$w/log/gvfsd-fuse.out" 2>&1 &
    SMB_FUSE_PID=$!
    for _ in $(seq 100); do
        grep -q " $w/run/gvfs fuse" /proc/mounts && return 0
        sleep 0.1
    done
    echo "gvfsd-fuse did not mount $w/run/gvfs" >&2
    return 1
}

smb_share_up() {
    SMB_WORK=$1
    smb_share_install || return
    local w=$SMB_WORK
    mkdir -p "$w"/{private,lock,state,cache,pid,log,bind,export,run}
    chmod 700 "$w/run" "$w/private"
    SMB_PORT=${SMB_PORT:-$((20000 + RANDOM % 20000))}
    SMB_PASSWORD=korvenix-$RANDOM
    SMB_USER=$(id -un)
    cat >"$w/smb.conf" <<EOF
[global]
  server role = standalone server
  workgroup = WORKGROUP
  smb ports = $SMB_PORT
  interfaces = 127.0.0.1
  bind interfaces only = yes
  disable netbios = yes
  private dir = $w/private
  lock directory = $w/lock
  state directory = $w/state
  cache directory = $w/cache
  pid directory = $w/pid
  binddns dir = $w/bind
  ncalrpc dir = $w/lock/ncalrpc
  log file = $w/log/smbd.log
  log level = 1
  passdb backend = tdbsam:$w/private/passdb.tdb
  load printers = no
  printing = bsd
  printcap name = /dev/null
  disable spoolss = yes
[share]
  path = $w/export
  read only = no
  valid users = $SMB_USER
EOF
    printf '%s\n%s\n' "$SMB_PASSWORD" "$SMB_PASSWORD" |
        smbpasswd -c "$w/smb.conf" -s -a "$SMB_USER" >/dev/null || return
    smbd_start || return
    # A session bus that activates nothing: gvfsd is started here, and the desktop's volume
    # monitors are not wanted.
    cat >"$w/bus.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=$w/run/bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
EOF
    export XDG_RUNTIME_DIR=$w/run DBUS_SESSION_BUS_ADDRESS=unix:path=$w/run/bus
    export GIO_USE_VOLUME_MONITOR=unix
    dbus-daemon --config-file="$w/bus.conf" --nofork >"$w/log/bus.out" 2>&1 &
    SMB_BUS_PID=$!
    local _
    for _ in $(seq 50); do [ -S "$w/run/bus" ] && break; sleep 0.1; done
    /usr/libexec/gvfsd --no-fuse >"$w/log/gvfsd.out" 2>&1 &
    SMB_GVFSD_PID=$!
    smb_fuse_start || return
    SMB_URL=smb://$SMB_USER@127.0.0.1:$SMB_PORT/share
    # gio asks for the domain and the password.
    printf 'WORKGROUP\n%s\n' "$SMB_PASSWORD" | timeout 60 gio mount "$SMB_URL" \
        >"$w/log/gio-mount.out" 2>&1 || {
        echo "gio mount $SMB_URL failed:" >&2
        cat "$w/log/gio-mount.out" >&2
        return 1
    }
    SMB_MOUNT=$w/run/gvfs/smb-share:port=$SMB_PORT,server=127.0.0.1,share=share,user=$SMB_USER
    # gvfsd-fuse 1.50 here now and then dies of SIGFPE when the new mount is looked up at once
    # (about one start in six): it is started again, and the mount is still gvfsd's.
    local tries
    for tries in 1 2 3 4 5; do
        sleep 0.5
        if [ -d "$SMB_MOUNT" ] && kill -0 "$SMB_FUSE_PID" 2>/dev/null; then
            [ "$tries" -eq 1 ] || echo "gvfsd-fuse started $tries times" >&2
            return 0
        fi
        kill -0 "$SMB_FUSE_PID" 2>/dev/null && continue
        wait "$SMB_FUSE_PID" 2>/dev/null || true
        fusermount -u "$w/run/gvfs" 2>/dev/null || umount -l "$w/run/gvfs" 2>/dev/null || true
        smb_fuse_start || return
    done
    echo "no FUSE path $SMB_MOUNT" >&2
    return 1
}

smb_share_down() {
    [ -n "${SMB_WORK:-}" ] || return 0
    local w=$SMB_WORK
    if [ -n "${SMB_GVFSD_PID:-}" ] && [ -n "${SMB_URL:-}" ] && [ -n "${SMB_SMBD_PID:-}" ]; then
        timeout 20 gio mount -u "$SMB_URL" >/dev/null 2>&1 || true
    fi
    if grep -q " $w/run/gvfs fuse" /proc/mounts; then
        fusermount -u "$w/run/gvfs" 2>/dev/null || umount -l "$w/run/gvfs" 2>/dev/null || true
    fi
    local pid children
    for pid in ${SMB_FUSE_PID:-} ${SMB_GVFSD_PID:-}; do
        children=$(pgrep -P "$pid" || true) # the backends gvfsd spawned (gvfsd-smb)
        kill $children "$pid" 2>/dev/null || true
    done
    for pid in ${SMB_FUSE_PID:-} ${SMB_GVFSD_PID:-}; do wait "$pid" 2>/dev/null || true; done
    smbd_stop
    if [ -n "${SMB_BUS_PID:-}" ]; then
        kill "$SMB_BUS_PID" 2>/dev/null || true
        wait "$SMB_BUS_PID" 2>/dev/null || true
    fi
    SMB_FUSE_PID= SMB_GVFSD_PID= SMB_BUS_PID=
}
