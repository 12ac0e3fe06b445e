#!/usr/bin/env bash
# Processor time of a full-screen program while it runs: the program in a tmux pane of each
# size, with SDL's dummy sound driver, for SECONDS (default 20) after START seconds of start-up
# (default 1); user plus system time from /proc/PID/stat, as a share of one core.
#
#   bench/pane_cpu.sh [-s SECONDS] [-w START] SIZES PROGRAM [ARGUMENT...]
#
#   bench/pane_cpu.sh 80x50,80x24 build/default/demo
#   bench/pane_cpu.sh -w 2 80x25,132x43,200x60 build/default/tools/xmplay/xmplay --loop SONG.xm
#
# For xmplay, xmcorpus writes busy_32_channels.xm, a song that keeps all 32 channels and the
# pattern view busy: build/default/tools/xmcorpus/xmcorpus DIR.
set -euo pipefail

seconds=20
start_seconds=1
while [[ "${1:-}" == -* ]]; do
    case "$1" in
        -s) seconds=$2 ;;
        -w) start_seconds=$2 ;;
        *) break ;;
    esac
    shift 2
done
if (($# < 2)); then
    echo "usage: $0 [-s SECONDS] [-w START] SIZES PROGRAM [ARGUMENT...]" >&2
    exit 2
fi
IFS=, read -r -a sizes <<<"$1"
program=("$(realpath "$2")")
shift 2
for argument in "$@"; do
    # Files among the arguments are named in full: the pane starts in another folder.
    if [[ -e "$argument" ]]; then program+=("$(realpath "$argument")"); else program+=("$argument"); fi
done
socket="pane-cpu-$$"
trap 'tmux -L "$socket" kill-server 2>/dev/null || true' EXIT
ticks=$(getconf CLK_TCK)
# A session that outlives the measured ones keeps the server up between them.
tmux -L "$socket" new-session -d -s keep "sleep 3600"

# utime + stime of a process, in clock ticks (fields 14 and 15 of /proc/PID/stat, counted
# after the command name, which may hold spaces).
cpu_ticks() {
    local stat
    stat=$(<"/proc/$1/stat")
    stat=${stat##*) }
    read -r -a fields <<<"$stat"
    echo $((fields[11] + fields[12]))
}

printf '%-9s %12s %12s %10s\n' size "cpu seconds" "wall seconds" "one core"
for size in "${sizes[@]}"; do
    columns=${size%x*}
    rows=${size#*x}
    tmux -L "$socket" new-session -d -x "$columns" -y "$rows" -s "s$size" \
        "env COLORTERM=truecolor SDL_AUDIODRIVER=dummy TERM=tmux-256color ${program[*]@Q}"
    sleep "$start_seconds"
    pid=$(tmux -L "$socket" display -p -t "s$size" '#{pane_pid}')
    before=$(cpu_ticks "$pid")
    start=$(date +%s.%N)
    sleep "$seconds"
    after=$(cpu_ticks "$pid")
    end=$(date +%s.%N)
    tmux -L "$socket" kill-session -t "s$size"
    awk -v size="$size" -v t=$((after - before)) -v hz="$ticks" -v s="$start" -v e="$end" \
        'BEGIN { printf "%-9s %12.2f %12.2f %9.2f%%\n", size, t / hz, e - s, 100 * t / hz / (e - s) }'
done
