#!/usr/bin/env bash
# The engine's shared library, stripped, beside the other module players' libraries that
# Debian installs (the "bench" packages bring them): bytes on disk, and what each needs.
#
#   bench/xmengine_size.sh path/to/libxmengine.so
set -euo pipefail
(($# == 1)) || { echo "usage: $0 path/to/libxmengine.so" >&2; exit 2; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
printf '%-28s %10s  %s\n' library "stripped" "needs"
for library in "$(realpath "$1")" /usr/lib/x86_64-linux-gnu/libxmp.so.4 \
    /usr/lib/x86_64-linux-gnu/libopenmpt.so.0; do
    [[ -e "$library" ]] || continue
    strip -o "$work/stripped" "$(realpath "$library")"
    needed=$(objdump -p "$work/stripped" | awk '/NEEDED/ {print $2}' | tr '\n' ' ')
    printf '%-28s %10s  %s\n' "$(basename "$library")" "$(stat -c %s "$work/stripped")" "$needed"
done
