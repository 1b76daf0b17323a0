#!/usr/bin/env bash
# Korvenix 3.1 quick start.
#   ./dev.sh run [ARGS...]  install what is missing, build, install for this user,
#                           prepare the settings on first use, start the program
#   ./dev.sh test           build (plain and with ASan+UBSan) and run every test
set -euo pipefail
cd "$(dirname "$0")"

# libmspack reads compiled help files for hh.exe; chmlib, its Python binding and 7-Zip are the
# tests' independent readers. Wine's regedit takes the settings through Windows' registry format
# and back; the accessibility bench needs at-spi2-core's bus.
PACKAGES=(build-essential cmake pkg-config qt6-base-dev libgl-dev libspng-dev
          libjpeg62-turbo-dev zlib1g-dev libdeflate-dev googletest libgtest-dev libbenchmark-dev
          xvfb xauth fonts-dejavu-core clang trayer openbox xdotool wmctrl x11-utils
          tumbler dbus-daemon dbus-bin libglib2.0-dev libwayland-dev
          libmspack-dev libmspack0 libchm-dev libchm1 python3-chm p7zip-full appstream dpkg-dev
          lintian man-db libkf5kio-dev extra-cmake-modules qtbase5-dev kio-extras wine at-spi2-core)
JOBS=${JOBS:-$(nproc)}

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

missing_of() {
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
    done
}

install_missing() {
    local missing
    mapfile -t missing < <(missing_of "${PACKAGES[@]}")
    if [ ${#missing[@]} -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        as_root apt-get update -q
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "${missing[@]}"
    fi
}

build() { # build DIR [cmake options...]
    local dir=$1; shift
    cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build "$dir" -j "$JOBS"
}

case "${1:-}" in
run)
    shift
    install_missing
    build build-run -DKORVENIX_TESTS=OFF -DKORVENIX_BENCH=OFF
    prefix=${KORVENIX_PREFIX:-$HOME/.local}
    cmake --install build-run --prefix "$prefix" >/dev/null
    # The settings key comes from the installation, never from the program itself.
    if [ -x "$prefix/bin/korvenix31-setup" ]; then "$prefix/bin/korvenix31-setup"; fi
    exec "$prefix/bin/korvenix31" "$@"
    ;;
test)
    install_missing
    build build
    (cd build && ctest --output-on-failure --no-tests=error -j "$JOBS")
    build build-asan -DKORVENIX_SANITIZE=ON -DKORVENIX_BENCH=OFF
    (cd build-asan && ctest --output-on-failure --no-tests=error -j "$JOBS")
    ;;
*)
    sed -n '2,5p' "$0"
    exit 2
    ;;
esac
