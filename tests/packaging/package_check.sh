#!/usr/bin/env bash
# The Debian package as a user receives it: built by cpack from a finished build tree, accepted
# by lintian with no error and no warning, and its programs run from its own unpacked files, so
# a file or a library missing from the package fails here.
# Usage: package_check.sh BUILD_DIR CMAKE CPACK WRITE_DRAWING
set -u
build=$1
cmake=$2
cpack=$3
write_drawing=$4

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

. "$(dirname "$0")/../support/wait_for.sh"

# --- The package -----------------------------------------------------------------------------
"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; fail "cpack"; }
# The program's package, and korvenix31-kde beside it where the KDE plugin was built.
debs=("$work"/out/*.deb)
deb=$(ls "$work"/out/korvenix31_*.deb 2>/dev/null | head -n 1)
[ -f "$deb" ] || fail "cpack made no korvenix31 package: ${debs[*]}"
for other in "${debs[@]}"; do
    case $(basename "$other") in
    korvenix31_* | korvenix31-kde_*) ;;
    *) fail "unexpected package $(basename "$other")" ;;
    esac
done
echo "packages: ${debs[*]##*/}"

# Errors and warnings fail; information tags are lintian's advice, not shown by default.
# (As root, lintian also prints a line that it should not run as root.)
lintian --fail-on error,warning "${debs[@]}" >"$work/lintian.log" 2>&1
status=$?
cat "$work/lintian.log"
[ $status -eq 0 ] || fail "lintian"
grep -qE '^[A-Z]: ' "$work/lintian.log" && fail "lintian printed tags"

depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
[[ ", $depends," == *", xdg-utils,"* ]] || fail "Depends lacks xdg-utils"
[[ "$depends" == *fp-utils* ]] && fail "Depends names fp-utils"

root=$work/root
dpkg-deb -x "$deb" "$root" || fail "dpkg-deb -x"
tools=$root/usr/lib/korvenix31/tools
for f in usr/bin/korvenix31 usr/bin/korvenix31-setup usr/bin/korvenix31-thumbnailer \
         usr/bin/korvenix31-cad-bridge usr/lib/korvenix31/tools/hhc.exe \
         usr/lib/korvenix31/tools/hh.exe usr/lib/korvenix31/tools/help_korvenix31.chm \
         usr/share/doc/korvenix31/copyright usr/share/doc/korvenix31/changelog.gz \
         usr/share/man/man1/korvenix31.1.gz usr/share/man/man1/korvenix31-setup.1.gz \
         usr/share/man/man1/korvenix31-thumbnailer.1.gz \
         usr/share/man/man1/korvenix31-cad-bridge.1.gz; do
    [ -s "$root/$f" ] || fail "$f is not in the package"
done
# The build tree also holds tests and benchmarks: none of them may end up in the package.
extra=$(cd "$root/usr/bin" && ls | grep -vxE 'korvenix31|korvenix31-(setup|thumbnailer|cad-bridge)')
[ -z "$extra" ] || fail "unexpected programs in usr/bin: $extra"
extra=$(cd "$tools" && ls | grep -vxE 'hhc\.exe|hh\.exe|help_korvenix31\.chm')
[ -z "$extra" ] || fail "unexpected files in the tool folder: $extra"

# lintian reads the manual pages 120 columns wide; a terminal is often 80.
for page in "$root"/usr/share/man/man1/*.1.gz; do
    warnings=$(env -i PATH="$PATH" LC_ALL=C.UTF-8 MANWIDTH=80 \
               man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$(basename "$page") at 80 columns: $warnings"
done

version=$(dpkg-deb -f "$deb" Version)
zcat "$root/usr/share/doc/korvenix31/changelog.gz" | head -n 1 | grep -qF "korvenix31 ($version)" ||
    fail "the changelog's last entry is not version $version"

for program in "$root"/usr/bin/* "$tools"/*.exe; do
    missing=$(ldd "$program" | grep 'not found')
    [ -z "$missing" ] || fail "$(basename "$program"): $missing"
done

# --- The thumbnailer -------------------------------------------------------------------------
"$write_drawing" picture "$work/plan.dwg" || fail "writing a drawing"
info=$("$root/usr/bin/korvenix31-thumbnailer" --info "$work/plan.dwg") || fail "--info"
echo "--info: $info"
[ "$info" = "$work/plan.dwg"$'\t'"AC1032"$'\t'"Version 2018 and later"$'\t'"offered"$'\t'"png 64x32" ] ||
    fail "--info printed \"$info\""

# --- The settings of a fresh installation name the package's tool folder -----------------
mkdir -p "$work/home"
HOME=$work/home XDG_CONFIG_HOME=$work/config "$root/usr/bin/korvenix31-setup" ||
    fail "korvenix31-setup"
grep -qF '"path"="/usr/lib/korvenix31/tools"' "$work/config/Stalwen/Korvenix31.reg" ||
    fail "the default key does not name /usr/lib/korvenix31/tools"

# --- The help tools: compile a tiny index, then show it and the program's help --------------
mkdir "$work/index"
printf '<html><head><title>Index</title></head><body><a href="page.htm">page</a> kvx-index</body></html>\n' \
    >"$work/index/index.htm"
printf '<html><head><title>Page</title></head><body>kvx-page</body></html>\n' >"$work/index/page.htm"
"$tools/hhc.exe" "$work/index/index.htm" || fail "hhc.exe"
[ -s "$work/index/hhctest.chm" ] || fail "hhc.exe left no hhctest.chm"

cat >"$work/opener" <<'OPENER'
#!/bin/sh
printf '%s\n' "$1" >>"$KVX_OPENED"
OPENER
chmod +x "$work/opener"
# Opens one compiled file with hh.exe and prints the page the opener was given.
show() {
    rm -f "$work/opened"
    KVX_OPENED=$work/opened KORVENIX_OPENER=$work/opener XDG_CACHE_HOME=$work/cache \
        KORVENIX_NO_MESSAGE_BOX=1 QT_QPA_PLATFORM=offscreen "$tools/hh.exe" "$1" >&2 ||
        fail "hh.exe $1"
    wait_for "[ -s '$work/opened' ]" || fail "hh.exe did not start the opener for $1"
    local url
    url=$(head -n 1 "$work/opened")
    [[ "$url" == "file://$work/cache/korvenix31/"* ]] || fail "hh.exe opened $url"
    url=${url#file://}
    printf '%b' "${url//%/\\x}"
}
page=$(show "$work/index/hhctest.chm") || exit 1
echo "index page: $page"
cmp "$page" "$work/index/index.htm" || fail "the page shown is not the index page"
cmp "$(dirname "$page")/page.htm" "$work/index/page.htm" || fail "page.htm did not come out whole"
help=$(show "$tools/help_korvenix31.chm") || exit 1
echo "help page: $help"
[ -s "$help" ] || fail "the help's start page is empty"

# --- The manual pages, as man finds them after an installation into a prefix -------------
"$cmake" --install "$build" --prefix "$work/prefix" >"$work/install.log" 2>&1 ||
    { cat "$work/install.log"; fail "cmake --install"; }
found=$(env -u MANPATH PATH="$work/prefix/bin:/usr/bin:/bin" man -w korvenix31-thumbnailer) ||
    fail "man does not find korvenix31-thumbnailer"
[ "$found" = "$work/prefix/share/man/man1/korvenix31-thumbnailer.1.gz" ] ||
    fail "man found $found"
echo "ok"
