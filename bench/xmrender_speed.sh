#!/usr/bin/env bash
# Rendering speed of xmrender beside xmp (linear interpolation) and openmpt123 (2-tap filter)
# on the same songs in the same run: CPU time (user + system) and wall time of each whole
# command, start-up included, as medians over interleaved runs.
#
#   bench/xmrender_speed.sh [-n RUNS] [-s SECONDS] [-c OTHER_XMRENDER] path/to/xmrender [SONG.xm...]
#
# -c adds another build of xmrender (an earlier commit's, say) to the runs, as "xmrender -c".
#
# Without songs it plays njam-data's dali.xm and satisfy.xm, the demo's own song and the busy
# song of 32 channels that xmcorpus writes (the xmcorpus beside xmrender in the build tree).
# Every renderer plays the same number of seconds of each song into a WAV file at 44100 Hz,
# 16-bit stereo, on a RAM disk where there is one: the song's length up to its loop as xmrender
# finds it, rounded up to whole seconds (the others stop at whole seconds), or SECONDS. Songs
# shorter than that are looped by all three. The runs go round the renderers in turn, so a
# change in the machine's load falls on all of them alike; the CPU time is the figure to
# compare (median, and the best run), the wall time shows how busy the machine was. The last
# column divides xmp's median CPU time by the renderer's: above 1 is faster than xmp. On a
# shared or virtual machine a run now and then takes half as long again (a busy neighbour on
# the same core): compare the medians of runs taken at a quiet time.
set -euo pipefail

runs=7
fixed_seconds=""
other=""
while [[ "${1:-}" == -* ]]; do
    case "$1" in
        -n) runs=$2 ;;
        -s) fixed_seconds=$2 ;;
        -c) other=$(realpath "$2") ;;
        *) echo "usage: $0 [-n RUNS] [-s SECONDS] [-c OTHER_XMRENDER] path/to/xmrender [SONG.xm...]" >&2; exit 2 ;;
    esac
    shift 2
done
if (($# < 1)); then
    echo "usage: $0 [-n RUNS] [-s SECONDS] [-c OTHER_XMRENDER] path/to/xmrender [SONG.xm...]" >&2
    exit 2
fi
xmrender=$(realpath "$1")
shift
for tool in xmp openmpt123 python3; do
    command -v "$tool" >/dev/null || { echo "$0: $tool is not installed" >&2; exit 1; }
done

work=$(mktemp -d -p "$([[ -d /dev/shm ]] && echo /dev/shm || echo "${TMPDIR:-/tmp}")")
trap 'rm -rf "$work"' EXIT

songs=("$@")
if ((${#songs[@]} == 0)); then
    source_dir=$(cd "$(dirname "$0")/.." && pwd)
    xmcorpus="$(dirname "$xmrender")/../xmcorpus/xmcorpus"
    [[ -x "$xmcorpus" ]] || { echo "$0: no xmcorpus beside $xmrender" >&2; exit 1; }
    mkdir "$work/corpus"
    "$xmcorpus" "$work/corpus"
    songs=(/usr/share/games/njam/data/dali.xm /usr/share/games/njam/data/satisfy.xm
           "$source_dir/src/data/song.xm" "$work/corpus/busy_32_channels.xm")
fi

# Runs a command with its output thrown away and prints its wall time and its CPU time (user +
# system, of the command and everything it waited for), in seconds.
timed() {
    python3 - "$@" <<'EOF'
import os, resource, subprocess, sys, time
before = resource.getrusage(resource.RUSAGE_CHILDREN)
start = time.perf_counter()
subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
wall = time.perf_counter() - start
after = resource.getrusage(resource.RUSAGE_CHILDREN)
cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
print(f"{wall:.6f} {cpu:.6f}")
EOF
}

# Seconds of audio in a WAV file of any sample format.
audio_seconds() {
    python3 - "$1" <<'EOF'
import struct, sys
data = open(sys.argv[1], "rb").read()
rate = struct.unpack_from("<I", data, 24)[0]
block = struct.unpack_from("<H", data, 32)[0]
at = data.find(b"data")
print(f"{struct.unpack_from('<I', data, at + 4)[0] / block / rate:.2f}")
EOF
}

printf '%s CPU(s), load average %s\n' "$(nproc)" "$(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-22s %-12s %8s %10s %9s %10s %10s %9s\n' song renderer audio "CPU ms" "best" \
    "wall ms" "x realtime" "xmp/this"
for song in "${songs[@]}"; do
    name=$(basename "$song")
    cp "$song" "$work/$name"
    seconds=$fixed_seconds
    if [[ -z "$seconds" ]]; then
        "$xmrender" "$work/$name" -o "$work/length.wav" >/dev/null
        seconds=$(python3 -c 'import math, sys; print(math.ceil(float(sys.argv[1]) - 1e-9))' \
            "$(audio_seconds "$work/length.wav")")
    fi
    commands=(
        "xmrender|$xmrender $work/$name --seconds $seconds -o $work/xmrender.wav|xmrender.wav"
        "xmp linear|xmp -q --nocmd -l -t $seconds -f 44100 -b 16 -i linear -o $work/xmp.wav $work/$name|xmp.wav"
        "openmpt123|openmpt123 -q --render --force --filter 2 --samplerate 44100 --no-float --repeat -1 --end-time $seconds $work/$name|$name.wav"
    )
    if [[ -n "$other" ]]; then
        commands+=("xmrender -c|$other $work/$name --seconds $seconds -o $work/other.wav|other.wav")
    fi
    declare -A walls=() cpus=()
    for ((i = 0; i < runs; ++i)); do
        for entry in "${commands[@]}"; do
            IFS='|' read -r label command _ <<<"$entry"
            # shellcheck disable=SC2086  # the command line is split into its words on purpose
            read -r wall cpu < <(timed $command)
            walls[$label]+="$wall "
            cpus[$label]+="$cpu "
        done
    done
    xmp_cpu=$(python3 -c 'import statistics, sys; print(statistics.median(map(float, sys.argv[1].split())))' \
        "${cpus["xmp linear"]}")
    for entry in "${commands[@]}"; do
        IFS='|' read -r label _ output <<<"$entry"
        python3 - "$name" "$label" "$(audio_seconds "$work/$output")" "$xmp_cpu" \
            "${cpus[$label]}" "${walls[$label]}" <<'EOF'
import statistics, sys
name, label, audio, xmp = sys.argv[1], sys.argv[2], float(sys.argv[3]), float(sys.argv[4])
cpus = [float(t) for t in sys.argv[5].split()]
cpu = statistics.median(cpus)
wall = statistics.median(map(float, sys.argv[6].split()))
print(f"{name:22.22} {label:12} {audio:7.2f}s {cpu * 1000:10.1f} {min(cpus) * 1000:9.1f} "
      f"{wall * 1000:10.1f} {audio / cpu:9.0f}x {xmp / cpu:9.2f}")
EOF
    done
    unset walls cpus
done
