#!/usr/bin/env bash
# What an office's share does to the batch, on the same gvfs mount of a Samba share of its own
# as smb_share_bench.sh, each scenario on its own folder of 2,000 drawings:
#   bench/index/smb_share_scenarios.sh BUILD_DIR [kill] [outage] [two]   (all three by default)
#   kill    a full batch, then one killed with SIGKILL 40 % of that time in (60 s at most): the
#           temporaries and reports it left, pages newer than the batch's start whose picture is
#           not; then the next batch to the end, and what is left over after it.
#   outage  a batch during which smbd is killed (a third of the way in) and started again 50 s
#           later: what the window said and how long it stalled, then the next batch to the end
#           and its leftovers.
#   two     two copies of the program clicking the batch on one folder at once: both indexes.
#   premade the batch on a folder where every file it writes is already there, made on the
#           server's side (so that the program only replaces files), then the share's floor
#           under it (cat of the drawings, cp of the files written, as smb_share_bench.sh);
#           not run by default.
# The counts are taken on the server's side of the share. DRAWINGS sets the number of drawings;
# PREMADE=1 makes every file the batch writes beforehand on the server (see premade).
set -euo pipefail
build=$(realpath "$1")
shift
scenarios=${*:-kill outage two}
here=$(dirname "$(realpath "$0")")
driver=$build/bench/index/share_batch_driver
[ -x "$driver" ] || { echo "build share_batch_driver first ($driver)" >&2; exit 2; }
drawings=${DRAWINGS:-2000}
. "$here/smb_share.sh"
work=$(mktemp -d)
drivers=()
cleanup() {
    local pid
    for pid in "${drivers[@]}"; do kill -9 "$pid" 2>/dev/null || true; done
    smb_share_down
    rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM
cd "$work"
smb_share_up "$work/smb"
server=$SMB_WORK/export
echo "share: $SMB_URL at $SMB_MOUNT"

# The drawings once, in a local folder (its batch timed too), then copied on the server's side.
echo "== a local folder"
"$driver" "$work/local/plans" "$drawings" 2>/dev/null | grep -E '^(reports|index|batch)'
for s in $scenarios; do
    mkdir -p "$server/$s/plans"
    cp "$work/local/plans/"*.dwg "$server/$s/plans/"
done
# Every file the batch writes made beforehand on the server, for "premade" and, with PREMADE=1,
# for every scenario: where the program cannot set a file's mode, it can still replace one.
for s in $scenarios; do
    [ "$s" = premade ] || [ "${PREMADE:-0}" = 1 ] || continue
    cp "$work/local/plans/"* "$server/$s/plans/"
    cp "$work/local/plans/"*.chm "$server/$s/plans/hhctest.chm"
done

# Runs the driver on the share folder $1 in the background, its output in $2; sets `driver_pid`
# and returns once the batch has started.
startBatch() {
    "$driver" "$SMB_MOUNT/$1/plans" "$drawings" >"$2" 2>"$2.err" &
    driver_pid=$!
    drivers+=("$driver_pid")
    local _
    for _ in $(seq 600); do
        grep -q '^batch started' "$2" && return 0
        kill -0 "$driver_pid" 2>/dev/null || break
        sleep 0.1
    done
    echo "the driver did not start:" >&2
    tail -n 5 "$2.err" >&2
    return 1
}

# A batch to the end on $1; its figures, or what stopped it.
fullBatch() {
    local log=$work/$1.$2.out
    startBatch "$1" "$log"
    wait "$driver_pid" || true
    sed 's/^/   /' "$log" | grep -v 'batch started'
}

# What is in the folder $1, seen on the server: temporaries, pages, pictures, other dot files.
tally() {
    local d=$server/$1/plans
    printf '   %s: %d temporaries (.kvx-tmp-*), %d pages, %d pictures, %d index files' "$2" \
        "$(find "$d" -maxdepth 1 -name '.kvx-tmp-*' | wc -l)" \
        "$(find "$d" -maxdepth 1 -name '*.dwg.htm' | wc -l)" \
        "$(find "$d" -maxdepth 1 -name '*.dwg.jpg' | wc -l)" \
        "$(find "$d" -maxdepth 1 -name '*.chm' | wc -l)"
    local others
    others=$(find "$d" -maxdepth 1 -name '.*' ! -name '.kvx-tmp-*' -printf '%f ')
    [ -d "$d/.kvx-work" ] && others+="(holding: $(ls -A "$d/.kvx-work" | tr '\n' ' '))"
    echo "${others:+; other dot files: $others}"
}

# Pages written since the stamp $2 (a file on the share, so that the server's clock dates it)
# whose picture is older than it or missing, and the pages and pictures written since.
torn() {
    python3 - "$server/$1/plans" "$2" <<'PY'
import os, sys
folder, stamp = sys.argv[1], os.stat(sys.argv[2]).st_mtime_ns
pages = [n for n in os.listdir(folder) if n.endswith(".dwg.htm")]
new_pages = [n for n in pages if os.stat(os.path.join(folder, n)).st_mtime_ns >= stamp]
def new_picture(page):
    try:
        return os.stat(os.path.join(folder, page[:-4] + ".jpg")).st_mtime_ns >= stamp
    except FileNotFoundError:
        return False
torn = [n for n in new_pages if not new_picture(n)]
pictures = sum(1 for n in os.listdir(folder) if n.endswith(".dwg.jpg")
               and os.stat(os.path.join(folder, n)).st_mtime_ns >= stamp)
print(f"   since the batch started: {len(new_pages)} pages, {pictures} pictures written; "
      f"{len(torn)} new pages without their new picture{': ' + ', '.join(torn[:5]) if torn else ''}")
PY
}

# The share's floor under the folder $1: every drawing read, every other file copied to a folder
# beside it, through the mount.
floor() {
    local f=$SMB_MOUNT/$1/plans start
    rm -rf "$f.floor"
    mkdir "$f.floor"
    start=$(date +%s%N)
    find "$f" -maxdepth 1 -name '*.dwg' -exec cat {} + >/dev/null
    find "$f" -maxdepth 1 -type f ! -name '*.dwg' -exec cp -t "$f.floor" {} +
    echo "$(( ($(date +%s%N) - start) / 1000000 ))"
    rm -rf "$f.floor"
}

# The index in the folder $1 read whole by 7-Zip, where 7-Zip is installed.
checkIndex() {
    command -v 7z >/dev/null || return 0
    local chm
    for chm in "$server/$1/plans/"*.chm; do
        [ -f "$chm" ] || continue
        7z t "$chm" >/dev/null 2>&1 && r=read || r="NOT read"
        echo "   $(basename "$chm"): $r by 7-Zip ($(7z t "$chm" 2>/dev/null | sed -n 's/^Files: //p') files)"
    done
}

seconds() { sed -n 's/^batch: \([0-9.]*\) s.*/\1/p' "$1"; }

for s in $scenarios; do
    case $s in
    kill)
        echo "== kill: a full batch first"
        fullBatch kill first
        took=$(seconds "$work/kill.first.out")
        at=$(python3 -c "print(round(min(60.0, 0.4 * float('${took:-150}')), 1))")
        sleep 2 # the stamp's mtime after every file of the first batch, at the server's second
        # Made, not touched: gvfs dates a touched file 1970-01-01.
        rm -f "$SMB_MOUNT/kill/stamp"
        echo >"$SMB_MOUNT/kill/stamp"
        echo "== kill: a batch killed with SIGKILL $at s in"
        startBatch kill "$work/kill.killed.out"
        sleep "$at"
        kill -9 "$driver_pid"
        wait "$driver_pid" 2>/dev/null || true
        rm -rf "$(dirname "$driver")/kvx-share-driver-tools-$driver_pid" # its own, left by the kill
        sleep 1
        tally kill "after the kill"
        torn kill "$server/kill/stamp"
        echo "== kill: the next batch"
        fullBatch kill next
        tally kill "after the next batch"
        checkIndex kill
        ;;
    outage)
        echo "== outage: a batch, smbd killed in its course"
        log=$work/outage.batch.out
        startBatch outage "$log"
        down=$(python3 -c "print(round(min(50.0, float('${took:-120}') / 3), 1))")
        sleep "$down"
        smbd_kill
        echo "   smbd killed $down s in"
        downAt=$(date +%s)
        tally outage "as the server went down"
        # Back 50 s later, whether the batch has ended by then or not.
        while kill -0 "$driver_pid" 2>/dev/null && [ $(($(date +%s) - downAt)) -lt 50 ]; do
            sleep 0.5
        done
        [ $(($(date +%s) - downAt)) -lt 50 ] && sleep $((50 - ($(date +%s) - downAt)))
        smbd_start
        echo "   smbd back after $(($(date +%s) - downAt)) s"
        wait "$driver_pid" || true
        sed 's/^/   /' "$log" | grep -v 'batch started'
        tally outage "once the batch ended"
        ls "$SMB_MOUNT/outage/plans" >/dev/null 2>&1 || echo "   the gvfs mount does not answer after the outage"
        echo "== outage: the next batch"
        fullBatch outage next
        tally outage "after the next batch"
        ;;
    two)
        echo "== two: two copies batching one folder at once"
        startBatch two "$work/two.1.out"
        first=$driver_pid
        startBatch two "$work/two.2.out"
        second=$driver_pid
        wait "$first" && r1=0 || r1=$?
        wait "$second" && r2=0 || r2=$?
        for k in 1 2; do
            echo "   copy $k:"
            sed 's/^/      /' "$work/two.$k.out" | grep -v 'batch started'
        done
        echo "   exit statuses: $r1 $r2"
        tally two "after both"
        checkIndex two
        ;;
    premade)
        echo "== premade: the batch replacing files made on the server"
        fullBatch premade batch
        took=$(seconds "$work/premade.batch.out")
        ms=$(floor premade)
        python3 -c "print(f'   floor {$ms / 1000:.1f} s; batch/floor {float(\"${took:-0}\") * 1000 / $ms:.2f}')"
        ;;
    *) echo "no scenario $s" >&2 ;;
    esac
done
