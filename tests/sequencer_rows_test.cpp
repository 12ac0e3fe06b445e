// The song position (orders, rows, ticks, breaks, jumps, loops, delays, speed and tempo) and
// what tick 0 of a row does with notes, instruments and the volume column.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "song_player.h"

namespace {

using Rows = std::vector<std::pair<int, int>>;
using song_parts::longLoop;
using song_parts::oneChannel;

// Orders and rows read, speed 1 so that every tick reads a row.
XmSong positionSong(std::vector<uint8_t> orders, std::vector<int> patternRows, int channels = 2) {
    XmSong song;
    song.channels = channels;
    song.speed = 1;
    song.orders = std::move(orders);
    for (int rows : patternRows)
        song.addPattern(rows);
    return song;
}

TEST(SongPosition, PlaysOrdersInTurnAndRepeatsFromTheRestartPosition) {
    XmSong song = positionSong({0, 1, 0}, {2, 3});
    song.restartPosition = 1;
    SongPlayer p(song);
    EXPECT_EQ(p.rowsRead(12), (Rows{{0, 0},
                                    {0, 1},
                                    {1, 0},
                                    {1, 1},
                                    {1, 2},
                                    {2, 0},
                                    {2, 1},
                                    {1, 0},
                                    {1, 1},
                                    {1, 2},
                                    {2, 0},
                                    {2, 1}}));
}

TEST(SongPosition, RestartPositionBeyondTheSongRestartsFromTheStart) {
    XmSong song = positionSong({0, 1}, {2, 1});
    song.restartPosition = 2;
    SongPlayer p(song);
    EXPECT_EQ(p.rowsRead(6), (Rows{{0, 0}, {0, 1}, {1, 0}, {0, 0}, {0, 1}, {1, 0}}));
}

TEST(SongPosition, PatternBreakJumpsToTheRowOfTheNextPosition) {
    // D32 on the last row of a pattern; D after B on a later channel; D70 over 63.
    XmSong song = positionSong({0, 1, 2, 1}, {4, 64, 64});
    song.patterns[0].at(3, 1) = {0, 0, 0, 0x0D, 0x32};
    song.patterns[1].at(32, 0) = {0, 0, 0, 0x0B, 0x03};
    song.patterns[1].at(32, 1) = {0, 0, 0, 0x0D, 0x05};
    song.patterns[1].at(6, 0) = {0, 0, 0, 0x0D, 0x70};
    SongPlayer p(song);
    const Rows rows = p.rowsRead(10);
    EXPECT_EQ(
        rows,
        (Rows{{0, 0}, {0, 1}, {0, 2}, {0, 3}, {1, 32}, {3, 5}, {3, 6}, {0, 0}, {0, 1}, {0, 2}}));
}

TEST(SongPosition, PositionJumpBeyondTheSongPlaysPositionZero) {
    XmSong song = positionSong({0, 1, 1}, {2, 2});
    song.patterns[1].at(0, 0) = {0, 0, 0, 0x0B, 0x05};
    SongPlayer p(song);
    EXPECT_EQ(p.rowsRead(5), (Rows{{0, 0}, {0, 1}, {1, 0}, {0, 0}, {0, 1}}));
}

TEST(SongPosition, LaterBreakOverwritesEarlierOne) {
    XmSong song = positionSong({0, 0, 0}, {8});
    song.patterns[0].at(1, 0) = {0, 0, 0, 0x0D, 0x04};
    song.patterns[0].at(1, 1) = {0, 0, 0, 0x0D, 0x06};
    SongPlayer p(song);
    EXPECT_EQ(p.rowsRead(4), (Rows{{0, 0}, {0, 1}, {1, 6}, {1, 7}}));
}

TEST(SongPosition, BreakToARowThePatternLacksStartsItAtRowZero) {
    XmSong song = positionSong({0, 1}, {2, 16});
    song.patterns[0].at(1, 0) = {0, 0, 0, 0x0D, 0x32};  // row 32 of a 16-row pattern
    SongPlayer p(song);
    EXPECT_EQ(p.rowsRead(4), (Rows{{0, 0}, {0, 1}, {1, 0}, {1, 1}}));
}

TEST(SongPosition, PatternsWithoutRowsOrCellsArePassedSafely) {
    // Pattern 1 has no rows; order 3 names a pattern the file does not store (64 empty rows).
    XmSong song = positionSong({0, 1, 0, 2}, {1, 0});
    song.patterns[0].at(0, 0) = {kC4, 1};
    song.addInstrument(longLoop());
    SongPlayer p(song);
    const Rows rows = p.rowsRead(70);
    EXPECT_EQ(rows[0], (std::pair<int, int>{0, 0}));
    EXPECT_EQ(rows[1], (std::pair<int, int>{1, 0}));
    EXPECT_EQ(rows[2], (std::pair<int, int>{2, 0}));
    EXPECT_EQ(rows[3], (std::pair<int, int>{3, 0}));
    EXPECT_EQ(rows[66], (std::pair<int, int>{3, 63}));
    EXPECT_EQ(rows[67], (std::pair<int, int>{0, 0}));
}

TEST(SongPosition, PatternLoopPlaysItsRowsAsOftenAsAsked) {
    // E60 on row 4, E62 on row 8: rows 4 to 8 three times, then row 9.
    XmSong song = positionSong({0}, {12});
    song.patterns[0].at(4, 1) = {0, 0, 0, 0x0E, 0x60};
    song.patterns[0].at(8, 1) = {0, 0, 0, 0x0E, 0x62};
    SongPlayer p(song);
    Rows expected;
    for (int row = 0; row < 4; ++row)
        expected.emplace_back(0, row);
    for (int pass = 0; pass < 3; ++pass)
        for (int row = 4; row <= 8; ++row)
            expected.emplace_back(0, row);
    expected.emplace_back(0, 9);
    EXPECT_EQ(p.rowsRead(int(expected.size())), expected);
    EXPECT_EQ(p.channel(1).loopCount, 0);
}

TEST(SongPosition, PatternLoopGivesWayToABreakOnTheSameRow) {
    XmSong song = positionSong({0, 0}, {8});
    song.patterns[0].at(0, 1) = {0, 0, 0, 0x0E, 0x60};
    song.patterns[0].at(2, 1) = {0, 0, 0, 0x0E, 0x61};
    song.patterns[0].at(2, 0) = {0, 0, 0, 0x0D, 0x05};
    SongPlayer p(song);
    EXPECT_EQ(p.rowsRead(4), (Rows{{0, 0}, {0, 1}, {0, 2}, {1, 5}}));
}

TEST(SongPosition, PatternDelayAtSpeedSixLasts18Ticks) {
    XmSong song = positionSong({0}, {4});
    song.speed = 6;
    song.patterns[0].at(1, 0) = {0, 0, 0, 0x0E, 0xE1};  // the last EEx of the row counts
    song.patterns[0].at(1, 1) = {0, 0, 0, 0x0E, 0xE2};
    SongPlayer p(song);
    p.ticks(6);
    std::vector<int> ticks;
    for (int i = 0; i < 18; ++i) {
        ticks.push_back(p.player->tick);
        p.tick();
        EXPECT_EQ(p.player->row, 1);
    }
    for (int i = 0; i < 18; ++i)
        EXPECT_EQ(ticks[i], i);
    EXPECT_EQ(p.player->tick, 0);
    EXPECT_EQ(p.player->patternDelayTicks, 0);
    p.tick();
    EXPECT_EQ(p.player->row, 2);
}

TEST(SongPosition, SpeedAndTempo) {
    XmSong song = positionSong({0}, {8}, 1);
    song.speed = 3;
    song.patterns[0].at(0, 0) = {0, 0, 0, 0x0F, 0x1F};
    song.patterns[0].at(1, 0) = {0, 0, 0, 0x0F, 0x20};
    song.patterns[0].at(2, 0) = {0, 0, 0, 0x0F, 0x00};
    SongPlayer p(song);
    EXPECT_EQ(p.player->samplesPerTick, 882);  // 125 BPM
    p.tick();
    EXPECT_EQ(p.player->speed, 31);
    p.ticks(30);
    EXPECT_EQ(p.player->tick, 0);
    p.tick();
    EXPECT_EQ(p.player->bpm, 32);
    EXPECT_EQ(p.player->samplesPerTick, 3445);
    p.ticks(30);
    p.tick();  // F00: every tick now reads a row
    EXPECT_EQ(p.player->speed, 0);
    EXPECT_EQ(p.rowsRead(3), (Rows{{0, 3}, {0, 4}, {0, 5}}));
}

// Tick 0: notes, instruments, the volume column.

TEST(RowProcessing, NoteWithInstrumentStartsTheSampleAtItsVolumeAndPanning) {
    XmSong song = oneChannel();
    song.instruments[0].samples[0].volume = 40;
    song.instruments[0].samples[0].panning = 200;
    song.patterns[0].at(0, 0) = {kC4, 1};
    SongPlayer p(song);
    p.tick();
    const Channel& c = p.channel();
    EXPECT_EQ(c.keyNote, 48);
    EXPECT_EQ(c.instrument, 0);
    EXPECT_EQ(c.realNote, 48);
    EXPECT_EQ(c.volume, 40);
    EXPECT_EQ(c.panning, 200);
    EXPECT_EQ(c.volumeEnvelope.value, 64);
    EXPECT_EQ(c.panningEnvelope.value, 32);
    EXPECT_EQ(c.fadeoutVolume, 65536);
    const Voice& v = p.voice();
    EXPECT_EQ(&v, &p.voiceAt(0));
    EXPECT_EQ(v.sample, p.module->instruments[0].samples[0]);
    EXPECT_EQ(v.mixPanning, 200);
    EXPECT_EQ(v.currentLeft, 0);  // fades in
}

TEST(RowProcessing, InstrumentWithoutNoteResetsTheSoundButKeepsItPlaying) {
    XmSong song = oneChannel();
    song.patterns[0].at(0, 0) = {kC4, 1, 0x20, 0x08, 0x10};  // volume 16, panning 16
    song.patterns[0].at(1, 0) = {0, 1};
    SongPlayer p(song);
    p.ticks(6, true);
    EXPECT_EQ(p.channel().volume, 16);
    EXPECT_EQ(p.channel().panning, 16);
    const int32_t position = p.voice().positionWhole;
    EXPECT_GT(position, 0);
    p.tick();
    EXPECT_EQ(p.channel().volume, 64);
    EXPECT_EQ(p.channel().panning, 128);
    EXPECT_EQ(&p.voice(), &p.voiceAt(0));
    EXPECT_EQ(p.voice().positionWhole, position);  // not restarted
    EXPECT_EQ(p.voice().mixPanning, 128);
}

TEST(RowProcessing, KeyOffWithInstrumentReleasesWithFreshEnvelopes) {
    XmSong song = oneChannel();
    XmInstrument& ins = song.instruments[0];
    ins.volumeEnvelope = XmEnvelope::of({{0, 64}, {10, 0}}, kEnvelopeOn | kEnvelopeSustain, 0);
    ins.fadeout = 100;
    song.patterns[0].at(0, 0) = {kC4, 1};
    song.patterns[0].at(1, 0) = {kKeyOff};
    song.patterns[0].at(2, 0) = {kKeyOff, 1};
    SongPlayer p(song);
    p.ticks(6);
    EXPECT_EQ(p.channel().keyOff, 0);
    p.ticks(3);
    EXPECT_EQ(p.channel().keyOff, 1);
    EXPECT_EQ(p.channel().fadeoutVolume, 65536 - 3 * 200);
    EXPECT_LT(p.channel().volumeEnvelope.value, 64);
    p.ticks(3);
    p.tick();  // key off with the instrument: set-up, then release
    EXPECT_EQ(p.channel().keyOff, 1);
    EXPECT_EQ(p.channel().fadeoutVolume, 65536 - 200);
    EXPECT_EQ(p.channel().volumeEnvelope.value, 64);
    EXPECT_EQ(p.channel().volumeEnvelope.point, 1);  // left the sustain point at once
}

TEST(RowProcessing, ReleasedNoteWithoutVolumeEnvelopeFallsSilent) {
    XmSong song = oneChannel();
    song.patterns[0].at(0, 0) = {kC4, 1};
    song.patterns[0].at(1, 0) = {0, 0, 0, 20, 0};  // K00
    SongPlayer p(song);
    p.ticks(6);
    EXPECT_EQ(p.voice().volume, 127);
    p.tick();
    EXPECT_EQ(p.channel().keyOff, 1);
    EXPECT_EQ(p.channel().volumeEnvelope.value, 0);
    EXPECT_EQ(p.voice().volume, 0);
}

TEST(RowProcessing, TonePortamentoWithInstrumentKeepsTheChannelsInstrument) {
    XmSong song = oneChannel();
    song.instruments[0].samples[0].volume = 48;
    XmSample quiet = longLoop(20);
    quiet.relativeNote = 12;
    song.addInstrument(quiet);
    song.patterns[0].at(0, 0) = {kC4, 1, 0x30};
    song.patterns[0].at(1, 0) = {kC4 + 12, 2, 0, 0x03, 0x10};
    SongPlayer p(song);
    p.ticks(6, true);
    const Voice* voice = &p.voice();
    p.tick();
    const Channel& c = p.channel();
    EXPECT_EQ(c.instrument, 0);
    EXPECT_EQ(c.keyNote, 48);
    EXPECT_EQ(c.volume, 48);  // set-up with the sample still playing
    EXPECT_EQ(c.realNote, 60);
    EXPECT_EQ(c.notePeriod, 3840);
    EXPECT_EQ(c.portaTarget, 3840);
    EXPECT_EQ(c.portaSpeed, 0x10);
    EXPECT_EQ(c.period, 4608);
    EXPECT_EQ(&p.voice(), voice);  // no note start
    p.tick();
    EXPECT_EQ(c.period, 4608 - 64);
}

// The value of a channel field after each tick of one row of speed 6.
template <typename Field>
std::vector<int> overRow(SongPlayer& p, Field field) {
    std::vector<int> values;
    for (int t = 0; t < 6; ++t) {
        p.tick();
        values.push_back(field(p.channel()));
    }
    return values;
}

TEST(RowProcessing, VolumeColumn) {
    XmSong song = oneChannel();
    XmPattern& rows = song.patterns[0];
    rows.at(0, 0) = {kC4, 1, 0x50};
    rows.at(1, 0) = {0, 0, 0x8F};  // fine down 15, tick 0 only
    rows.at(2, 0) = {0, 0, 0x62};  // slide down 2, tick 0 and every tick
    rows.at(3, 0) = {0, 0, 0x9F};  // fine up 15
    rows.at(4, 0) = {0, 0, 0x7F};  // slide up, not above 64
    rows.at(5, 0) = {0, 0, 0x55};  // above set-volume range: nothing
    rows.at(6, 0) = {0, 0, 0xC3};  // panning 48
    rows.at(7, 0) = {0, 0, 0xD4};  // panning slide left
    rows.at(8, 0) = {0, 0, 0xC0};
    rows.at(9, 0) = {0, 0, 0xD2};  // no lower limit
    rows.at(10, 0) = {0, 0, 0xE4};
    rows.at(11, 0) = {0, 0, 0x1A};  // volume 10
    SongPlayer p(song);
    auto volume = [](const Channel& c) { return c.volume; };
    auto panning = [](const Channel& c) { return c.panning; };
    using V = std::vector<int>;
    EXPECT_EQ(overRow(p, volume), (V{64, 64, 64, 64, 64, 64}));
    EXPECT_EQ(overRow(p, volume), (V{49, 49, 49, 49, 49, 49}));
    EXPECT_EQ(overRow(p, volume), (V{47, 45, 43, 41, 39, 37}));
    EXPECT_EQ(overRow(p, volume), (V{52, 52, 52, 52, 52, 52}));
    EXPECT_EQ(overRow(p, volume), (V{64, 64, 64, 64, 64, 64}));
    EXPECT_EQ(overRow(p, volume), (V{64, 64, 64, 64, 64, 64}));
    EXPECT_EQ(overRow(p, panning), (V{48, 48, 48, 48, 48, 48}));
    EXPECT_EQ(overRow(p, panning), (V{44, 40, 36, 32, 28, 24}));
    EXPECT_EQ(overRow(p, panning), (V{0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(overRow(p, panning), (V{-2, -4, -6, -8, -10, -12}));
    EXPECT_EQ(p.voice().mixPanning, 0);  // limited only in the voice
    EXPECT_EQ(p.voice().rightLevel, p.voice().mixVolume);
    EXPECT_EQ(overRow(p, panning), (V{-8, -4, 0, 4, 8, 12}));
    EXPECT_EQ(overRow(p, volume), (V{10, 10, 10, 10, 10, 10}));
}

TEST(RowProcessing, VolumeColumnTonePortamentoHoldsBackTheStartOnly) {
    XmSong song = oneChannel();
    song.patterns[0].at(0, 0) = {kC4, 1};
    song.patterns[0].at(1, 0) = {kC4 + 12, 0, 0xF2};
    SongPlayer p(song);
    p.ticks(6, true);
    const Voice* voice = &p.voice();
    p.tick();
    const Channel& c = p.channel();
    EXPECT_EQ(c.portaSpeed, 0x20);
    EXPECT_EQ(c.portaTarget, 3840);
    EXPECT_EQ(c.period, 3840);  // the note has already moved the period
    EXPECT_EQ(&p.voice(), voice);
    EXPECT_EQ(p.voice().frequency, 16726);
}

TEST(RowProcessing, SetVolumeHasNoLimitUntilASlideClampsIt) {
    XmSong song = oneChannel();
    song.patterns[0].at(0, 0) = {kC4, 1, 0, 0x0C, 0x50};
    song.patterns[0].at(1, 0) = {0, 0, 0, 0x0A, 0x10};
    SongPlayer p(song);
    p.tick();
    EXPECT_EQ(p.channel().volume, 80);
    p.ticks(5);
    EXPECT_EQ(p.channel().volume, 80);
    p.tick();
    EXPECT_EQ(p.channel().volume, 80);
    p.tick();
    EXPECT_EQ(p.channel().volume, 64);
}

TEST(RowProcessing, InstrumentBeyondTheSongPlaysSilence) {
    XmSong song = oneChannel();
    song.instruments[0].noteSampleMap[50] = 7;  // D-4 maps to a slot without a sample
    song.patterns[0].at(0, 0) = {kC4, 9};
    song.patterns[0].at(1, 0) = {kC4 + 2, 1, 0, 0x0E, 0x5F};
    SongPlayer p(song);
    p.tick();
    EXPECT_EQ(p.channel().instrument, 8);
    EXPECT_EQ(p.voice().sample, emptySample());
    EXPECT_EQ(p.channel().volume, 0);
    p.ticks(6, true);
    EXPECT_EQ(p.voice().sample, nullptr);   // the mixer ended the empty sample
    EXPECT_EQ(emptySample()->finetune, 0);  // E5F leaves the shared empty sample alone
}

TEST(RowProcessing, SetFinetuneHoldsForEveryNoteOfTheSampleInThatPlayback) {
    XmSong song = oneChannel();
    song.channels = 2;
    song.patterns.clear();
    song.addPattern(4).at(0, 0) = {kC4, 1, 0, 0x0E, 0x58};
    song.patterns[0].at(1, 1) = {kC4, 1};
    SongPlayer p(song);
    const Sample& sample = *p.module->instruments[0].samples[0];
    p.tick();
    EXPECT_EQ(finetuneOf(*p.player, sample), 8);
    EXPECT_EQ(p.channel(0).period, 4608);  // the note was read before the effect
    p.ticks(6);
    EXPECT_EQ(p.channel(1).period, 4604);  // another channel's note of the sample
    EXPECT_EQ(sample.finetune, 0);         // the song itself is left as loaded
    // A new playback starts from the finetune the song was loaded with.
    startSong(*p.player, p.module);
    EXPECT_EQ(finetuneOf(*p.player, sample), 0);
}

TEST(RowProcessing, SampleOffset) {
    XmSong song = oneChannel();
    song.patterns[0].at(0, 0) = {kC4, 1, 0, 0x09, 0x02};  // 512: inside the 1000 values
    song.patterns[0].at(1, 0) = {kC4, 1, 0, 0x09, 0x00};  // the memory: 512 again
    song.patterns[0].at(2, 0) = {0, 0, 0, 0x09, 0x04};    // 1024: beyond, rewinds
    SongPlayer p(song);
    p.tick();
    EXPECT_EQ(p.voice().positionWhole, 512);
    EXPECT_EQ(p.voice().startOffset, 0);
    p.ticks(5, true);
    p.tick();
    EXPECT_EQ(p.channel().sampleOffsetMemory, 2);
    EXPECT_EQ(&p.voice(), &p.voiceAt(32));
    EXPECT_EQ(p.voice().positionWhole, 512);
    p.ticks(5, true);
    EXPECT_NE(p.voice().positionWhole, 512);
    p.tick();
    EXPECT_EQ(&p.voice(), &p.voiceAt(32));
    EXPECT_EQ(p.voice().positionWhole, 0);
    EXPECT_EQ(p.voice().positionFraction, 0u);
}

TEST(RowProcessing, TremoloOffsetStaysInTheVolumeWhenTheTremoloEnds) {
    XmSong song = oneChannel();
    song.patterns[0].at(0, 0) = {kC4, 1, 0x30, 0x07, 0x44};
    SongPlayer p(song);
    const std::vector<int> offsets = overRow(p, [](const Channel& c) { return c.volumeOffset; });
    EXPECT_EQ(offsets, (std::vector<int>{0, 0, 6, 11, 14, 15}));
    EXPECT_EQ(p.channel().volume, 32);
    p.tick();
    EXPECT_EQ(p.channel().volume, 47);
    EXPECT_EQ(p.channel().volumeOffset, 0);
}

// The frames of a song's first ticks, mixed as the stream mixes them.
std::vector<float> mixedTicks(const XmSong& song, int ticks) {
    SongPlayer p(song);
    std::vector<float> mixed;
    for (int t = 0; t < ticks; ++t) {
        p.tick(true);
        mixed.insert(mixed.end(), p.frames.begin(), p.frames.end());
    }
    return mixed;
}

TEST(RowProcessing, NoteOutsideThePlayableRangeIsNoNote) {
    // Instrument 2's sample lies 30 semitones up, instrument 3's 20 down, so notes 90 and 20
    // fall just outside C-0..A#9 with them, 89 and 21 just inside. A row with a note outside
    // sounds exactly as without it, whatever its instrument, volume and effect; one inside plays.
    XmSong song = oneChannel(12, 3);
    for (int8_t relativeNote : {30, -20})
        song.addInstrument(longLoop(40)).samples[0].relativeNote = relativeNote;
    XmPattern& rows = song.patterns[0];
    rows.at(0, 0) = {kC4, 1};
    rows.at(1, 0) = {90, 2, 0x30};           // 119, with an instrument and a volume
    rows.at(3, 0) = {96, 0, 0, 0x03, 0x20};  // 125 as a portamento target
    rows.at(5, 0) = {95, 0, 0, 0x0E, 0xD1};  // 124, delayed
    rows.at(7, 0) = {20, 3, 0, 0x09, 0x02};  // -1, with a sample offset
    rows.at(9, 0) = {89, 2};                 // 118
    rows.at(11, 0) = {21, 3};                // 0
    const std::vector<float> played = mixedTicks(song, 36);
    for (int row : {1, 3, 5, 7, 9, 11}) {
        XmSong without = song;
        without.patterns[0].at(row, 0).note = 0;
        EXPECT_EQ(played == mixedTicks(without, 36), row < 9) << "row " << row;
    }
}

}  // namespace
