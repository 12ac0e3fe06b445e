// Periods and frequencies, the volume and panning a voice receives, envelopes, fade-out,
// instrument vibrato and the hand-over of notes between the two voices of a channel.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "song_player.h"

namespace {

using song_parts::longLoop;
using song_parts::oneChannel;
using V = std::vector<int>;

TEST(Periods, AmigaPeriodsAndFinetune) {
    EXPECT_EQ(amigaPeriod(48, 0), 1712);
    EXPECT_EQ(amigaPeriod(49, 0), 1615);
    EXPECT_EQ(amigaPeriod(47, 0), 1813);
    EXPECT_EQ(amigaPeriod(48, 127), 1616);
    EXPECT_EQ(amigaPeriod(48, -128), 1813);
    EXPECT_EQ(amigaPeriod(0, 0), 27392);
    EXPECT_EQ(amigaPeriod(0, -128), 27392 + (27392 - amigaPeriod(1, 0)));  // note 0: upward rule
    EXPECT_EQ(amigaPeriod(255, 0), 0);
}

// The period and the voice's frequency and step after the first tick of a note.
struct Played {
    int period;
    int frequency;
    int32_t stepWhole;
    uint32_t stepFraction;
};

Played playNote(uint8_t note, int8_t finetune, int8_t relativeNote, bool linear) {
    XmSong song = oneChannel();
    song.flags = linear ? 1 : 0;
    song.instruments[0].samples[0].finetune = finetune;
    song.instruments[0].samples[0].relativeNote = relativeNote;
    song.patterns[0].at(0, 0) = {note, 1};
    SongPlayer p(song);
    p.tick();
    const Voice& v = p.voice();
    return {p.channel().period, v.frequency, v.stepWhole, v.stepFraction};
}

TEST(Periods, LinearPeriodsAndFrequencies) {
    const Played c4 = playNote(kC4, 0, 0, true);
    EXPECT_EQ(c4.period, 4608);
    EXPECT_EQ(c4.frequency, 8363);
    EXPECT_EQ(c4.stepWhole, 0);
    EXPECT_EQ(c4.stepFraction, uint32_t((uint64_t{8363} << 32) / 44100));
    EXPECT_EQ(playNote(kC4, -16, 0, true).period, 4616);
    EXPECT_EQ(playNote(kC4, 15, 0, true).period, 4601);  // 15 / 2 truncates to 7
    EXPECT_EQ(playNote(kC4 + 1, 0, 0, true).frequency, 8860);
    const Played c5 = playNote(kC4, 0, 12, true);
    EXPECT_EQ(c5.period, 3840);
    EXPECT_EQ(c5.frequency, 16726);
    const Played high = playNote(96, 0, 23, true);  // above 44100 Hz: whole steps
    EXPECT_EQ(high.stepWhole, high.frequency / 44100);
    EXPECT_EQ(high.stepFraction, uint32_t((uint64_t(high.frequency % 44100) << 32) / 44100));
}

TEST(Periods, AmigaFrequencies) {
    const Played c4 = playNote(kC4, 0, 0, false);
    EXPECT_EQ(c4.period, 1712);
    EXPECT_EQ(c4.frequency, 8362);
    EXPECT_EQ(playNote(kC4, 127, 0, false).period, 1616);
    EXPECT_EQ(playNote(kC4, -128, 0, false).period, 1813);
    // A relative note below the first note wraps in 8 bits: a very high note, not a crash.
    const Played wrapped = playNote(1, 0, -5, false);
    EXPECT_EQ(wrapped.period, amigaPeriod(uint8_t(-5), 0));
}

TEST(Periods, VeryLowFrequenciesStepAt100Hz) {
    XmSong song = oneChannel();
    song.flags = 0;
    song.patterns[0].at(0, 0) = {kC4, 1, 0, 0x02, 0xFF};
    SongPlayer p(song);
    p.ticks(6);
    p.channel().period = 200000;
    p.tick();
    EXPECT_EQ(p.voice().frequency, 71);
    EXPECT_EQ(p.voice().stepFraction, uint32_t((uint64_t{100} << 32) / 44100));
}

TEST(VoiceLevels, VolumeFormula) {
    XmSong song = oneChannel();
    song.patterns[0].at(0, 0) = {kC4, 1};
    song.patterns[0].at(1, 0) = {0, 0, 0, 0x10, 0x20};  // global volume 32
    song.patterns[0].at(2, 0) = {0, 0, 0x30, 0x10, 0x40};
    SongPlayer p(song);
    p.tick();
    EXPECT_EQ(p.voice().volume, 127);
    EXPECT_EQ(p.voice().mixVolume, 127);
    EXPECT_EQ(p.voice().leftLevel, 127 * 128 / 255);
    EXPECT_EQ(p.voice().rightLevel, 127 * 127 / 255);
    p.ticks(6);
    EXPECT_EQ(p.voice().volume, 63);
    p.ticks(6);
    EXPECT_EQ(p.voice().volume, 63);  // volume 32 at global 64
}

XmSong panningSong(uint8_t samplePanning, uint16_t envelopeValue) {
    XmSong song = oneChannel();
    song.instruments[0].samples[0].panning = samplePanning;
    song.instruments[0].panningEnvelope =
        XmEnvelope::of({{0, envelopeValue}, {10, envelopeValue}}, kEnvelopeOn);
    song.patterns[0].at(0, 0) = {kC4, 1};
    return song;
}

TEST(VoiceLevels, PanningEnvelopeIsLimitedTo255) {
    SongPlayer right(panningSong(128, 64));
    right.tick();
    EXPECT_EQ(right.channel().panningEnvelope.value, 64);
    EXPECT_EQ(right.voice().mixPanning, 255);
    EXPECT_EQ(right.voice().leftLevel, 127);
    EXPECT_EQ(right.voice().rightLevel, 0);

    SongPlayer hard(panningSong(0, 0));
    hard.tick();
    EXPECT_EQ(hard.voice().mixPanning, 0);

    SongPlayer half(panningSong(64, 16));  // 64 + (16 - 32) × (64 / 32)
    half.tick();
    EXPECT_EQ(half.voice().mixPanning, 32);
}

// The volume envelope's value after each tick.
V envelopeValues(SongPlayer& p, int count) {
    V values;
    for (int i = 0; i < count; ++i) {
        p.tick();
        values.push_back(p.channel().volumeEnvelope.value);
    }
    return values;
}

TEST(Envelopes, SustainHoldsUntilReleaseThenTheSegmentRunsToTheEnd) {
    XmSong song = oneChannel();
    song.instruments[0].volumeEnvelope =
        XmEnvelope::of({{0, 64}, {10, 0}}, kEnvelopeOn | kEnvelopeSustain, 0);
    song.patterns[0].at(0, 0) = {kC4, 1};
    song.patterns[0].at(1, 0) = {kKeyOff};
    SongPlayer p(song);
    EXPECT_EQ(envelopeValues(p, 6), (V{64, 64, 64, 64, 64, 64}));
    EXPECT_EQ(p.channel().volumeEnvelope.tick, 0);
    p.tick();
    EXPECT_EQ(p.channel().volumeEnvelope.value, 64);
    EXPECT_EQ(p.channel().volumeEnvelope.step, -419430);
    EXPECT_EQ(envelopeValues(p, 9), (V{57, 51, 44, 38, 32, 25, 19, 12, 6}));
    EXPECT_EQ(p.channel().volumeEnvelope.done, 0);
    p.tick();
    EXPECT_EQ(p.channel().volumeEnvelope.value, 0);
    EXPECT_EQ(p.channel().volumeEnvelope.done, 1);
    EXPECT_EQ(p.voice().volume, 0);
    p.ticks(10);
    EXPECT_EQ(p.channel().volumeEnvelope.value, 0);
}

TEST(Envelopes, LoopEndingOnTheLastPointNeverEnds) {
    XmSong song = oneChannel();
    song.instruments[0].volumeEnvelope =
        XmEnvelope::of({{0, 0}, {4, 64}, {8, 32}}, kEnvelopeOn | kEnvelopeLoop, 0, 1, 2);
    song.patterns[0].at(0, 0) = {kC4, 1};
    SongPlayer p(song);
    EXPECT_EQ(envelopeValues(p, 16),
              (V{0, 16, 32, 48, 64, 56, 48, 40, 64, 56, 48, 40, 64, 56, 48, 40}));
    p.ticks(500);
    EXPECT_EQ(p.channel().volumeEnvelope.done, 0);
}

TEST(Envelopes, SetEnvelopePosition) {
    XmSong song = oneChannel();
    song.instruments[0].volumeEnvelope = XmEnvelope::of({{0, 0}, {10, 64}}, kEnvelopeOn);
    song.patterns[0].at(0, 0) = {kC4, 1, 0, 0x15, 0x05};
    song.patterns[0].at(1, 0) = {0, 0, 0, 0x15, 0x40};  // beyond the last point
    SongPlayer p(song);
    p.tick();
    EXPECT_EQ(p.channel().volumeEnvelope.value, 31);
    EXPECT_EQ(p.channel().volumeEnvelope.tick, 5);
    p.tick();
    EXPECT_EQ(p.channel().volumeEnvelope.value, 38);
    EXPECT_EQ(p.channel().volumeEnvelope.tick, 6);
    p.ticks(5);
    EXPECT_EQ(p.channel().volumeEnvelope.value, 64);
    EXPECT_EQ(p.channel().volumeEnvelope.done, 1);
}

TEST(Envelopes, SetEnvelopePositionBeforeTheFirstPointStartsThere) {
    // The first point lies at tick 10: position 5 counts as 10, rather than reaching back to
    // -32 or running on to 89 before the next point.
    XmSong song = oneChannel();
    song.instruments[0].volumeEnvelope = XmEnvelope::of({{10, 0}, {20, 64}}, kEnvelopeOn);
    song.patterns[0].at(0, 0) = {kC4, 1, 0, 0x15, 0x05};
    SongPlayer p(song);
    EXPECT_EQ(envelopeValues(p, 4), (V{0, 6, 12, 19}));
    EXPECT_EQ(p.channel().volumeEnvelope.tick, 13);
    for (int t = 0; t < 20; ++t) {
        p.tick();
        ASSERT_LE(p.channel().volumeEnvelope.value, 64);
    }
    EXPECT_EQ(p.channel().volumeEnvelope.done, 1);
}

TEST(Envelopes, SetEnvelopePositionNeedsTheEnvelopeOn) {
    XmSong song = oneChannel();
    song.instruments[0].volumeEnvelope = XmEnvelope::of({{0, 0}, {10, 64}}, 0);
    song.patterns[0].at(0, 0) = {kC4, 1, 0, 0x15, 0x05};
    SongPlayer p(song);
    p.tick();
    EXPECT_EQ(p.channel().volumeEnvelope.value, 64);
    EXPECT_EQ(p.channel().volumeEnvelope.tick, 0);
}

TEST(Envelopes, PointsThatDoNotMoveOnStayInRangeAndEnd) {
    // x positions 0, 10, 5, 5, 20 and values above 64: the value never leaves 0..64 and the
    // envelope ends at its last point.
    XmSong song = oneChannel();
    song.instruments[0].volumeEnvelope = XmEnvelope::of(
        {{0, 64}, {10, 32}, {5, 0}, {5, 1000}, {20, 64}}, kEnvelopeOn | kEnvelopeSustain, 20);
    song.instruments[0].panningEnvelope =
        XmEnvelope::of({{8, 64}, {4, 0}, {2, 64}}, kEnvelopeOn | kEnvelopeLoop, 0, 1, 2);
    song.patterns[0].at(0, 0) = {kC4, 1};
    SongPlayer p(song);
    for (int i = 0; i < 90; ++i) {  // the song repeats its first note at tick 96
        p.tick(true);
        const Channel& c = p.channel();
        ASSERT_GE(c.volumeEnvelope.value, 0);
        ASSERT_LE(c.volumeEnvelope.value, 64);
        ASSERT_GE(c.panningEnvelope.value, 0);
        ASSERT_LE(c.panningEnvelope.value, 64);
        ASSERT_GE(c.volumeEnvelope.point, 0);
        ASSERT_LT(c.volumeEnvelope.point, 5);
        ASSERT_LE(p.voice().volume, 127);
    }
    EXPECT_EQ(p.channel().volumeEnvelope.done, 1);
    EXPECT_EQ(p.channel().volumeEnvelope.value, 64);
}

TEST(Envelopes, LoopOfTheVolumeEnvelopeWithSustainInside) {
    // Sustain holds inside the loop until the key is released; then the loop runs on.
    XmSong song = oneChannel();
    song.instruments[0].volumeEnvelope =
        XmEnvelope::of({{0, 64}, {2, 32}, {4, 48}, {6, 16}},
                       kEnvelopeOn | kEnvelopeSustain | kEnvelopeLoop, 2, 1, 3);
    song.instruments[0].fadeout = 4096;  // 8192 a tick once released
    song.patterns[0].at(0, 0) = {kC4, 1};
    song.patterns[0].at(1, 0) = {kKeyOff};
    SongPlayer p(song);
    EXPECT_EQ(envelopeValues(p, 6), (V{64, 48, 32, 40, 48, 48}));
    // Released: on to point 3, back to the loop start, through the sustain point.
    EXPECT_EQ(envelopeValues(p, 6), (V{48, 32, 32, 40, 48, 32}));
    EXPECT_EQ(p.channel().fadeoutVolume, 65536 - 6 * 8192);
    p.ticks(6);
    EXPECT_EQ(p.channel().fadeoutVolume, 0);
    EXPECT_EQ(p.voice().volume, 0);
}

TEST(InstrumentVibrato, SweepGrowsTheDepthOverItsTicks) {
    XmSong song = oneChannel();
    XmInstrument& ins = song.instruments[0];
    ins.vibratoType = 1;  // square: +64 while the phase is below 128
    ins.vibratoSweep = 16;
    ins.vibratoDepth = 16;
    ins.vibratoRate = 0;
    song.patterns[0].at(0, 0) = {kC4, 1};
    SongPlayer p(song);
    for (int t = 0; t < 24; ++t) {
        p.tick();
        EXPECT_EQ(p.channel().periodOffset, std::min(t, 16)) << "tick " << t;
    }
    const float exponent = 16.0f * 0.0013020834f;
    EXPECT_EQ(p.voice().frequency, int(8363 * std::pow(2.0, double(exponent))));
}

TEST(InstrumentVibrato, Waveforms) {
    // Depth 64 makes the offset the waveform value itself; rate 32 walks the phase
    // 0, 32, 64, ... 224.
    const V sine = {0, 45, 63, 45, 0, -45, -63, -45};
    const V square = {64, 64, 64, 64, -64, -64, -64, -64};
    const V down = {0, -16, -32, -48, 64, 48, 32, 16};
    const V up = {0, 16, 32, 48, 64, -48, -32, -16};
    const V none = {0, 0, 0, 0, 0, 0, 0, 0};
    const V* expected[] = {&sine, &square, &down, &up, &none};
    for (uint8_t type = 0; type < 5; ++type) {
        XmSong song = oneChannel();
        XmInstrument& ins = song.instruments[0];
        ins.vibratoType = type;
        ins.vibratoDepth = 64;
        ins.vibratoRate = 32;
        song.patterns[0].at(0, 0) = {kC4, 1};
        SongPlayer p(song);
        V offsets;
        for (int t = 0; t < 8; ++t) {
            p.tick();
            offsets.push_back(p.channel().periodOffset);
        }
        EXPECT_EQ(offsets, *expected[type]) << "type " << int(type);
    }
}

TEST(VoiceHandOver, SecondNoteFadesTheFirstOutOnTheAlternateVoice) {
    XmSong song = oneChannel();
    song.patterns[0].at(0, 0) = {kC4, 1};
    song.patterns[0].at(1, 0) = {kC4 + 2, 1};
    song.patterns[0].at(2, 0) = {kC4 + 4, 1};
    SongPlayer p(song);
    p.tick(true);
    EXPECT_EQ(&p.voice(), &p.voiceAt(0));
    p.ticks(5, true);
    EXPECT_EQ(p.voiceAt(0).currentLeft, 63 * 256);
    const int32_t oldPosition = p.voiceAt(0).positionWhole;

    p.tick();
    Voice& old = p.voiceAt(0);
    Voice& next = p.voiceAt(32);
    EXPECT_EQ(&p.voice(), &next);
    EXPECT_EQ(next.index, 32);
    EXPECT_EQ(next.sample, p.module->instruments[0].samples[0]);
    EXPECT_EQ(next.positionWhole, 0);
    EXPECT_EQ(next.currentLeft, 0);
    EXPECT_EQ(next.leftLevel, 63);
    EXPECT_EQ(next.frequency, 9387);
    EXPECT_EQ(old.index, 0);
    EXPECT_EQ(old.sample, next.sample);  // still sounding
    EXPECT_EQ(old.positionWhole, oldPosition);
    EXPECT_EQ(old.leftLevel, 0);
    EXPECT_EQ(old.rightLevel, 0);
    EXPECT_EQ(old.volume, 0);
    EXPECT_EQ(old.frequency, 8363);

    // Over the mixer's ramp of 128 frames the old note fades out and the new one in.
    std::vector<float> frames(2 * 128);
    mixVoices(*p.player, frames.data(), 128);
    EXPECT_EQ(old.currentLeft, 0);
    EXPECT_EQ(next.currentLeft, 63 * 256);

    p.ticks(5, true);
    p.tick();
    EXPECT_EQ(&p.voice(), &p.voiceAt(0));  // and back again
    EXPECT_EQ(p.voiceAt(0).frequency, 10536);
    EXPECT_EQ(p.voiceAt(32).leftLevel, 0);
}

TEST(VoiceHandOver, NoteOnASilentVoiceStaysOnIt) {
    XmSample shortSample = XmSample::oneShot({10, 20, 30, 40});
    XmSong song = oneChannel();
    song.instruments[0].samples[0] = shortSample;
    song.patterns[0].at(0, 0) = {kC4, 1};
    song.patterns[0].at(1, 0) = {kC4, 1};
    SongPlayer p(song);
    p.ticks(6, true);
    EXPECT_EQ(p.voiceAt(0).sample, nullptr);  // played to its end
    p.tick();
    EXPECT_EQ(&p.voice(), &p.voiceAt(0));
}

}  // namespace
