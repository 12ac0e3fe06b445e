#!/usr/bin/env bash
# Installs the Debian package in a copy of a fresh Debian 12 (a debootstrap minbase, by
# default at /var/tmp/fresh-base), runs the programs there and finds their man pages, removes
# the package again and checks that its files are gone and that autoremove leaves the same
# packages as before the install. Run as root; the copy is /var/tmp/pkgtest:
#
#   tests/deb_package_check.sh build/package/ordblind_1.0_amd64.deb [BASE]
set -euo pipefail
deb=$(realpath "$1")
base=${2:-/var/tmp/fresh-base}
root=/var/tmp/pkgtest
[[ -d "$base" ]] || { echo "no base system at $base" >&2; exit 2; }

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
cp "$deb" "$root/root/"
trap cleanup EXIT
mount -t proc proc "$root/proc"
mount --rbind /dev "$root/dev"

in_root() {
    env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
        DEBIAN_FRONTEND=noninteractive chroot "$root" /bin/bash -euo pipefail -c "$1"
}
in_root "
    apt-get update -q >/dev/null
    apt-get install -y -q --no-install-recommends man-db >/dev/null 2>&1
    dpkg-query -W -f='\${Package}\n' | sort >/root/before
    apt-get install -y -q /root/${deb##*/} 2>&1 | grep -E '^[0-9]+ upgraded'
    dpkg -L ordblind | while read -r f; do if [[ -f \"\$f\" ]]; then echo \"\$f\"; fi; done >/root/files
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
    apt-get remove -y -q ordblind >/dev/null
    left=\$(while read -r f; do if [[ -e \"\$f\" ]]; then echo \"\$f\"; fi; done </root/files)
    [[ -z \"\$left\" ]] || { echo \"left after apt remove: \$left\" >&2; exit 1; }
    echo \"apt remove: the \$(wc -l </root/files) files of the package are gone\"
    apt-get autoremove --purge -y -q >/dev/null
    dpkg-query -W -f='\${Package}\n' | sort >/root/after
    diff /root/before /root/after
    echo 'apt autoremove: the same packages as before the install'
"
echo "deb package check: passed"
