#!/usr/bin/env bash
# Our thumbnails in KDE's file managers: a fresh installation's thumbnail plugin, found on the
# Qt plugin path, makes KIO's previews (as Dolphin asks for them, through kio-extras' thumbnail
# worker on a private session bus) of a drawing with a BMP picture and one with a PNG picture,
# with the very pixels of korvenix31-thumbnailer's output, and none for a drawing without one.
# With the installation's MIME entry, a drawing saved without its extension gets one too.
# Usage: kio_thumbnail_integration.sh BUILD_DIR KDE_BUILD_DIR WRITE_DRAWING
#        (exit 77: the tools are not installed)
set -u
build=$1
kde_build=$2
write_drawing=$3
client=$kde_build/kio_preview_client
thumbnailer=$build/tools/thumbnailer/korvenix31-thumbnailer
command -v dbus-run-session >/dev/null || { echo "skipped: dbus-run-session is not installed"; exit 77; }
compgen -G '/usr/lib/*/qt5/plugins/kf5/kio/thumbnail.so' >/dev/null ||
    { echo "skipped: kio-extras is not installed"; exit 77; }

fail() { echo "FAIL: $*"; [ -f "$work/client.log" ] && cat "$work/client.log"; exit 1; }

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix="$work/pre fix"
cmake --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 || { cat "$work/install.log"; fail "install"; }
plugin=$(find "$prefix" -name korvenix31thumbnail.so)
[ -n "$plugin" ] || fail "the installation holds no thumbnail plugin"
case $plugin in */qt5/plugins/kf5/thumbcreator/korvenix31thumbnail.so) ;;
    *) fail "the plugin is not in a Qt 5 plugin folder: $plugin" ;; esac
plugins=${plugin%/kf5/thumbcreator/*}

mkdir -p "$work/drawings" "$work/previews" "$work/expected" "$work/cache" "$work/config" \
    "$work/data" "$work/runtime"
chmod 700 "$work/runtime"
"$write_drawing" bmp "$work/drawings/bmp.dwg" || fail "writing a drawing"
"$write_drawing" picture "$work/drawings/png.dwg" || fail "writing a drawing"
"$write_drawing" none "$work/drawings/none.dwg" || fail "writing a drawing"
cp "$work/drawings/bmp.dwg" "$work/drawings/plan"
for name in bmp png; do
    "$thumbnailer" -s 128 "$work/drawings/$name.dwg" "$work/expected/$name.dwg.png" ||
        fail "the thumbnailer made no thumbnail of $name.dwg"
done
cp "$work/expected/bmp.dwg.png" "$work/expected/plan.png"

# KIO and the worker it starts see only the temporary installation and folders.
export QT_QPA_PLATFORM=offscreen QT_PLUGIN_PATH=$plugins XDG_DATA_DIRS="$prefix/share:/usr/share" \
    XDG_DATA_HOME=$work/data XDG_CACHE_HOME=$work/cache XDG_CONFIG_HOME=$work/config \
    XDG_RUNTIME_DIR=$work/runtime
# Three minutes at most: the first start of KIO's worker on a busy machine can be slow.
(cd "$work/drawings" && timeout 180 dbus-run-session -- "$client" preview 128 "$work/previews" \
    bmp.dwg png.dwg none.dwg plan) >"$work/result" 2>"$work/client.log" || fail "the preview client"

sort "$work/result" >"$work/got"
printf '%s\n' "failed none.dwg" "preview bmp.dwg 128x85" "preview plan 128x85" \
    "preview png.dwg 64x32" >"$work/want"
diff -u "$work/want" "$work/got" || fail "other previews than expected"
for name in bmp.dwg png.dwg plan; do
    "$client" same "$work/previews/$name.png" "$work/expected/$name.png" 2>>"$work/client.log" ||
        fail "the preview of $name differs from the thumbnailer's"
done
echo "KIO thumbnail integration passed"
