// The running effects: what each tick after tick 0 does to a channel and its voice.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <vector>

#include "song_player.h"

namespace {

using song_parts::longLoop;
using song_parts::oneChannel;
using V = std::vector<int>;

// A one-channel song at speed 6 whose row 0 plays C-4 with instrument 1 and the given volume
// column and effect; row 1 and later rows are as the test sets them.
XmSong effectSong(uint8_t effect, uint8_t parameter, uint8_t volume = 0) {
    XmSong song = oneChannel();
    song.patterns[0].at(0, 0) = {kC4, 1, volume, effect, parameter};
    return song;
}

// A value after each of count ticks.
V trace(SongPlayer& p, int count, const std::function<int(SongPlayer&)>& value, bool mix = false) {
    V values;
    for (int i = 0; i < count; ++i) {
        p.tick(mix);
        values.push_back(value(p));
    }
    return values;
}

int periodOffset(SongPlayer& p) {
    return p.channel().periodOffset;
}
int period(SongPlayer& p) {
    return p.channel().period;
}
int volume(SongPlayer& p) {
    return p.channel().volume;
}
int voiceVolume(SongPlayer& p) {
    return p.voice().volume;
}
// Which voice of its pair the channel drives: a change marks a note start.
int voiceIndex(SongPlayer& p) {
    return int(&p.voice() - p.player->voices);
}

TEST(TickEffects, VibratoAppliesThePhaseThenAdvancesIt) {
    SongPlayer p(effectSong(0x04, 0x48));
    EXPECT_EQ(trace(p, 6, periodOffset), (V{0, 0, -24, -44, -56, -60}));
    EXPECT_EQ(p.channel().vibratoPos, 20);
    // A lower pitch in the linear mode: the frequency of period 4608 + 60.
    EXPECT_LT(p.voice().frequency, 8363);
    p.tick();  // the next row has no effect
    EXPECT_EQ(p.channel().periodOffset, 0);
    EXPECT_EQ(p.voice().frequency, 8363);
}

TEST(TickEffects, VibratoWaveforms) {
    // Ramp (E41): p = 0, 4, 8, 12 give 0, 32, 64, 96; square (E42) is 255 throughout.
    XmSong song = effectSong(0x0E, 0x41);
    song.patterns[0].at(1, 0) = {0, 0, 0, 0x04, 0x48};
    song.patterns[0].at(2, 0) = {0, 0, 0, 0x0E, 0x42};
    song.patterns[0].at(3, 0) = {0, 0, 0, 0x04, 0x00};
    SongPlayer p(song);
    p.ticks(6);
    EXPECT_EQ(trace(p, 6, periodOffset), (V{0, 0, -8, -16, -24, -32}));
    p.ticks(6);
    // Phase 20 on: 255 × 8 >> 5 = 63, cleared to 60; the sign follows the phase, which
    // wraps from 28 to -32.
    EXPECT_EQ(trace(p, 5, periodOffset), (V{-60, -60, -60, -60, 60}));
}

TEST(TickEffects, VolumeColumnVibratoDepthAdvancesThePhaseTwice) {
    SongPlayer p(effectSong(0x04, 0x44, 0xB8));
    p.tick();
    EXPECT_EQ(p.channel().vibratoDepth, 4);
    p.tick();
    EXPECT_EQ(p.channel().vibratoDepth, 8);
    EXPECT_EQ(p.channel().vibratoPos, 8);
    EXPECT_EQ(p.channel().periodOffset, -24);
    p.tick();
    EXPECT_EQ(p.channel().vibratoPos, 16);
    EXPECT_EQ(p.channel().periodOffset, -56);
}

TEST(TickEffects, ArpeggioInTheLinearMode) {
    SongPlayer p(effectSong(0x00, 0x37));
    EXPECT_EQ(trace(p, 6, periodOffset), (V{0, 192, 448, 0, 192, 448}));
    EXPECT_EQ(p.voice().frequency, 12530);  // seven semitones above 8363 Hz
}

TEST(TickEffects, ArpeggioInTheAmigaMode) {
    XmSong song = effectSong(0x00, 0x37);
    song.flags = 0;
    SongPlayer p(song);
    const int up3 = amigaPeriod(51, 0) - 1712;
    const int up7 = amigaPeriod(55, 0) - 1712;
    EXPECT_LT(up3, 0);
    EXPECT_EQ(trace(p, 6, periodOffset), (V{0, up3, up7, 0, up3, up7}));
    EXPECT_EQ(p.voice().frequency, 14317056 / (1712 + up7));
}

TEST(TickEffects, ArpeggioWithoutParameterIsNoEffect) {
    SongPlayer p(effectSong(0x00, 0x00));
    EXPECT_EQ(trace(p, 6, periodOffset), (V{0, 0, 0, 0, 0, 0}));
}

TEST(TickEffects, PortamentoUpStopsAtPeriod56AndDownHasNoCeiling) {
    XmSong song = effectSong(0x01, 0xFF);
    song.patterns[0].at(1, 0) = {0, 0, 0, 0x01, 0x00};  // the memory
    song.patterns[0].at(2, 0) = {kC4, 0, 0, 0x02, 0xFF};
    SongPlayer p(song);
    EXPECT_EQ(trace(p, 6, period), (V{4608, 3588, 2568, 1548, 528, 56}));
    EXPECT_EQ(trace(p, 6, period), (V{56, 56, 56, 56, 56, 56}));
    EXPECT_EQ(trace(p, 6, period), (V{4608, 5628, 6648, 7668, 8688, 9708}));
    EXPECT_EQ(p.voice().frequency, int(8363 * std::pow(2.0, double(-5100 * 0.0013020834f))));
}

TEST(TickEffects, EndlessSlidesStayWithinRange) {
    // A period far below any note is held at period 1, and far above it the frequency falls
    // to 0 and the step is the slowest one.
    XmSong song = effectSong(0x02, 0xFF);
    SongPlayer p(song);
    p.tick();
    p.channel().period = -(1 << 24);
    p.channel().portaDownMemory = 0;
    p.tick();
    EXPECT_EQ(p.channel().period, 1);
    EXPECT_EQ(p.voice().frequency, int(8363 * std::pow(2.0, double(4607 * 0.0013020834f))));
    p.channel().period = (1 << 24) - 100;
    p.channel().portaDownMemory = 0xFF;
    p.ticks(4);
    EXPECT_EQ(p.channel().period, 1 << 24);
    EXPECT_EQ(p.voice().frequency, 0);
    EXPECT_EQ(p.voice().stepWhole, 0);
    EXPECT_EQ(p.voice().stepFraction, uint32_t((uint64_t{100} << 32) / 44100));
}

// Slides and offsets that would take the period to 0 or below hold it at period 1, the
// highest pitch, in both modes: no division by zero, no negative frequency played as the
// slowest step, and a slide down comes back from there at once.
TEST(TickEffects, PeriodsReachingZeroAreHeldAtTheHighestPitch) {
    for (const uint16_t flags : {0, 1}) {
        const bool linear = flags == 1;
        const int highest =
            linear ? int(8363 * std::pow(2.0, double(4607 * 0.0013020834f))) : 14317056;
        XmSong song = effectSong(0x01, 0xFF);  // portamento up to its floor, period 56
        song.flags = flags;
        song.patterns[0].at(1, 0) = {0, 0, 0, 0x0E, 0x42};  // square vibrato
        song.patterns[0].at(2, 0) = {0, 0, 0, 0x04, 0xFF};  // offsets of 116 either way
        song.patterns[0].at(3, 0) = {0, 0, 0, 0x0E, 0x1F};  // fine slides up, 60 a row
        song.patterns[0].at(4, 0) = {0, 0, 0, 0x0E, 0x1F};
        song.patterns[0].at(5, 0) = {0, 0, 0, 0x02, 0x01};  // down by 4 a tick
        SongPlayer p(song);
        p.ticks(12);
        ASSERT_EQ(p.channel().period, 56) << flags;
        const int atFloor = p.voice().frequency;
        int beyondFloor = 0;
        for (int t = 0; t < 6; ++t) {
            p.tick();
            const int offset = p.channel().periodOffset;
            ASSERT_EQ(std::abs(offset), 116) << flags;
            // A positive offset raises the pitch in the linear mode, a negative one in the
            // Amiga mode.
            if (linear ? offset > 0 : offset < 0) {
                ++beyondFloor;
                EXPECT_EQ(p.voice().frequency, highest) << flags << " tick " << t;
            } else {
                EXPECT_LT(p.voice().frequency, atFloor) << flags << " tick " << t;
            }
        }
        EXPECT_GT(beyondFloor, 0) << flags;
        p.ticks(12);
        EXPECT_EQ(p.channel().period, 1) << flags;
        EXPECT_EQ(p.voice().frequency, highest) << flags;
        EXPECT_EQ(trace(p, 6, period), (V{1, 5, 9, 13, 17, 21})) << flags;
    }
}

TEST(TickEffects, ArpeggioAboveTheHighestNoteIsHeldAtTheHighestPitch) {
    XmSong song = effectSong(0x00, 0xFF);  // linear mode
    song.patterns[0].at(0, 0).note = 96;   // A#9 with the sample's relative note
    song.instruments[0].samples[0].relativeNote = 23;
    SongPlayer p(song);
    p.ticks(6);  // tick 5: 15 semitones up, period 128 - 960
    EXPECT_EQ(p.voice().frequency, int(8363 * std::pow(2.0, double(4607 * 0.0013020834f))));
}

TEST(TickEffects, TonePortamentoSlidesToTheTargetAndStops) {
    XmSong song = effectSong(0x00, 0x00);
    song.patterns[0].at(1, 0) = {kC4 + 1, 0, 0, 0x03, 0x05};
    song.patterns[0].at(2, 0) = {kC4, 0, 0, 0x05, 0x00};  // with the volume slide
    SongPlayer p(song);
    p.ticks(6);
    EXPECT_EQ(trace(p, 6, period), (V{4608, 4588, 4568, 4548, 4544, 4544}));
    EXPECT_EQ(trace(p, 6, period), (V{4544, 4564, 4584, 4604, 4608, 4608}));
}

TEST(TickEffects, MultiRetrig) {
    // R81: a restart on every tick from tick 1, volume unchanged; R11: one lower each time.
    XmSong song = effectSong(0x1B, 0x81);
    song.patterns[0].at(1, 0) = {0, 0, 0, 0x1B, 0x11};
    song.patterns[0].at(2, 0) = {0, 0, 0, 0x1B, 0x63};  // × 2 / 3 on ticks 3
    SongPlayer p(song);
    EXPECT_EQ(trace(p, 6, voiceIndex, true), (V{0, 32, 0, 32, 0, 32}));
    EXPECT_EQ(p.channel().volume, 64);
    EXPECT_EQ(trace(p, 6, volume, true), (V{64, 63, 62, 61, 60, 59}));
    EXPECT_EQ(trace(p, 6, volume, true), (V{59, 59, 59, 39, 39, 39}));
}

TEST(TickEffects, RetrigTable) {
    const int from = 30;
    const V expected = {30, 29, 28, 26, 22, 14, 20, 15, 30, 31, 32, 34, 38, 46, 45, 60};
    for (int mode = 1; mode < 16; ++mode) {
        XmSong song = effectSong(0x0C, from);
        song.patterns[0].at(1, 0) = {0, 0, 0, 0x1B, uint8_t(mode << 4 | 5)};
        SongPlayer p(song);
        p.ticks(11);
        EXPECT_EQ(p.channel().volume, from) << mode;
        p.tick();
        EXPECT_EQ(p.channel().volume, expected[mode]) << "mode " << mode;
    }
}

TEST(TickEffects, RetriggerE9) {
    XmSong song = effectSong(0x0E, 0x93);
    song.patterns[0].at(1, 0) = {0, 0, 0, 0x0E, 0x90};
    SongPlayer p(song);
    EXPECT_EQ(trace(p, 6, voiceIndex, true), (V{0, 0, 0, 32, 32, 32}));
    EXPECT_EQ(trace(p, 6, voiceIndex, true), (V{32, 32, 32, 32, 32, 32}));
}

TEST(TickEffects, RetriggerRestartsFromAStoredSampleOffset) {
    XmSong song = effectSong(0x0E, 0x92);
    song.patterns[0].at(1, 0) = {0, 0, 0, 0x09, 0x03};  // store 768 for the next start
    song.patterns[0].at(2, 0) = {0, 0, 0, 0x0E, 0x92};
    SongPlayer p(song);
    p.ticks(12, true);
    p.ticks(3);
    EXPECT_EQ(p.voice().positionWhole, 768);
    p.tick(true);
    p.tick();
    EXPECT_EQ(p.voice().positionWhole, 0);
}

TEST(TickEffects, Tremor) {
    // T00 with no earlier Txy mutes every tick; T21 sounds 3 ticks and mutes 2.
    SongPlayer muted(effectSong(0x1D, 0x00));
    EXPECT_EQ(trace(muted, 6, voiceVolume), (V{0, 0, 0, 0, 0, 0}));

    XmSong song = effectSong(0x1D, 0x21);
    song.patterns[0].at(1, 0) = {0, 0, 0, 0x1D, 0x21};
    SongPlayer p(song);
    EXPECT_EQ(trace(p, 12, voiceVolume), (V{127, 127, 127, 0, 0, 127, 127, 127, 0, 0, 127, 127}));
    EXPECT_EQ(p.channel().volume, 64);
}

TEST(TickEffects, TremorWithAShorterCycleKeepsItsRhythm) {
    // T33 leaves the count at 6; T11 (cycle 4) mutes once and then counts from 0 again
    // instead of running on to 255 with the note muted.
    XmSong song = effectSong(0x1D, 0x33);
    song.patterns[0].at(1, 0) = {0, 0, 0, 0x1D, 0x11};
    SongPlayer p(song);
    p.ticks(6);
    EXPECT_EQ(trace(p, 6, voiceVolume), (V{0, 127, 127, 0, 0, 127}));
}

TEST(TickEffects, NoteCut) {
    SongPlayer never(effectSong(0x0E, 0xC0));
    EXPECT_EQ(trace(never, 6, volume), (V{64, 64, 64, 64, 64, 64}));
    SongPlayer p(effectSong(0x0E, 0xC3));
    EXPECT_EQ(trace(p, 6, volume), (V{64, 64, 64, 0, 0, 0}));
    EXPECT_EQ(p.voice().volume, 0);
}

TEST(TickEffects, NoteDelayStartsTheNoteOnItsTick) {
    XmSong song = effectSong(0x00, 0x00);
    XmSample other = longLoop(32);
    other.panning = 40;
    song.addInstrument(other);
    song.patterns[0].at(1, 0) = {kC4 + 4, 2, 0, 0x0E, 0xD2};
    SongPlayer p(song);
    p.ticks(6, true);
    const Voice* old = &p.voice();
    const int frequency = p.voice().frequency;
    for (int t = 0; t < 2; ++t) {
        p.tick(true);
        EXPECT_EQ(&p.voice(), old);
        EXPECT_EQ(p.voice().frequency, frequency);
        EXPECT_EQ(p.voice().volume, 127);
        EXPECT_EQ(p.voice().mixPanning, 128);
        EXPECT_EQ(p.channel().volume, 64);
    }
    p.tick();
    EXPECT_NE(&p.voice(), old);
    EXPECT_EQ(p.voice().sample, p.module->instruments[1].samples[0]);
    EXPECT_EQ(p.channel().volume, 32);
    EXPECT_EQ(p.channel().period, 4608 - 4 * 64);
    EXPECT_EQ(p.voice().mixPanning, 40);
    EXPECT_EQ(p.voice().volume, 63);
}

TEST(TickEffects, NoteDelayAppliesTheVolumeColumnWithTheNote) {
    XmSong song = effectSong(0x00, 0x00);
    song.patterns[0].at(1, 0) = {kC4, 1, 0x20, 0x0E, 0xD1};
    SongPlayer p(song);
    p.ticks(6);
    p.tick();
    EXPECT_EQ(p.channel().volume, 64);
    p.tick();
    EXPECT_EQ(p.channel().volume, 16);
}

TEST(TickEffects, GlobalVolumeSlideReachesQuietChannelsAtTheirNextVolumeUpdate) {
    XmSong song = oneChannel();
    song.channels = 2;
    song.patterns.clear();
    XmPattern& rows = song.addPattern(8);
    rows.at(0, 0) = {kC4, 1, 0, 0x11, 0x02};
    rows.at(0, 1) = {kC4, 1};
    rows.at(1, 0) = {0, 0, 0, 0x11, 0x00};  // the memory
    rows.at(2, 0) = {0, 0, 0, 0x11, 0xF0};
    SongPlayer p(song);
    p.ticks(6);
    EXPECT_EQ(p.player->globalVolume, 54);
    EXPECT_EQ(p.voice(1).volume, 127);
    p.tick();
    EXPECT_EQ(p.voice(1).volume, 107);  // 2^28 × 54 × 255 / 2^35
    p.ticks(5);
    EXPECT_EQ(p.player->globalVolume, 44);
    p.ticks(6);
    EXPECT_EQ(p.player->globalVolume, 64);
}

TEST(TickEffects, SetGlobalVolumeIsLimitedTo64) {
    XmSong song = effectSong(0x10, 0x20);
    song.patterns[0].at(1, 0) = {0, 0, 0, 0x10, 0x50};
    SongPlayer p(song);
    p.tick();
    EXPECT_EQ(p.player->globalVolume, 32);
    EXPECT_EQ(p.voice().volume, 63);
    p.ticks(6);
    EXPECT_EQ(p.player->globalVolume, 64);
}

TEST(TickEffects, PanningSlideIsLimited) {
    XmSong song = effectSong(0x19, 0xF0);
    song.patterns[0].at(1, 0) = {0, 0, 0, 0x08, 0x10};
    song.patterns[0].at(2, 0) = {0, 0, 0, 0x19, 0x07};
    SongPlayer p(song);
    EXPECT_EQ(trace(p, 6, [](SongPlayer& s) { return s.channel().panning; }),
              (V{128, 143, 158, 173, 188, 203}));
    p.ticks(6);
    p.tick();
    EXPECT_EQ(trace(p, 6, [](SongPlayer& s) { return s.channel().panning; }),
              (V{9, 2, 0, 0, 0, 0}));
}

TEST(TickEffects, VolumeSlidesShareTheirMemory) {
    XmSong song = effectSong(0x0A, 0x04);
    song.patterns[0].at(1, 0) = {0, 0, 0, 0x06, 0x00};
    song.patterns[0].at(2, 0) = {0, 0, 0, 0x0A, 0x21};  // up 2; the low nibble is ignored
    SongPlayer p(song);
    EXPECT_EQ(trace(p, 6, volume), (V{64, 60, 56, 52, 48, 44}));
    EXPECT_EQ(trace(p, 6, volume), (V{44, 40, 36, 32, 28, 24}));
    EXPECT_EQ(trace(p, 6, volume), (V{24, 26, 28, 30, 32, 34}));
}

TEST(TickEffects, SlidesDownFromAVolumeAbove64StartWhereItIs) {
    // C50 sets volume 80; every slide down moves from there and only a slide up stops at 64.
    XmSong song = effectSong(0x0C, 0x50);
    song.patterns[0].at(1, 0) = {0, 0, 0, 0x0E, 0xB1};     // fine volume down 1
    song.patterns[0].at(2, 0) = {0, 0, 0x62, 0x00, 0x00};  // volume column down 2 a tick
    song.patterns[0].at(3, 0) = {0, 0, 0x81, 0x0A, 0x01};  // fine down 1, then A01 down 1 a tick
    song.patterns[0].at(4, 0) = {0, 0, 0, 0x0E, 0xA1};     // fine volume up 1 stops at 64
    SongPlayer p(song);
    EXPECT_EQ(trace(p, 6, volume)[5], 80);
    EXPECT_EQ(trace(p, 6, volume)[5], 79);
    EXPECT_EQ(trace(p, 6, volume), (V{77, 75, 73, 71, 69, 67}));
    EXPECT_EQ(trace(p, 6, volume), (V{66, 65, 64, 63, 62, 61}));
    EXPECT_EQ(trace(p, 6, volume)[0], 62);
}

TEST(TickEffects, FineAndExtraFinePortamentoAreUnlimited) {
    XmSong song = effectSong(0x0E, 0x12);
    song.patterns[0].at(1, 0) = {0, 0, 0, 0x0E, 0x10};
    song.patterns[0].at(2, 0) = {0, 0, 0, 0x0E, 0x23};
    song.patterns[0].at(3, 0) = {0, 0, 0, 0x21, 0x15};
    song.patterns[0].at(4, 0) = {0, 0, 0, 0x21, 0x27};
    song.patterns[0].at(5, 0) = {0, 0, 0, 0x21, 0x20};
    SongPlayer p(song);
    V periods;
    for (int row = 0; row < 6; ++row) {
        periods.push_back(trace(p, 6, period)[5]);
    }
    EXPECT_EQ(periods, (V{4600, 4592, 4604, 4599, 4606, 4613}));
}

}  // namespace
