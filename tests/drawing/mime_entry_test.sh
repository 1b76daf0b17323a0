#!/usr/bin/env bash
# Drawings recognised by their header: after an installation into a fresh prefix, GLib's MIME
# lookup (as GNOME's and Xfce's file managers and xdg-mime on those desktops use it) names
# image/vnd.dwg for drawings saved without their extension, a release from before previews
# included, and not for a file with an unknown release's header.
# Usage: mime_entry_test.sh BUILD_DIR WRITE_DRAWING   (exit 77: gio is not installed)
set -u
for tool in gio update-mime-database; do
    command -v $tool >/dev/null || { echo "skipped: $tool is not installed"; exit 77; }
done
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix="$work/pre fix"
cmake --install "$1" --prefix "$prefix" >"$work/install.log" 2>&1 || { cat "$work/install.log"; exit 1; }
"$2" picture "$work/plan" || exit 1
printf 'AC1009\0\0\0\0\0\0\0\0\0\0' >"$work/r12"
printf 'AC1099\0\0\0\0\0\0\0\0\0\0' >"$work/unknown"

got=
for name in plan r12 unknown; do
    type=$(XDG_DATA_DIRS="$prefix/share:/usr/share" XDG_DATA_HOME="$work/data" GIO_USE_VFS=local \
           gio info -a standard::content-type "$work/$name" | sed -n 's/^ *standard::content-type: //p')
    echo "$name: $type"
    got+="$name=$([ "$type" = image/vnd.dwg ] && echo drawing || echo other) "
done
[ "$got" = "plan=drawing r12=drawing unknown=other " ] || { echo "FAIL: $got"; exit 1; }
