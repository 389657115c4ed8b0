#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
#
# One entry point for working on Zovozu VM Lab on Debian 12:
#   scripts/dev.sh app    install what is missing, build, start the application
#   scripts/dev.sh test   install what is missing, build, run the whole test suite
#   scripts/dev.sh sanitize  the same tests in a build of its own with AddressSanitizer and
#                            UndefinedBehaviorSanitizer (slow; not part of CI)
#   scripts/dev.sh linux-test-guest  only build the small arm64 Linux guest that the QEMU
#                            tests boot (app and test build it too; it is kept in the build folder)
#
# Packages are installed with apt-get (as root, or through sudo when run by a user).
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${ZOVOZU_BUILD_DIR:-$ROOT/build}"

PACKAGES=(
    cmake ninja-build clang-16 libclang-rt-16-dev clang-format-16 ccache pkg-config
    qt6-base-dev libgl-dev libxkbcommon-dev qcoro-qt6-dev
    nlohmann-json3-dev libarchive-dev zlib1g-dev libcurl4-openssl-dev
    libgtest-dev libgmock-dev
    fuse3 libfuse3-dev wget
    xvfb xauth dbus tigervnc-viewer
    adwaita-icon-theme libqt6svg6 fonts-dejavu-core
    qemu-efi-aarch64 swtpm ipxe-qemu seabios
    libseccomp2 libcap-ng0
    dosfstools mtools cpio
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

# QEMU 10 comes from Debian 12's backports suite: QEMU 7.2 cannot migrate a machine
# whose folders virtiofsd shares, so it could not save any VM's state.
QEMU_PACKAGES=(qemu-system-arm qemu-system-common qemu-system-data qemu-utils)
QEMU_SERIES=10
BACKPORTS_SUITE=bookworm-backports

# Debian 12 packages no virtiofsd that migrates (and QEMU 10 ships none), and Debian 13's
# binary needs a newer glibc. The daemon is built here from Debian 13's crate packages.
VIRTIOFSD_PROGRAM=/usr/local/libexec/virtiofsd
VIRTIOFSD_SERIES=1.13
VIRTIOFSD_SOURCE_SUITE=trixie
VIRTIOFSD_BUILD_PACKAGES=(cargo-web rustc-web libseccomp-dev libcap-ng-dev)

# Prints the URI of the machine's own Debian mirror for `suite` (empty when it has none).
apt_mirror_for_suite() {
    apt-get indextargets --format '$(REPO_URI) $(RELEASE)' 'Identifier: Packages' \
        | awk -v suite="$1" '$2 == suite { print $1; exit }'
}

# Writes an apt configuration of its own into the folder $1, whose only source is suite $3's main
# component at mirror $2; apt-get run with APT_CONFIG="$1/apt.conf" then fetches packages into
# that folder and leaves the machine's sources, state and installed packages as they are. With an
# architecture as $4, apt works for that architecture alone. Downloads go to "$1/debs".
write_private_apt_config() {
    local apt="$1" mirror="$2" suite="$3" arch="${4:-}"
    local options="signed-by=/usr/share/keyrings/debian-archive-keyring.gpg"
    if [ -n "$arch" ]; then
        options="arch=$arch $options"
    fi
    mkdir -p "$apt"/{lists/partial,archives/partial,sources.list.d,preferences.d,debs}
    : > "$apt/status"
    echo "deb [$options] $mirror $suite main" > "$apt/sources.list"
    cat > "$apt/apt.conf" <<EOF
Dir::Etc::SourceList "$apt/sources.list";
Dir::Etc::SourceParts "$apt/sources.list.d";
Dir::Etc::Preferences "$apt/preferences";
Dir::Etc::PreferencesParts "$apt/preferences.d";
Dir::State::Lists "$apt/lists";
Dir::State::status "$apt/status";
Dir::Cache::Archives "$apt/archives";
Dir::Cache::pkgcache "";
Dir::Cache::srcpkgcache "";
Acquire::Languages "none";
APT::Sandbox::User "root";
EOF
    if [ -n "$arch" ]; then
        cat >> "$apt/apt.conf" <<EOF
APT::Architecture "$arch";
APT::Architectures { "$arch"; };
EOF
    fi
}

debian_codename() {
    . /etc/os-release && echo "$VERSION_CODENAME"
}

package_version() {
    dpkg-query -W -f='${Status} ${Version}\n' "$1" 2>/dev/null | awk '$3 == "installed" { print $4 }'
}

install_qemu() {
    local stale=()
    for package in "${QEMU_PACKAGES[@]}"; do
        case "$(package_version "$package")" in
            1:"$QEMU_SERIES".*|"$QEMU_SERIES".*) ;;
            *) stale+=("$package") ;;
        esac
    done
    [ "${#stale[@]}" -gt 0 ] || return 0

    if [ -z "$(apt_mirror_for_suite "$BACKPORTS_SUITE")" ]; then
        local mirror
        mirror="$(apt_mirror_for_suite "$(debian_codename)")"
        if [ -z "$mirror" ]; then
            echo "No Debian mirror for $(debian_codename) in the apt sources; cannot add $BACKPORTS_SUITE." >&2
            exit 1
        fi
        echo "Adding $BACKPORTS_SUITE to the apt sources"
        printf 'Types: deb\nURIs: %s\nSuites: %s\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
            "$mirror" "$BACKPORTS_SUITE" | as_root tee "/etc/apt/sources.list.d/$BACKPORTS_SUITE.sources" >/dev/null
    fi
    echo "Installing QEMU $QEMU_SERIES from $BACKPORTS_SUITE: ${QEMU_PACKAGES[*]}"
    as_root apt-get update -qq
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends -t "$BACKPORTS_SUITE" "${QEMU_PACKAGES[@]}"
}

installed_virtiofsd_is_current() {
    [ -x "$VIRTIOFSD_PROGRAM" ] || return 1
    case "$("$VIRTIOFSD_PROGRAM" --version 2>/dev/null)" in
        "virtiofsd $VIRTIOFSD_SERIES".*) return 0 ;;
        *) return 1 ;;
    esac
}

# Builds virtiofsd offline from Debian 13's librust-*-dev packages, fetched with an apt
# configuration of its own, so the machine's sources, state and installed packages stay as they are.
install_virtiofsd() {
    installed_virtiofsd_is_current && return 0

    local missing=()
    for package in "${VIRTIOFSD_BUILD_PACKAGES[@]}"; do
        [ -n "$(package_version "$package")" ] || missing+=("$package")
    done
    if [ "${#missing[@]}" -gt 0 ]; then
        as_root apt-get update -qq
        as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
    fi

    local work="$BUILD/virtiofsd"
    local apt="$work/apt" crates="$work/crates" mirror
    mirror="$(apt_mirror_for_suite "$(debian_codename)")"
    if [ -z "$mirror" ]; then
        echo "No Debian mirror for $(debian_codename) in the apt sources; cannot fetch virtiofsd's crates." >&2
        exit 1
    fi
    rm -rf "$work"
    mkdir -p "$crates"
    write_private_apt_config "$apt" "$mirror" "$VIRTIOFSD_SOURCE_SUITE"
    echo "Building virtiofsd $VIRTIOFSD_SERIES from Debian $VIRTIOFSD_SOURCE_SUITE's crate packages"
    (
        export APT_CONFIG="$apt/apt.conf"
        apt-get update -qq
        apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks \
                --no-replaces --no-enhances librust-virtiofsd-dev \
            | grep '^librust-' | sort -u > "$apt/crate-packages"
        cd "$apt/debs"
        xargs apt-get download -qq < "$apt/crate-packages"
        for deb in *.deb; do dpkg-deb -x "$deb" "$crates"; done
    )
    local registry="$crates/usr/share/cargo/registry" source
    source="$(find "$registry" -maxdepth 1 -name "virtiofsd-$VIRTIOFSD_SERIES.*" | head -n 1)"
    if [ -z "$source" ]; then
        echo "Debian $VIRTIOFSD_SOURCE_SUITE has no virtiofsd $VIRTIOFSD_SERIES crate." >&2
        exit 1
    fi
    cp -r "$source" "$work/source"
    mkdir -p "$work/cargo-home"
    printf '[source.crates-io]\nreplace-with = "debian"\n[source.debian]\ndirectory = "%s"\n' "$registry" > "$work/cargo-home/config.toml"
    (
        cd "$work/source"
        # Warnings about the crate's own code are of no use to whoever runs the set-up.
        CARGO_HOME="$work/cargo-home" RUSTC=/usr/bin/rustc RUSTFLAGS=--cap-lints=allow /usr/bin/cargo build --release --offline --quiet
    )
    as_root install -D -m 0755 "$work/source/target/release/virtiofsd" "$VIRTIOFSD_PROGRAM"
    "$VIRTIOFSD_PROGRAM" --version
}

# The small arm64 Linux guest that the QEMU tests boot: Debian 12's arm64 kernel, a static
# busybox running scripts/linux-test-guest/init from an initramfs, and systemd-boot as the
# removable-media boot loader, on a FAT disk image that the AArch64 firmware boots as it is.
LINUX_TEST_GUEST_SUITE=bookworm
LINUX_TEST_GUEST_DIR="$BUILD/linux-test-guest"
LINUX_TEST_GUEST_MODULES=(
    drivers/virtio/virtio_pci_legacy_dev drivers/virtio/virtio_pci_modern_dev drivers/virtio/virtio_pci
    fs/fuse/fuse fs/fuse/virtiofs drivers/virtio/virtio_balloon
)

# Fetches the packages once, with an apt configuration of its own for arm64 (nothing is installed
# into this machine's dpkg), and rebuilds the disk image whenever the init script changed.
build_linux_test_guest() {
    local out="$LINUX_TEST_GUEST_DIR"
    local apt="$out/apt" packages="$out/packages" image="$out/disk.img"
    local init="$ROOT/scripts/linux-test-guest/init" stamp
    stamp="$(sha256sum "$init" | cut -d' ' -f1) ${LINUX_TEST_GUEST_MODULES[*]}"
    if [ -f "$image" ] && [ "$(cat "$out/image.stamp" 2>/dev/null)" = "$stamp" ]; then
        return 0
    fi
    # An image that does not match its init any more is no image: the tests must not boot it.
    rm -f "$image" "$out/image.stamp"

    if [ ! -f "$packages/.complete" ]; then
        local mirror
        mirror="$(apt_mirror_for_suite "$LINUX_TEST_GUEST_SUITE")"
        if [ -z "$mirror" ]; then
            echo "No Debian mirror for $LINUX_TEST_GUEST_SUITE in the apt sources; cannot fetch the Linux test guest's packages." >&2
            return 1
        fi
        rm -rf "$apt" "$packages"
        mkdir -p "$packages"
        write_private_apt_config "$apt" "$mirror" "$LINUX_TEST_GUEST_SUITE" arm64
        echo "Fetching the Linux test guest's packages from Debian $LINUX_TEST_GUEST_SUITE (arm64)"
        (
            export APT_CONFIG="$apt/apt.conf"
            apt-get update -qq
            local kernel
            kernel="$(apt-cache depends linux-image-arm64 | awk '/Depends: linux-image-/ { print $2; exit }')"
            [ -n "$kernel" ]
            cd "$apt/debs"
            apt-get download -qq "$kernel" busybox-static systemd-boot-efi
            for deb in *.deb; do dpkg-deb -x "$deb" "$packages"; done
        )
        touch "$packages/.complete"
    fi

    local kernel_image release
    kernel_image="$(find "$packages/boot" -maxdepth 1 -name 'vmlinuz-*' | head -n 1)"
    release="${kernel_image##*/vmlinuz-}"
    if [ -z "$kernel_image" ]; then
        echo "The Linux test guest's kernel package holds no kernel." >&2
        return 1
    fi

    local staging="$out/staging"
    rm -rf "$staging"
    mkdir -p "$staging/initramfs/bin" "$staging/initramfs/lib/modules"
    cp "$packages/bin/busybox" "$staging/initramfs/bin/busybox"
    cp "$init" "$staging/initramfs/init"
    chmod 0755 "$staging/initramfs/init"
    local module
    for module in "${LINUX_TEST_GUEST_MODULES[@]}"; do
        cp "$packages/lib/modules/$release/kernel/$module.ko" "$staging/initramfs/lib/modules/"
    done
    (cd "$staging/initramfs" && find . | LC_ALL=C sort | cpio -o -H newc --quiet --owner=0:0) | gzip -9 > "$staging/initrd.img"
    cp "$kernel_image" "$staging/vmlinuz"
    printf 'default test-guest.conf\ntimeout 0\n' > "$staging/loader.conf"
    printf 'title Linux test guest\nlinux /vmlinuz\ninitrd /initrd.img\noptions console=ttyAMA0 rdinit=/init panic=-1 quiet\n' > "$staging/test-guest.conf"

    # A FAT file system over the whole disk, no partition table: the firmware boots it as removable media.
    local disk="$staging/disk.img"
    truncate -s 64M "$disk"
    mkfs.vfat -F 32 -n TESTGUEST "$disk" > /dev/null
    (
        export MTOOLS_SKIP_CHECK=1
        mmd -i "$disk" ::/EFI ::/EFI/BOOT ::/loader ::/loader/entries
        mcopy -i "$disk" "$packages/usr/lib/systemd/boot/efi/systemd-bootaa64.efi" ::/EFI/BOOT/BOOTAA64.EFI
        mcopy -i "$disk" "$staging/vmlinuz" ::/vmlinuz
        mcopy -i "$disk" "$staging/initrd.img" ::/initrd.img
        mcopy -i "$disk" "$staging/loader.conf" ::/loader/loader.conf
        mcopy -i "$disk" "$staging/test-guest.conf" ::/loader/entries/test-guest.conf
    )
    mv "$staging/vmlinuz" "$staging/initrd.img" "$out/"
    mv "$disk" "$image"
    echo "$stamp" > "$out/image.stamp"
    rm -rf "$staging"
    echo "Linux test guest: $image (kernel $release)"
}

# The QEMU tests that boot the Linux guest fail when it is missing; the rest of the set-up goes on.
prepare_linux_test_guest() {
    if ! "$ROOT/scripts/dev.sh" linux-test-guest; then
        echo "The Linux test guest could not be built; the QEMU tests that boot it will fail." >&2
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
        install_qemu
        install_missing_packages
        install_virtiofsd
        build
        prepare_linux_test_guest
        exec "$BUILD/app/DuvuzodOvevav"
        ;;
    test)
        install_qemu
        install_missing_packages
        install_virtiofsd
        build
        prepare_linux_test_guest
        cd "$BUILD"
        # Under this command a missing Linux test guest fails its tests rather than skipping them.
        export ZOVOZU_REQUIRE_LINUX_TEST_GUEST=1
        # The QEMU tests emulate a whole machine; they run one at a time after the rest,
        # so that on a small machine they never compete with each other for the cores.
        ctest --output-on-failure --timeout 300 -j "$(nproc)" -LE qemu
        exec ctest --output-on-failure --timeout 300 -L qemu
        ;;
    sanitize)
        install_qemu
        install_missing_packages
        install_virtiofsd
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
    linux-test-guest)
        install_missing_packages
        build_linux_test_guest
        ;;
    *)
        echo "usage: $0 app|test|sanitize|linux-test-guest" >&2
        exit 2
        ;;
esac
