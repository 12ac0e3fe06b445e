#!/usr/bin/env bash
# Speed of democapture over the first 110 seconds of the demo (frames 1 to 2750): the wall
# time of each kind of output, as a multiple of real time, the median and the best of RUNS.
#
#   bench/democapture_speed.sh [-n RUNS] path/to/democapture
set -euo pipefail

runs=5
if [[ "${1:-}" == "-n" ]]; then
    runs=$2
    shift 2
fi
if (($# != 1)); then
    echo "usage: $0 [-n RUNS] path/to/democapture" >&2
    exit 2
fi
capture=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

wall() {
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s.%N)
    awk -v s="$start" -v e="$end" 'BEGIN { printf "%.6f\n", e - s }'
}

measure() {  # label, then the output options
    local label=$1
    shift
    local times=()
    for ((i = 0; i < runs; ++i)); do
        rm -rf "$work/out" && mkdir -p "$work/out"
        times+=("$(wall "$capture" --frames 1:2750 "$@")")
    done
    python3 - "$label" "${times[@]}" <<'PY'
import statistics, sys
label, times = sys.argv[1], [float(t) for t in sys.argv[2:]]
median, best = statistics.median(times), min(times)
print(f"{label:18} median {median:7.2f} s ({110 / median:6.1f}x real time)   "
      f"best {best:7.2f} s ({110 / best:6.1f}x)")
PY
}

measure "cells + wav" --cells "$work/out/frames.cells" --wav "$work/out/music.wav"
measure "png" --png "$work/out/png"
if command -v ffmpeg >/dev/null; then
    measure "video" --video "$work/out/demo.mp4"
fi
