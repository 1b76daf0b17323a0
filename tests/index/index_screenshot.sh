#!/bin/sh
# Shows what a user sees of a compiled index: builds an index folder, compiles it with
# hhc.exe, opens it through hh.exe with headless Chromium standing in for the browser, and
# saves the browser's picture.
#   tests/index/index_screenshot.sh BUILD_DIR OUT.png [REPORTS]
set -eu
build=$(cd "$1" && pwd)
out=$(cd "$(dirname "$2")" && pwd)/$(basename "$2")
reports=${3:-7}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/plans"
"$build/tests/support/make_index_folder" "$work/plans" "$reports"
"$build/tools/hhc/hhc.exe" "$work/plans/index.htm"
cat > "$work/opener" <<EOF
#!/bin/sh
exec chromium --headless=new --no-sandbox --disable-gpu --hide-scrollbars \
  --window-size=1000,640 --screenshot="$work/shot.png" "\$1" >/dev/null 2>&1
EOF
chmod +x "$work/opener"
rm -f "$out"
XDG_CACHE_HOME="$work/cache" KORVENIX_OPENER="$work/opener" KORVENIX_NO_MESSAGE_BOX=1 \
  "$build/tools/hh/hh.exe" "$work/plans/hhctest.chm"
# The viewer lets the browser run on by itself: wait for its picture.
i=0
while [ ! -s "$work/shot.png" ]; do
  i=$((i + 1)); [ $i -le 240 ] || { echo "no screenshot" >&2; exit 1; }
  sleep 0.5
done
sleep 1
mv "$work/shot.png" "$out"
echo "$out"
