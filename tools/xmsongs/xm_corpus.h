// A handful of small, well-formed XM images that between them use every part of the format
// the loader reads: the seed corpus of the loader's fuzzer, and the images the loader tests
// cut short at every length.
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "xm_builder.h"

inline std::vector<std::pair<std::string, std::vector<uint8_t>>> seedCorpus() {
    std::vector<std::pair<std::string, std::vector<uint8_t>>> corpus;

    {  // One channel, one empty pattern, no instrument.
        XmSong song;
        song.channels = 1;
        song.addPattern(1).packed = std::vector<uint8_t>{};
        corpus.emplace_back("minimal", buildXm(song));
    }
    {  // Notes, effects and both cell forms; an 8-bit forward loop and a 16-bit ping-pong.
        XmSong song;
        song.channels = 2;
        song.orders = {0, 1, 0};
        song.restartPosition = 1;
        XmPattern& a = song.addPattern(8);
        a.at(0, 0) = {49, 1, 0x40, 0x0F, 0x03};
        a.at(0, 1) = {61, 2, 0, 0x04, 0x44};
        a.at(4, 0) = {97};
        a.at(5, 1) = {0, 0, 0xC8, 0x0E, 0x62};
        XmPattern& b = song.addPattern(4);
        b.compress = false;
        b.at(1, 0) = {50, 1, 0x20, 0x0A, 0x0F};
        XmInstrument& lead = song.addInstrument(
            XmSample::forwardLoop({0, 30, 60, 90, 60, 30, 0, -30, -60, -90, -60, -30}, 2, 10));
        lead.volumeEnvelope = XmEnvelope::of({{0, 64}, {8, 40}, {20, 0}},
                                             kXmEnvelopeOn | kXmEnvelopeSustain, 1, 0, 1);
        lead.panningEnvelope =
            XmEnvelope::of({{0, 32}, {4, 48}, {8, 16}}, kXmEnvelopeOn | kXmEnvelopeLoop, 0, 0, 2);
        lead.fadeout = 300;
        lead.vibratoType = 1;
        lead.vibratoDepth = 4;
        lead.vibratoRate = 8;
        XmSample bass = XmSample::pingPongLoop({0, 4000, 8000, 4000, 0, -4000, -8000}, 1, 5);
        bass.sixteenBit = true;
        song.addInstrument(bass);
        corpus.emplace_back("two_instruments", buildXm(song));
    }
    {  // The order table names patterns that are not stored; an instrument without samples.
        XmSong song;
        song.channels = 3;
        song.orders = {0, 2, 3};
        song.addPattern(2).at(1, 2) = {13, 1};
        song.addInstrument();
        song.addInstrument(XmSample::oneShot({10, -10, 20, -20}));
        corpus.emplace_back("missing_patterns", buildXm(song));
    }
    {  // Several samples in one instrument, mapped to different notes; an odd 16-bit length.
        XmSong song;
        song.channels = 1;
        song.addPattern(1).at(0, 0) = {25, 1};
        XmInstrument& kit = song.addInstrument();
        for (int s = 0; s < 4; ++s) {
            XmSample sample = XmSample::oneShot({int16_t(s), int16_t(-s), int16_t(2 * s)});
            sample.sixteenBit = s % 2 == 1;
            kit.samples.push_back(sample);
            for (int n = 0; n < 24; ++n)
                kit.noteSampleMap[24 * s + n] = uint8_t(s);
        }
        kit.samples[3].rawData = {1, 0, 2, 0, 3};
        corpus.emplace_back("drum_kit", buildXm(song));
    }
    {  // A long envelope with sustain and loop, and a 0-row pattern.
        XmSong song;
        song.channels = 4;
        song.orders = {1, 0};
        song.addPattern(0);
        song.addPattern(3).at(2, 3) = {1, 1, 0x50, 0x14, 0};
        XmInstrument& pad = song.addInstrument(XmSample::forwardLoop({5, 6, 7, 8}, 0, 4));
        for (uint16_t k = 0; k < 12; ++k) {
            pad.volumeEnvelope.points.push_back({uint16_t(k * 5), uint16_t(k % 2 ? 64 : 20)});
        }
        pad.volumeEnvelope.type = kXmEnvelopeOn | kXmEnvelopeSustain | kXmEnvelopeLoop;
        pad.volumeEnvelope.sustain = 3;
        pad.volumeEnvelope.loopStart = 4;
        pad.volumeEnvelope.loopEnd = 9;
        corpus.emplace_back("envelopes", buildXm(song));
    }
    return corpus;
}
