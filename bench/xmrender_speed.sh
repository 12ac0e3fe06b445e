#!/usr/bin/env bash
# Rendering speed of xmrender beside xmp (linear interpolation) and openmpt123 (2-tap filter),
# in seconds of audio per second of wall time, on the same songs in the same run.
#
#   bench/xmrender_speed.sh [-n RUNS] path/to/xmrender SONG.xm...
#
# Each renderer writes a WAV of the song's own length (its own idea of where the song ends);
# the speed divides that length by the wall time of the whole command, start-up included. The
# runs of the three renderers are interleaved, and the median and the best of RUNS runs are
# shown, so that a busy machine shows as a spread between the two.
set -euo pipefail

runs=7
if [[ "${1:-}" == "-n" ]]; then
    runs=$2
    shift 2
fi
if (($# < 2)); then
    echo "usage: $0 [-n RUNS] path/to/xmrender SONG.xm..." >&2
    exit 2
fi
xmrender=$(realpath "$1")
shift
for tool in xmp openmpt123 python3; do
    command -v "$tool" >/dev/null || { echo "$0: $tool is not installed" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Seconds of audio in a WAV file of any sample format.
audio_seconds() {
    python3 -c 'import sys, wave
w = wave.open(sys.argv[1]); print(w.getnframes() / w.getframerate())' "$1" 2>/dev/null ||
        python3 - "$1" <<'EOF'
import struct, sys
data = open(sys.argv[1], "rb").read()
rate = struct.unpack_from("<I", data, 24)[0]
block = struct.unpack_from("<H", data, 32)[0]
at = data.find(b"data")
print(struct.unpack_from("<I", data, at + 4)[0] / block / rate)
EOF
}

# Wall time of a command in seconds.
wall() {
    local start end
    start=$(date +%s.%N)
    "$@" >/dev/null 2>&1
    end=$(date +%s.%N)
    awk -v s="$start" -v e="$end" 'BEGIN { printf "%.6f\n", e - s }'
}

summary() {  # audio seconds, then wall times
    python3 - "$@" <<'EOF'
import statistics, sys
audio = float(sys.argv[1])
times = [float(t) for t in sys.argv[2:]]
print(f"{audio:7.1f} s of audio   median {statistics.median(times) * 1000:7.1f} ms "
      f"({audio / statistics.median(times):6.0f}x)   best {min(times) * 1000:7.1f} ms "
      f"({audio / min(times):6.0f}x)")
EOF
}

for song in "$@"; do
    name=$(basename "$song")
    cp "$song" "$work/$name"
    ours=() xmp_times=() mpt_times=()
    for ((i = 0; i < runs; ++i)); do
        ours+=("$(wall "$xmrender" "$work/$name" -o "$work/ours.wav")")
        xmp_times+=("$(wall xmp -q --nocmd -f 44100 -b 16 -i linear -o "$work/xmp.wav" \
            "$work/$name")")
        mpt_times+=("$(wall openmpt123 -q --force --render --filter 2 "$work/$name")")
    done
    echo "$name"
    printf '  xmrender     %s\n' "$(summary "$(audio_seconds "$work/ours.wav")" "${ours[@]}")"
    printf '  xmp linear   %s\n' "$(summary "$(audio_seconds "$work/xmp.wav")" "${xmp_times[@]}")"
    printf '  openmpt123   %s\n' \
        "$(summary "$(audio_seconds "$work/$name.wav")" "${mpt_times[@]}")"
done
