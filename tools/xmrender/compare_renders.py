#!/usr/bin/env python3
"""Compares two renders of one song: loudness per second and the timing of note onsets.

usage: compare_renders.py OURS.wav REFERENCE.wav [--seconds N]

Both files must be 16-bit PCM WAVs at one rate (mono or stereo). The report gives:
- the lengths;
- the loudness of each second (RMS in dB of full scale) side by side, with the level
  difference; a constant difference is a different master volume, what matters is how much it
  varies from second to second;
- onsets (sharp rises of the short-time energy) found in each render, how many of ours have a
  reference onset within 25 ms, and their mean time offset; and the lag that best aligns the
  onset curves in windows of 10 seconds, so that a tempo drift shows as a growing lag.
Only the Python standard library is used.
"""
import array
import math
import statistics
import sys
import wave

HOP = 441  # 10 ms at 44100 Hz


def read_mono(path, seconds):
    with wave.open(path) as w:
        if w.getsampwidth() != 2:
            sys.exit(f"{path}: not 16-bit PCM")
        rate, channels = w.getframerate(), w.getnchannels()
        frames = w.getnframes()
        if seconds:
            frames = min(frames, int(seconds * rate))
        data = array.array("h", w.readframes(frames))
    if sys.byteorder == "big":
        data.byteswap()
    if channels == 1:
        return rate, [float(x) for x in data]
    return rate, [(data[i] + data[i + 1]) * 0.5 for i in range(0, len(data) - 1, channels)]


def db(rms):
    return 20 * math.log10(rms / 32768) if rms > 0 else -120.0


def rms_per(samples, size):
    out = []
    for start in range(0, len(samples) - size + 1, size):
        chunk = samples[start:start + size]
        out.append(math.sqrt(sum(x * x for x in chunk) / size))
    return out


def onset_curve(samples):
    """Positive change of the log energy of the high-passed signal, one value every 10 ms."""
    diff = [samples[i] - samples[i - 1] for i in range(1, len(samples))]
    energy = rms_per(diff, HOP)
    logs = [math.log10(e * e + 1.0) for e in energy]
    return [max(0.0, logs[i] - logs[i - 1]) if i else 0.0 for i in range(len(logs))]


def onsets(curve):
    """Local maxima of the curve well above its typical level, at least 50 ms apart."""
    positive = sorted(c for c in curve if c > 0)
    if not positive:
        return []
    threshold = max(0.3, positive[int(len(positive) * 0.9)] * 0.5)
    found = []
    for i in range(1, len(curve) - 1):
        if curve[i] >= threshold and curve[i] >= curve[i - 1] and curve[i] > curve[i + 1]:
            if not found or i - found[-1] >= 5:
                found.append(i)
    return found


def best_lag(a, b, start, length, reach=20):
    """The shift of b (in 10 ms steps) that best matches a over one window."""
    best, best_score = 0, -1.0
    for lag in range(-reach, reach + 1):
        score = 0.0
        for i in range(start, start + length):
            j = i + lag
            if 0 <= j < len(b) and i < len(a):
                score += a[i] * b[j]
        if score > best_score:
            best, best_score = lag, score
    return best


def main():
    args = sys.argv[1:]
    seconds = 0.0
    if "--seconds" in args:
        k = args.index("--seconds")
        seconds = float(args[k + 1])
        del args[k:k + 2]
    if len(args) != 2:
        sys.exit(__doc__)
    rate_a, ours = read_mono(args[0], seconds)
    rate_b, ref = read_mono(args[1], seconds)
    if rate_a != rate_b:
        sys.exit("the two renders have different rates")
    print(f"lengths: ours {len(ours) / rate_a:.2f} s, reference {len(ref) / rate_b:.2f} s")

    loud_a = [db(r) for r in rms_per(ours, rate_a)]
    loud_b = [db(r) for r in rms_per(ref, rate_b)]
    n = min(len(loud_a), len(loud_b))
    diffs = [loud_a[i] - loud_b[i] for i in range(n) if loud_a[i] > -60 and loud_b[i] > -60]
    print("second  ours dB  ref dB  difference")
    for i in range(n):
        print(f"{i:6d}  {loud_a[i]:7.1f} {loud_b[i]:7.1f}  {loud_a[i] - loud_b[i]:+6.1f}")
    if diffs:
        median = statistics.median(diffs)
        spread = statistics.median(abs(d - median) for d in diffs)
        worst = max(abs(d - median) for d in diffs)
        print(f"level difference: median {median:+.1f} dB, median deviation {spread:.1f} dB, "
              f"largest deviation {worst:.1f} dB")

    curve_a, curve_b = onset_curve(ours), onset_curve(ref)
    on_a, on_b = onsets(curve_a), onsets(curve_b)
    matched, offsets = 0, []
    j = 0
    for t in on_a:
        while j < len(on_b) and on_b[j] < t - 3:
            j += 1
        candidates = [u for u in on_b[j:j + 3] if abs(u - t) <= 2]
        if candidates:
            matched += 1
            offsets.append(min(candidates, key=lambda u: abs(u - t)) - t)
    print(f"onsets: ours {len(on_a)}, reference {len(on_b)}; "
          f"{matched} of ours within 25 ms of a reference onset"
          + (f", mean offset {10 * statistics.mean(offsets):+.1f} ms" if offsets else ""))
    window = 1000  # 10 s
    lags = []
    for start in range(0, min(len(curve_a), len(curve_b)) - window + 1, window):
        lags.append(10 * best_lag(curve_a, curve_b, start, window))
    print("alignment lag per 10 s window (ms, reference later when positive):",
          " ".join(f"{lag:+d}" for lag in lags))


if __name__ == "__main__":
    main()
