#!/usr/bin/env bash
# Drawings recognised by their header: after an installation into a fresh prefix, GLib's MIME
# lookup (as GNOME's and Xfce's file managers and xdg-mime on those desktops use it) names
# image/vnd.dwg for drawings saved without their extension, and nothing else gains the type.
# Usage: mime_entry_test.sh BUILD_DIR WRITE_DRAWING   (exit 77: gio is not installed)
set -u
build=$1
write_drawing=$2
command -v gio >/dev/null || { echo "skipped: gio is not installed"; exit 77; }
command -v update-mime-database >/dev/null || { echo "skipped: shared-mime-info is not installed"; exit 77; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }
prefix="$work/pre fix"
cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || { cat "$work/install.log"; fail "install"; }
[ -f "$prefix/share/mime/packages/korvenix31.xml" ] || fail "no MIME entry installed"
[ -f "$prefix/share/mime/mime.cache" ] || fail "the prefix's MIME database was not rebuilt"

mkdir "$work/files"
"$write_drawing" picture "$work/files/plan" || fail "writing a drawing"
"$write_drawing" none "$work/files/blank" || fail "writing a drawing"
# A release from before previews, and an unknown one: only the first is a drawing.
printf 'AC1009\0\0\0\0\0\0\0\0\0\0' >"$work/files/r12"
printf 'AC1099\0\0\0\0\0\0\0\0\0\0' >"$work/files/unknown"

typeOf() {
    XDG_DATA_DIRS="$prefix/share:/usr/share" XDG_DATA_HOME="$work/data" GIO_USE_VFS=local \
        gio info -a standard::content-type "$1" | sed -n 's/^ *standard::content-type: //p'
}
for name in plan blank r12; do
    got=$(typeOf "$work/files/$name")
    [ "$got" = image/vnd.dwg ] || fail "$name is \"$got\", not image/vnd.dwg"
done
got=$(typeOf "$work/files/unknown")
[ "$got" != image/vnd.dwg ] || fail "a file with an unknown header is taken for a drawing"
echo "MIME entry test passed"
