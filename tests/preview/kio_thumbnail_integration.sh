#!/usr/bin/env bash
# Our thumbnails in KDE's file managers: a fresh installation's thumbnail plugin, found on the
# Qt plugin path, makes KIO's previews (as Dolphin asks for them, through kio-extras' thumbnail
# worker on a private session bus) of a drawing with a BMP picture and one with a PNG picture,
# with the very pixels of korvenix31-thumbnailer's output, and none for a drawing without one.
# Usage: kio_thumbnail_integration.sh BUILD_DIR KDE_BUILD_DIR WRITE_DRAWING
#        (exit 77: the tools are not installed)
set -u
build=$1
. "$(dirname "$0")/../support/x_session.sh"
require_tools dbus-run-session
compgen -G '/usr/lib/*/qt5/plugins/kf5/kio/thumbnail.so' >/dev/null ||
    { echo "skipped: kio-extras is not installed"; exit 77; }
fail() { echo "FAIL: $*"; cat "$work/client.log" 2>/dev/null; exit 1; }

prefix="$work/pre fix"
cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || { cat "$work/install.log"; fail "install"; }
plugin=$(find "$prefix" -path '*/qt5/plugins/kf5/thumbcreator/korvenix31thumbnail.so')
[ -n "$plugin" ] || fail "the installation holds no plugin in a Qt 5 plugin folder"

mkdir -p "$work/drawings" "$work/expected" "$work/runtime"
chmod 700 "$work/runtime"
for kind in bmp picture none; do
    "$3" $kind "$work/drawings/$kind.dwg" || fail "writing a drawing"
done
for name in bmp picture; do
    "$build/tools/thumbnailer/korvenix31-thumbnailer" -s 128 "$work/drawings/$name.dwg" \
        "$work/expected/$name.dwg.png" || fail "the thumbnailer made no thumbnail of $name.dwg"
done

# KIO and the worker it starts see only the temporary installation and folders. Three minutes
# at most: the first start of KIO's worker on a busy machine can be slow.
(cd "$work/drawings" && QT_QPA_PLATFORM=offscreen QT_PLUGIN_PATH=${plugin%/kf5/thumbcreator/*} \
    XDG_DATA_DIRS="$prefix/share:/usr/share" XDG_DATA_HOME=$work/data XDG_CACHE_HOME=$work/cache \
    XDG_CONFIG_HOME=$work/config XDG_RUNTIME_DIR=$work/runtime timeout 180 dbus-run-session -- \
    "$2/kio_preview_client" 128 "$work/expected" bmp.dwg picture.dwg none.dwg) >"$work/result" \
    2>"$work/client.log" || fail "the preview client"
sort "$work/result" >"$work/got"
printf '%s\n' "failed none.dwg" "preview bmp.dwg 128x85 same" "preview picture.dwg 64x32 same" \
    >"$work/want"
diff -u "$work/want" "$work/got" || fail "other previews than expected"
echo "KIO thumbnail integration passed"
