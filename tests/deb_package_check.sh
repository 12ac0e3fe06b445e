#!/usr/bin/env bash
# Installs the Debian packages in a copy of a fresh Debian 12 (a debootstrap minbase, by
# default at /var/tmp/fresh-base), runs the programs there and finds their man pages, builds
# the README's example against the library packages with pkg-config and checks that its WAV
# file is xmrender's, purges the packages again and checks that their files are gone and that
# autoremove leaves the same packages as before the install. Run as root; the copy is
# /var/tmp/pkgtest:
#
#   tests/deb_package_check.sh build/package [BASE]
#
# build/package holds ordblind_*.deb, libxmengine1_*.deb and libxmengine-dev_*.deb, as
# `cmake --workflow --preset package` writes them.
set -euo pipefail
packages=$(realpath "$1")
base=${2:-/var/tmp/fresh-base}
root=/var/tmp/pkgtest
source_dir=$(cd "$(dirname "$0")/.." && pwd)
[[ -d "$base" ]] || { echo "no base system at $base" >&2; exit 2; }
debs=()
for name in ordblind libxmengine1 libxmengine-dev; do
    deb=$(ls "$packages"/"$name"_*.deb 2>/dev/null | head -1)
    [[ -n "$deb" ]] || { echo "no ${name}_*.deb in $packages" >&2; exit 2; }
    debs+=("$deb")
done

cleanup() {
    umount -l "$root/proc" 2>/dev/null || true
    umount -l "$root/dev" 2>/dev/null || true
}
cleanup
if grep -q " $root/" /proc/mounts; then
    echo "$root still has mounts under it" >&2
    exit 2
fi
rm -rf "$root"
cp -a "$base" "$root"
cp /etc/resolv.conf "$root/etc/resolv.conf"
mkdir -p "$root/root/debs"
cp "${debs[@]}" "$root/root/debs/"
cp "$source_dir/examples/render_wav.c" "$root/root/"
trap cleanup EXIT
mount -t proc proc "$root/proc"
mount --rbind /dev "$root/dev"

in_root() {
    env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
        DEBIAN_FRONTEND=noninteractive chroot "$root" /bin/bash -euo pipefail -c "$1"
}
in_root "
    apt-get update -q >/dev/null
    apt-get install -y -q --no-install-recommends man-db gcc libc6-dev pkg-config cmake make \
        >/dev/null 2>&1
    dpkg-query -W -f='\${Package}\n' | sort >/root/before
    apt-get install -y -q /root/debs/*.deb 2>&1 | grep -E '^[0-9]+ upgraded'
    for package in ordblind libxmengine1 libxmengine-dev; do
        dpkg -L \$package | while read -r f; do if [[ -f \"\$f\" || -L \"\$f\" ]]; then echo \"\$f\"; fi; done
    done >/root/files
    cat /root/files
    demo --version
    xmrender --help | head -1
    xmplay --version
    democapture --assets /tmp/assets
    xmrender /tmp/assets/song.xm --seconds 2 -o /tmp/song.wav
    democapture --frames 1:1 --png /tmp/png
    ls -l /tmp/song.wav /tmp/png/frame_00001.png
    (SDL_AUDIODRIVER=dummy timeout 2 xmplay /tmp/assets/song.xm >/tmp/xmplay.txt || true)
    cat /tmp/xmplay.txt
    man -w demo democapture xmrender xmplay

    # The example, as the README builds it, against the packages: shared, then static through
    # CMake's package; both must write xmrender's WAV.
    cd /root
    cc -std=c99 -Wall -Wextra -pedantic -Werror render_wav.c \$(pkg-config --cflags --libs xmengine) -o render_wav
    ./render_wav /tmp/assets/song.xm /tmp/example.wav | tail -1
    xmrender /tmp/assets/song.xm -o /tmp/xmrender.wav
    cmp /tmp/example.wav /tmp/xmrender.wav
    mkdir -p consumer && cd consumer
    printf '%s\n' 'cmake_minimum_required(VERSION 3.16)' 'project(consumer C)' \
        'find_package(xmengine 1.0 CONFIG REQUIRED)' 'add_executable(render_wav ../render_wav.c)' \
        'target_link_libraries(render_wav PRIVATE xmengine::static)' >CMakeLists.txt
    cmake -S . -B build >/dev/null && cmake --build build >/dev/null
    build/render_wav /tmp/assets/song.xm /tmp/example-static.wav >/dev/null
    cmp /tmp/example-static.wav /tmp/xmrender.wav
    echo 'the example built against the packages (pkg-config, CMake) writes what xmrender writes'
    cd /root

    apt-get purge -y -q ordblind libxmengine-dev libxmengine1 >/dev/null
    left=\$(while read -r f; do if [[ -e \"\$f\" || -L \"\$f\" ]]; then echo \"\$f\"; fi; done </root/files)
    [[ -z \"\$left\" ]] || { echo \"left after apt purge: \$left\" >&2; exit 1; }
    echo \"apt purge: the \$(wc -l </root/files) files of the packages are gone\"
    apt-get autoremove --purge -y -q >/dev/null
    dpkg-query -W -f='\${Package}\n' | sort >/root/after
    diff /root/before /root/after
    echo 'apt autoremove: the same packages as before the install'
"
echo "deb package check: passed"
