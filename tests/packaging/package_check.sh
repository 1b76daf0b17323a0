#!/usr/bin/env bash
# The Debian packages as a user receives them: built by cpack from a finished build tree,
# accepted by lintian with no error and no warning, holding their files where expected and
# nothing more, and their programs run from their own unpacked files.
# Usage: package_check.sh BUILD_DIR CMAKE CPACK
set -u
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

"$3" -G DEB --config "$build/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 ||
    { cat "$work/cpack.log"; fail "cpack"; }
# The program's package, and korvenix31-kde beside it where the KDE plugin was built.
names=$(cd "$work/out" && ls *.deb | sed 's/_.*//' | LC_ALL=C sort | xargs)
[[ "$names" == korvenix31 || "$names" == "korvenix31 korvenix31-kde" ]] || fail "packages: $names"
deb=$(ls "$work"/out/korvenix31_*.deb)

# Errors and warnings fail; information tags are lintian's advice, not shown by default.
# (As root, lintian also prints a line that it should not run as root.)
lintian --fail-on error,warning "$work"/out/*.deb >"$work/lintian.log" 2>&1 ||
    { cat "$work/lintian.log"; fail "lintian"; }
grep -E '^[A-Z]: ' "$work/lintian.log" && fail "lintian printed tags"

depends=$(dpkg-deb -f "$deb" Depends)
[[ ", $depends," == *", xdg-utils,"* && "$depends" != *fp-utils* ]] || fail "Depends: $depends"

root=$work/root
dpkg-deb -x "$deb" "$root" || fail "dpkg-deb -x"
cd "$root" || fail "cd $root"
# Exactly these programs and tools (none of the build tree's tests or benchmarks), none empty.
tools=usr/lib/korvenix31/tools
list() { (cd "$1" && LC_ALL=C ls | xargs); }
[ "$(list usr/bin)" = "korvenix31 korvenix31-cad-bridge korvenix31-setup korvenix31-thumbnailer" ] ||
    fail "usr/bin holds: $(list usr/bin)"
[ "$(list $tools)" = "help_korvenix31.chm hh.exe hhc.exe" ] || fail "$tools holds: $(list $tools)"
for f in usr/bin/* $tools/* usr/share/doc/korvenix31/{copyright,changelog.gz} \
         usr/share/man/man1/korvenix31{,-setup,-thumbnailer,-cad-bridge}.1.gz; do
    [ -s "$f" ] || fail "$f is empty or not in the package"
done
# lintian reads the manual pages 120 columns wide; a terminal is often 80.
for page in usr/share/man/man1/*.1.gz; do
    warnings=$(env -i PATH="$PATH" LC_ALL=C.UTF-8 MANWIDTH=80 \
               man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "$(basename "$page") at 80 columns: $warnings"
done
version=$(dpkg-deb -f "$deb" Version)
zcat "usr/share/doc/korvenix31/changelog.gz" | head -n 1 | grep -qF "korvenix31 ($version)" ||
    fail "the changelog's last entry is not version $version"
for program in usr/bin/* $tools/*.exe; do
    missing=$(ldd "$program" | grep 'not found')
    [ -z "$missing" ] || fail "$(basename "$program"): $missing"
done

# The settings of a fresh installation name the package's tool folder.
mkdir "$work/home" && HOME=$work/home XDG_CONFIG_HOME=$work/config usr/bin/korvenix31-setup ||
    fail "korvenix31-setup"
grep -qF '"path"="/usr/lib/korvenix31/tools"' "$work/config/Stalwen/Korvenix31.reg" ||
    fail "the default key does not name /usr/lib/korvenix31/tools"

# The manual pages, as man finds them after an installation into a prefix.
"$2" --install "$build" --prefix "$work/prefix" >"$work/install.log" 2>&1 ||
    { cat "$work/install.log"; fail "cmake --install"; }
found=$(env -u MANPATH PATH="$work/prefix/bin:/usr/bin:/bin" man -w korvenix31-thumbnailer)
[ "$found" = "$work/prefix/share/man/man1/korvenix31-thumbnailer.1.gz" ] || fail "man found \"$found\""
echo "ok"
