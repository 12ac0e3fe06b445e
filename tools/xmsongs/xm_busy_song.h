// A busy song for measuring the engine: all 32 channels play from the first row to the last,
// with 16-bit samples, forward and ping-pong loops, volume and panning envelopes (sustain,
// loop, fade-out), instrument vibrato and a few running effects. About 46 seconds long before
// it loops. Its notes stay well inside the playable range, so that it measures the common
// case rather than the edges.
#pragma once
#include <cmath>
#include <cstdint>
#include <vector>

#include "xm_builder.h"

namespace busysong {

constexpr double kPi = 3.14159265358979323846;

// sin(2 pi phase) for a phase in [0, 1), from a polynomial: only basic arithmetic, so that the
// samples are the same bytes on every machine and C library.
inline double sine(double phase) {
    const double x = 2.0 * kPi * phase - kPi;  // -pi .. pi, where sin(x + pi) = -sin(x)
    const double x2 = x * x;
    double term = x, sum = x;
    for (int n = 1; n <= 8; ++n) {
        term = -term * x2 / double((2 * n) * (2 * n + 1));
        sum += term;
    }
    return -sum;
}

// length values of a waveform with the given period, from the sum of harmonics with the given
// amplitudes, scaled to peak near 30000.
inline std::vector<int16_t> harmonics(int length, int period, std::vector<double> amplitudes) {
    std::vector<int16_t> values(static_cast<size_t>(length));
    double sum = 0.0;
    for (double a : amplitudes)
        sum += a;
    for (int k = 0; k < length; ++k) {
        double v = 0.0;
        for (size_t h = 0; h < amplitudes.size(); ++h)
            v += amplitudes[h] * sine(double((int(h + 1) * k) % period) / period);
        values[size_t(k)] = int16_t(std::lround(30000.0 * v / sum));
    }
    return values;
}

// A decaying noise burst from a fixed linear congruential generator.
inline std::vector<int16_t> noiseBurst(int length) {
    std::vector<int16_t> values(static_cast<size_t>(length));
    uint32_t state = 12345;
    double gain = 1.8;
    for (int k = 0; k < length; ++k) {
        state = state * 1103515245u + 12345u;
        const int32_t noise = int32_t((state >> 16) & 0x7FFF) - 16384;
        values[size_t(k)] = int16_t(std::lround(gain * noise));
        gain *= 0.99967;
    }
    return values;
}

// A 16-bit sample at a volume that leaves room for 32 channels.
inline XmSample sixteenBit(XmSample sample) {
    sample.sixteenBit = true;
    sample.volume = 11;
    return sample;
}

}  // namespace busysong

inline std::vector<uint8_t> busySong() {
    using namespace busysong;
    XmSong song;
    song.channels = 32;
    song.speed = 6;
    song.bpm = 125;
    song.orders = {0, 1, 2, 3, 1, 2};
    song.restartPosition = 1;

    // 1 pad: ping-pong loop, volume envelope with sustain, looping panning envelope, fade-out.
    XmInstrument& pad = song.addInstrument(
        sixteenBit(XmSample::pingPongLoop(harmonics(4096, 64, {1.0, 0.5, 0.33, 0.2}), 1024, 3072)));
    pad.volumeEnvelope =
        XmEnvelope::of({{0, 0}, {8, 64}, {30, 40}, {80, 0}}, kXmEnvelopeOn | kXmEnvelopeSustain, 2);
    pad.panningEnvelope = XmEnvelope::of({{0, 32}, {20, 10}, {40, 54}, {60, 32}},
                                         kXmEnvelopeOn | kXmEnvelopeLoop, 0, 0, 3);
    pad.fadeout = 400;
    // 2 bass: forward loop over the whole sample, a looping volume envelope.
    XmInstrument& bass = song.addInstrument(
        sixteenBit(XmSample::forwardLoop(harmonics(2048, 64, {1.0, 0.7, 0.2}), 0, 2048)));
    bass.volumeEnvelope =
        XmEnvelope::of({{0, 64}, {10, 44}, {20, 64}}, kXmEnvelopeOn | kXmEnvelopeLoop, 0, 0, 2);
    // 3 lead: a short ping-pong loop, instrument vibrato, sustain and fade-out.
    XmInstrument& lead = song.addInstrument(sixteenBit(
        XmSample::pingPongLoop(harmonics(512, 32, {1.0, 0.0, 0.33, 0.0, 0.2}), 128, 384)));
    lead.volumeEnvelope =
        XmEnvelope::of({{0, 64}, {6, 50}, {40, 20}}, kXmEnvelopeOn | kXmEnvelopeSustain, 1);
    lead.fadeout = 1200;
    lead.vibratoType = 0;
    lead.vibratoSweep = 20;
    lead.vibratoDepth = 6;
    lead.vibratoRate = 40;
    // 4 drum: a one-shot noise burst, re-struck before it ends.
    song.addInstrument(sixteenBit(XmSample::oneShot(noiseBurst(12000))));
    // 5 strings: a long ping-pong loop and a panning envelope with sustain.
    XmInstrument& strings = song.addInstrument(sixteenBit(
        XmSample::pingPongLoop(harmonics(6000, 48, {1.0, 0.6, 0.45, 0.3, 0.2}), 2000, 4000)));
    strings.volumeEnvelope = XmEnvelope::of({{0, 20}, {40, 64}}, kXmEnvelopeOn);
    strings.panningEnvelope =
        XmEnvelope::of({{0, 0}, {30, 64}, {50, 32}}, kXmEnvelopeOn | kXmEnvelopeSustain, 1);
    // 6 bell: a tiny forward loop with a decaying envelope.
    XmInstrument& bell =
        song.addInstrument(sixteenBit(XmSample::forwardLoop(harmonics(64, 16, {1.0, 0.4}), 0, 64)));
    bell.volumeEnvelope = XmEnvelope::of({{0, 64}, {4, 48}, {60, 8}}, kXmEnvelopeOn);

    // Chord roots of the four patterns (XM notes: 49 is C-4) and the chord's intervals.
    const int roots[4] = {49, 46, 41, 43};
    const int chord[8] = {0, 4, 7, 12, 16, 19, 24, -12};
    for (int p = 0; p < 4; ++p) {
        XmPattern& pattern = song.addPattern(64);
        const int root = roots[p];
        auto note = [](int n) { return uint8_t(n < 13 ? 13 : n > 84 ? 84 : n); };
        for (int row = 0; row < 64; ++row) {
            for (int ch = 0; ch < 8; ++ch) {  // pads: chords held for half a pattern
                if (row % 32 == 0) pattern.at(row, ch) = {note(root + chord[ch] - 12), 1};
                if (row % 32 == 16 && ch % 2 == 0) pattern.at(row, ch) = {0, 0, 0, 0x0A, 0x01};
                if (row % 32 == 30) pattern.at(row, ch) = {97};  // released: fade-out
            }
            for (int ch = 8; ch < 12; ++ch) {  // bass: every four rows, now and then a glide
                if (row % 4 != (ch - 8) % 4) continue;
                const int n = root - 24 + ((row / 4) % 3 == 2 ? 7 : 0) + (ch - 8) * 12;
                XmCell cell = {note(n), 2};
                if (row % 16 == 12) cell.effect = 0x03, cell.parameter = 0x20;
                pattern.at(row, ch) = cell;
            }
            for (int ch = 12; ch < 20; ++ch) {  // lead: arpeggiated runs with vibrato
                if (row % 2 != ch % 2) continue;
                const int n = root + chord[(row / 2 + ch) % 7];
                pattern.at(row, ch) = {note(n), 3, uint8_t(0x10 + 8 + (ch - 12) * 2), 0x04,
                                       uint8_t(0x40 + ch % 8)};
            }
            for (int ch = 20; ch < 24; ++ch) {  // drums: struck every eight rows, staggered
                if (row % 8 == (ch - 20) * 2) pattern.at(row, ch) = {note(37 + (ch - 20) * 7), 4};
            }
            for (int ch = 24; ch < 28; ++ch) {  // strings: held, sliding in volume
                if (row == 0) pattern.at(row, ch) = {note(root + chord[ch - 24]), 5, 0x1C};
                if (row == 8) pattern.at(row, ch) = {0, 0, 0, 0x0A, 0x20};
                if (row == 40) pattern.at(row, ch) = {0, 0, 0, 0x0A, 0x02};
            }
            for (int ch = 28; ch < 32; ++ch) {  // bells: every three rows, panned about
                if (row % 3 != (ch - 28) % 3) continue;
                const int n = root + 12 + chord[(row + ch) % 6];
                pattern.at(row, ch) = {note(n), 6, 0, 0x08, uint8_t((row * 37 + ch * 50) % 256)};
            }
        }
    }
    return buildXm(song);
}
