#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
#
# One entry point for working on Zovozu VM Lab on Debian 12:
#   scripts/dev.sh app    install what is missing, build, start the application
#   scripts/dev.sh test   install what is missing, build, run the whole test suite
#   scripts/dev.sh sanitize  the same tests in a build of its own with AddressSanitizer and
#                            UndefinedBehaviorSanitizer (slow; not part of CI)
#
# Packages are installed with apt-get (as root, or through sudo when run by a user).
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${ZOVOZU_BUILD_DIR:-$ROOT/build}"

PACKAGES=(
    cmake ninja-build clang-16 libclang-rt-16-dev ccache pkg-config
    qt6-base-dev libgl-dev libxkbcommon-dev qcoro-qt6-dev
    nlohmann-json3-dev libarchive-dev
    libgtest-dev libgmock-dev
    xvfb xauth dbus
    adwaita-icon-theme libqt6svg6 fonts-dejavu-core
    qemu-system-arm qemu-efi-aarch64 qemu-utils swtpm ipxe-qemu seabios
)

# Debian 12's clang 16, building against libstdc++ 12.
CXX_COMPILER=clang++-16

as_root() {
    if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

install_missing_packages() {
    local missing=()
    for package in "${PACKAGES[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$package")
        fi
    done
    if [ "${#missing[@]}" -gt 0 ]; then
        echo "Installing: ${missing[*]}"
        as_root apt-get update -qq
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
    fi
}

# Configures a build folder unless it is already set up for CXX_COMPILER. A folder made with
# another compiler starts again from a fresh cache: CMake cannot switch the compiler of a cache.
configure() {
    local folder="$1"
    shift
    local cached=""
    if [ -f "$folder/CMakeCache.txt" ]; then
        cached="$(sed -n 's/^CMAKE_CXX_COMPILER:[A-Z]*=//p' "$folder/CMakeCache.txt")"
    fi
    if [ -f "$folder/build.ninja" ] && [ "$(basename "$cached")" = "$CXX_COMPILER" ]; then
        return
    fi
    cmake --fresh -S "$ROOT" -B "$folder" -G Ninja -DCMAKE_CXX_COMPILER="$CXX_COMPILER" "$@"
}

build() {
    configure "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo
    cmake --build "$BUILD"
}

case "${1:-}" in
    app)
        install_missing_packages
        build
        exec "$BUILD/app/DuvuzodOvevav"
        ;;
    test)
        install_missing_packages
        build
        cd "$BUILD"
        # The QEMU tests emulate a whole machine; they run one at a time after the rest,
        # so that on a small machine they never compete with each other for the cores.
        ctest --output-on-failure --timeout 300 -j "$(nproc)" -LE qemu
        exec ctest --output-on-failure --timeout 300 -L qemu
        ;;
    sanitize)
        install_missing_packages
        SANITIZE_BUILD="${ZOVOZU_SANITIZE_BUILD_DIR:-$ROOT/build-sanitize}"
        configure "$SANITIZE_BUILD" -DCMAKE_BUILD_TYPE=Debug \
            -DCMAKE_CXX_FLAGS="-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined" \
            -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined"
        cmake --build "$SANITIZE_BUILD"
        cd "$SANITIZE_BUILD"
        # Leak checking stays off: Qt and the graphics stack keep process-lifetime allocations it would report.
        export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1"
        export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
        exec ctest --output-on-failure --timeout 900 -j "$(nproc)" -LE qemu
        ;;
    *)
        echo "usage: $0 app|test|sanitize" >&2
        exit 2
        ;;
esac
