#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "engine/file_access.h"
#include "engine/module.h"
#include "engine/output.h"
#include "song_player.h"
#include "xm_corpus.h"

namespace {

// A module that is released when the test ends, or the reason it was refused.
struct Loaded {
    LoadProblem problem = {};
    Module* module;
    explicit Loaded(const std::vector<uint8_t>& image) : module(loadXmImage(image, &problem)) {}
    explicit Loaded(const XmSong& song) : Loaded(buildXm(song)) {}
    ~Loaded() { freeModule(module); }
    Module* operator->() const { return module; }
    explicit operator bool() const { return module != nullptr; }
};

XmSong songWithPattern(std::vector<uint8_t> packed, int rows, int channels) {
    XmSong song;
    song.channels = channels;
    song.addPattern(rows).packed = std::move(packed);
    return song;
}

std::vector<int16_t> values(const Sample* s, uint32_t count) {
    return std::vector<int16_t>(s->data, s->data + count);
}

TEST(ModuleLoader, WellFormedSongLoadsAsWritten) {
    XmSong song;
    song.channels = 3;
    song.orders = {1, 0, 1, 1};
    song.restartPosition = 2;
    song.flags = 1;
    song.speed = 5;
    song.bpm = 140;
    song.addPattern(2).at(1, 2) = {49, 1, 0x30, 0x0C, 0x20};
    song.addPattern(5).at(4, 0) = {97, 0, 0, 0x14, 0};
    XmInstrument& ins = song.addInstrument(XmSample::forwardLoop({1, 2, 3, 4, 5, 6}, 1, 4));
    ins.samples[0].volume = 48;
    ins.samples[0].finetune = -16;
    ins.samples[0].panning = 200;
    ins.samples[0].relativeNote = -12;
    ins.noteSampleMap[95] = 3;
    ins.volumeEnvelope = XmEnvelope::of({{0, 64}, {10, 32}, {30, 0}}, 7, 1, 0, 1);
    ins.panningEnvelope = XmEnvelope::of({{0, 32}, {5, 0}}, 1, 0, 0, 1);
    ins.vibratoType = 2;
    ins.vibratoSweep = 3;
    ins.vibratoDepth = 4;
    ins.vibratoRate = 5;
    ins.fadeout = 0x9000;  // doubled in 16 bits: 0x2000

    Loaded m(song);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->songLength, 4);
    EXPECT_EQ(m->restartPosition, 2);
    EXPECT_EQ(m->channelCount, 3);
    EXPECT_EQ(m->instrumentCount, 1);
    EXPECT_EQ(m->flags, 1);
    EXPECT_EQ(m->defaultSpeed, 5);
    EXPECT_EQ(m->defaultBpm, 140);
    EXPECT_EQ(m->initialGlobalVolume, 64);
    EXPECT_STREQ(m->name, "test song");
    EXPECT_STREQ(m->trackerName, "xm_builder");
    EXPECT_EQ(m->formatVersion, 0x0104);
    EXPECT_EQ(m->usedPatternCount, 2);
    EXPECT_EQ(m->patternSlotCount, 2);
    EXPECT_EQ(m->orderTable[0], 1);
    EXPECT_EQ(m->orderTable[3], 1);
    EXPECT_EQ(m->orderTable[4], 0);

    EXPECT_EQ(m->patterns[0].rowCount, 2);
    const Cell& c = m->patterns[0].cells[1 * 3 + 2];
    EXPECT_EQ(c.note, 49);
    EXPECT_EQ(c.instrument, 1);
    EXPECT_EQ(c.volume, 0x30);
    EXPECT_EQ(c.effect, 0x0C);
    EXPECT_EQ(c.parameter, 0x20);
    EXPECT_EQ(m->patterns[0].cells[0].note, 0);
    EXPECT_EQ(m->patterns[1].rowCount, 5);
    EXPECT_EQ(m->patterns[1].cells[4 * 3].note, 255);
    EXPECT_EQ(m->patterns[1].cells[4 * 3].effect, 0x14);

    const Instrument& i = m->instruments[0];
    EXPECT_EQ(i.sampleCount, 1);
    EXPECT_EQ(i.noteSampleMap[95], 3);
    EXPECT_EQ(i.volumeEnvelope.pointCount, 3);
    EXPECT_EQ(i.volumeEnvelope.points[1].x, 10);
    EXPECT_EQ(i.volumeEnvelope.points[1].y, 32);
    EXPECT_EQ(i.volumeEnvelope.points[2].x, 30);
    EXPECT_EQ(i.volumeEnvelope.sustainPoint, 1);
    EXPECT_EQ(i.volumeEnvelope.loopStart, 0);
    EXPECT_EQ(i.volumeEnvelope.loopEnd, 1);
    EXPECT_EQ(i.volumeEnvelope.type, 7);
    EXPECT_EQ(i.panningEnvelope.pointCount, 2);
    EXPECT_EQ(i.panningEnvelope.points[1].x, 5);
    EXPECT_EQ(i.panningEnvelope.loopEnd, 1);
    EXPECT_EQ(i.panningEnvelope.type, 1);
    EXPECT_EQ(i.vibratoType, 2);
    EXPECT_EQ(i.vibratoSweep, 3);
    EXPECT_EQ(i.vibratoDepth, 4);
    EXPECT_EQ(i.vibratoRate, 5);
    EXPECT_EQ(i.fadeout, 0x2000);
    for (int s = 1; s < 16; ++s)
        EXPECT_EQ(i.samples[s], emptySample());

    const Sample* s = i.samples[0];
    EXPECT_EQ(s->length, 6u);
    EXPECT_EQ(s->loopStart, 1u);
    EXPECT_EQ(s->loopLength, 4u);
    EXPECT_EQ(s->loopMode, kForwardLoop);
    EXPECT_EQ(s->bits, 16);
    EXPECT_EQ(s->volume, 48);
    EXPECT_EQ(s->finetune, -16);
    EXPECT_EQ(s->panning, 200);
    EXPECT_EQ(s->relativeNote, -12);
    // The value after the loop is never played, only interpolated toward: it becomes the
    // loop's first value.
    EXPECT_EQ(values(s, 6), (std::vector<int16_t>{256, 512, 768, 1024, 1280, 512}));
}

TEST(ModuleLoader, CellsDecodeFromBothForms) {
    // 0x80 alone: an empty cell, one byte. 0x00: note 0 and four more bytes. Then a full cell
    // with key off (97) and instrument 200, a packed cell with effect and parameter only, and a
    // packed cell with note 98, which does not exist.
    std::vector<uint8_t> packed = {0x80,                          //
                                   0x00, 3,    0x10, 0x0A, 0x0F,  //
                                   97,   200,  0x20, 0x01, 0x02,  //
                                   0x98, 0x0B, 0x07,              //
                                   0x83, 98,   5};
    Loaded m(songWithPattern(packed, 5, 1));
    ASSERT_TRUE(m);
    const Cell* c = m->patterns[0].cells;
    EXPECT_EQ(c[0].note + c[0].instrument + c[0].volume + c[0].effect + c[0].parameter, 0);
    EXPECT_EQ(c[1].note, 0);
    EXPECT_EQ(c[1].instrument, 3);
    EXPECT_EQ(c[1].volume, 0x10);
    EXPECT_EQ(c[1].effect, 0x0A);
    EXPECT_EQ(c[1].parameter, 0x0F);
    EXPECT_EQ(c[2].note, 255);
    EXPECT_EQ(c[2].instrument, 0);
    EXPECT_EQ(c[2].volume, 0x20);
    EXPECT_EQ(c[3].note, 0);
    EXPECT_EQ(c[3].effect, 0x0B);
    EXPECT_EQ(c[3].parameter, 0x07);
    EXPECT_EQ(c[4].note, 0);
    EXPECT_EQ(c[4].instrument, 5);
}

TEST(ModuleLoader, PackedDataFollowsTheStoredHeaderAndDecidesWhereTheNextPatternStarts) {
    XmSong song;
    song.channels = 2;
    song.orders = {0, 1, 2};
    // Packed size 0: 7 empty rows, only the header is consumed.
    song.addPattern(7).packed = std::vector<uint8_t>{};
    // Two bytes of padding after the cells, after a header of 13 bytes whose last four would
    // read as a cell; then a pattern whose bytes stop after one cell.
    XmPattern& padded = song.addPattern(1);
    padded.packed = std::vector<uint8_t>{0x81, 10, 0x81, 11, 0xEE, 0xEE};
    padded.headerExtra = {0x83, 12, 1, 0x99};
    song.addPattern(2).packed = std::vector<uint8_t>{0x81, 12};
    Loaded m(song);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->patterns[0].rowCount, 7);
    ASSERT_NE(m->patterns[0].cells, nullptr);
    for (int k = 0; k < 14; ++k)
        EXPECT_EQ(m->patterns[0].cells[k].note, 0);
    EXPECT_EQ(m->patterns[1].cells[0].note, 10);
    EXPECT_EQ(m->patterns[1].cells[1].note, 11);
    EXPECT_EQ(m->patterns[2].cells[0].note, 12);
    EXPECT_EQ(m->patterns[2].cells[1].note, 0);
    EXPECT_EQ(m->patterns[2].cells[3].note, 0);
}

TEST(ModuleLoader, OrderEntriesBeyondStoredPatternsGetEmptyPatterns) {
    XmSong song;
    song.orders = {0, 4, 2};
    song.addPattern(3);
    Loaded m(song);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->usedPatternCount, 5);
    EXPECT_EQ(m->patternSlotCount, 5);
    EXPECT_EQ(m->patterns[0].rowCount, 3);
    for (int p = 1; p < 5; ++p) {
        EXPECT_EQ(m->patterns[p].rowCount, 64) << p;
        EXPECT_EQ(m->patterns[p].cells, nullptr) << p;
    }
    // Stored patterns that no order entry names are kept.
    XmSong spare;
    spare.orders = {0};
    spare.addPattern(1);
    spare.addPattern(2);
    Loaded n(spare);
    ASSERT_TRUE(n);
    EXPECT_EQ(n->usedPatternCount, 1);
    EXPECT_EQ(n->patternSlotCount, 2);
    EXPECT_EQ(n->patterns[1].rowCount, 2);
}

TEST(ModuleLoader, SampleDataIsWidenedAndDeltaDecoded) {
    XmSong song;
    XmSample eight;
    eight.rawData = {1, 1, 0xFE, 0x7F, 0x02};  // 1, 2, 0, 127, -127 (wraps)
    XmSample sixteen;
    sixteen.sixteenBit = true;
    sixteen.rawData = {0xFF, 0x7F, 0x02, 0x00, 0x00, 0x80};  // 32767, wraps to -32767, +32768
    XmInstrument& ins = song.addInstrument();
    ins.samples = {eight, sixteen};
    Loaded m(song);
    ASSERT_TRUE(m);
    const Sample* a = m->instruments[0].samples[0];
    EXPECT_EQ(a->length, 5u);
    EXPECT_EQ(a->bits, 16);
    EXPECT_EQ(values(a, 3), (std::vector<int16_t>{256, 512, 0}));
    EXPECT_EQ(a->data[3], 127 * 256);
    EXPECT_EQ(a->data[4], -127 * 256);
    const Sample* b = m->instruments[0].samples[1];
    EXPECT_EQ(b->length, 3u);
    EXPECT_EQ(values(b, 3), (std::vector<int16_t>{32767, -32767, 1}));
    // Eight zero values follow the data of a sample without loop.
    for (uint32_t k = 0; k < 8; ++k) {
        EXPECT_EQ(a->data[5 + k], 0);
        EXPECT_EQ(b->data[3 + k], 0);
    }
}

TEST(ModuleLoader, LoopGuardValuesContinueTheLoop) {
    XmSong song;
    XmInstrument& ins = song.addInstrument();
    ins.samples = {XmSample::forwardLoop({10, 20, 30, 40}, 1, 3),  // ends at its last value
                   XmSample::pingPongLoop({10, 20, 30, 40}, 0, 3), XmSample::oneShot({10, 20})};
    Loaded m(song);
    ASSERT_TRUE(m);
    const Sample* forward = m->instruments[0].samples[0];
    EXPECT_EQ(forward->data[4], 20 * 256);  // the loop's first value
    EXPECT_EQ(forward->data[5], 0);
    const Sample* pingPong = m->instruments[0].samples[1];
    EXPECT_EQ(pingPong->loopMode, kPingPongLoop);
    EXPECT_EQ(pingPong->data[3], 30 * 256);  // the loop's last value, over the fourth value
    const Sample* none = m->instruments[0].samples[2];
    EXPECT_EQ(none->loopMode, kNoLoop);
    EXPECT_EQ(none->loopStart, 0u);
    EXPECT_EQ(none->loopLength, 2u);
    EXPECT_EQ(none->data[2], 0);
}

TEST(ModuleLoader, LoopTypesAndEmptyLoops) {
    XmSong song;
    XmInstrument& ins = song.addInstrument();
    XmSample bothBits = XmSample::forwardLoop({1, 2, 3, 4}, 0, 4);
    bothBits.typeField = 0x03;
    XmSample zeroLength = XmSample::forwardLoop({1, 2, 3, 4}, 2, 0);
    XmSample oddLoop = XmSample::forwardLoop({1, 2, 3, 4}, 0, 0);
    oddLoop.sixteenBit = true;
    oddLoop.loopLengthField = 1;  // one byte: no whole value
    XmSample loopPointsNoType = XmSample::oneShot({1, 2, 3, 4});
    loopPointsNoType.loopStart = 1;
    loopPointsNoType.loopLength = 2;
    ins.samples = {bothBits, zeroLength, oddLoop, loopPointsNoType};
    Loaded m(song);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->instruments[0].samples[0]->loopMode, kPingPongLoop);
    for (int s = 1; s < 4; ++s) {
        const Sample* sample = m->instruments[0].samples[s];
        EXPECT_EQ(sample->loopMode, kNoLoop) << s;
        EXPECT_EQ(sample->loopStart, 0u) << s;
        EXPECT_EQ(sample->loopLength, 4u) << s;
    }
}

TEST(ModuleLoader, LoopPointsBeyondTheSampleAreCut) {
    XmSong song;
    XmInstrument& ins = song.addInstrument();
    XmSample longLoop = XmSample::forwardLoop({1, 2, 3, 4, 5, 6}, 2, 100);
    XmSample lateStart = XmSample::pingPongLoop({1, 2, 3, 4, 5, 6}, 9, 3);
    XmSample hugeLoop = XmSample::forwardLoop({1, 2, 3, 4, 5, 6}, 0, 0);
    hugeLoop.loopStartField = 0xFFFFFFF0;
    hugeLoop.loopLengthField = 0x20;  // the sum wraps in 32 bits
    ins.samples = {longLoop, lateStart, hugeLoop};
    Loaded m(song);
    ASSERT_TRUE(m);
    const Sample* a = m->instruments[0].samples[0];
    EXPECT_EQ(a->loopMode, kForwardLoop);
    EXPECT_EQ(a->loopStart, 2u);
    EXPECT_EQ(a->loopLength, 4u);
    EXPECT_EQ(a->data[6], 3 * 256);
    for (int s = 1; s < 3; ++s) {
        const Sample* b = m->instruments[0].samples[s];
        EXPECT_EQ(b->loopMode, kNoLoop) << s;
        EXPECT_EQ(b->loopStart + b->loopLength, 6u) << s;
    }
}

TEST(ModuleLoader, InstrumentSampleCounts) {
    XmSong empty;
    empty.addInstrument().headerSize = 29;
    empty.addInstrument(XmSample::oneShot({1}));
    Loaded m(empty);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->instruments[0].sampleCount, 0);
    for (const Sample* s : m->instruments[0].samples)
        EXPECT_EQ(s, emptySample());
    EXPECT_EQ(m->instruments[1].samples[0]->data[0], 256);
    EXPECT_EQ(emptySample()->data, nullptr);
    EXPECT_EQ(emptySample()->length, 0u);
    EXPECT_EQ(emptySample()->loopMode, 0);

    XmSong silent;  // a sample of no values: no data, and 16 bits like every loaded sample
    silent.addInstrument(XmSample::oneShot({}));
    Loaded n(silent);
    ASSERT_TRUE(n);
    EXPECT_EQ(n->instruments[0].samples[0]->data, nullptr);
    EXPECT_EQ(n->instruments[0].samples[0]->length, 0u);
    EXPECT_EQ(n->instruments[0].samples[0]->bits, 16);

    XmSong sixteen;
    XmInstrument& full = sixteen.addInstrument();
    for (int s = 0; s < 16; ++s)
        full.samples.push_back(XmSample::oneShot({int16_t(s)}));
    EXPECT_TRUE(Loaded(sixteen));
    full.samples.push_back(XmSample::oneShot({1}));
    EXPECT_FALSE(Loaded(sixteen));
}

TEST(ModuleLoader, EnvelopesAreKeptInsideTheirPoints) {
    XmSong song;
    XmInstrument& ins = song.addInstrument(XmSample::oneShot({1}));
    for (uint16_t k = 0; k < 12; ++k)
        ins.volumeEnvelope.points.push_back({k, 64});
    ins.volumeEnvelope.pointCountField = 200;
    ins.volumeEnvelope.type = 7;
    ins.volumeEnvelope.loopStart = 11;
    ins.panningEnvelope =
        XmEnvelope::of({{0, 1}, {2, 3}}, 7, 0, 2, 1);  // loop start beyond the two points
    XmInstrument& single = song.addInstrument(XmSample::oneShot({1}));
    single.volumeEnvelope = XmEnvelope::of({{0, 64}}, 7, 0, 0, 0);
    single.panningEnvelope = XmEnvelope::of({}, 1, 0, 0, 0);
    Loaded m(song);
    ASSERT_TRUE(m);
    EXPECT_EQ(m->instruments[0].volumeEnvelope.pointCount, 12);
    EXPECT_EQ(m->instruments[0].volumeEnvelope.type, 7);
    EXPECT_EQ(m->instruments[0].panningEnvelope.pointCount, 2);
    EXPECT_EQ(m->instruments[0].panningEnvelope.type, 3);
    EXPECT_EQ(m->instruments[1].volumeEnvelope.type, 0);
    EXPECT_EQ(m->instruments[1].panningEnvelope.type, 0);
}

TEST(ModuleLoader, RefusesWhatTheEngineCannotPlay) {
    auto loads = [](XmSong song) { return bool(Loaded(song)); };
    XmSong good;
    good.addPattern(4);
    good.addInstrument(XmSample::oneShot({1, 2, 3}));
    ASSERT_TRUE(loads(good));

    XmSong s = good;
    s.channelsField = 0;
    EXPECT_FALSE(loads(s));
    s = good;
    s.channels = 33;
    s.patterns.clear();
    s.addPattern(1);
    EXPECT_FALSE(loads(s));
    s = good;
    s.channels = 32;
    s.patterns.clear();
    s.addPattern(256);
    EXPECT_TRUE(loads(s));
    s.patterns[0].rowsField = 257;
    EXPECT_FALSE(loads(s));
    s = good;
    s.songLengthField = 0;
    EXPECT_FALSE(loads(s));
    s.songLengthField = 256;
    EXPECT_TRUE(loads(s));
    s.songLengthField = 257;
    EXPECT_FALSE(loads(s));
    s = good;
    s.patternCountField = 257;
    EXPECT_FALSE(loads(s));
    s = good;
    s.instrumentCountField = 129;
    EXPECT_FALSE(loads(s));
}

// Names come as a song shows them: to the first zero byte, unprintable bytes as '?', without
// trailing blanks.
TEST(ModuleLoader, ReadsTheNamesOfSongInstrumentsAndSamples) {
    XmSong song;
    song.title = "Dance\x07of the   ";
    song.tracker = "A tracker 2.0";
    song.version = 0x0103;
    XmInstrument& ins = song.addInstrument(XmSample::oneShot({1}));
    ins.name = "bass line\xff";
    ins.samples[0].name = std::string("kick\0hidden", 11);
    Loaded m(song);
    ASSERT_TRUE(m);
    EXPECT_STREQ(m->name, "Dance?of the");
    EXPECT_STREQ(m->trackerName, "A tracker 2.0");
    EXPECT_EQ(m->formatVersion, 0x0103);
    EXPECT_STREQ(m->instruments[0].name, "bass line?");
    EXPECT_STREQ(m->instruments[0].samples[0]->name, "kick");
}

TEST(ModuleLoader, ARefusalNamesThePartAtFault) {
    // The reason of a refused song, or "loaded".
    auto reason = [](const XmSong& song) {
        Loaded loaded(song);
        return loaded ? std::string("loaded") : std::string(loaded.problem.text);
    };
    XmSong good;
    good.addPattern(4);
    good.addPattern(4);
    good.addInstrument(XmSample::oneShot({1, 2, 3}));
    good.addInstrument(XmSample::oneShot({1, 2, 3}));
    XmSong s = good;
    s.patterns[1].rowsField = 300;
    EXPECT_EQ(reason(s), "pattern 1 has 300 rows, more than 256");
    s = good;
    s.patterns[1].headerLengthField = 8;
    EXPECT_EQ(reason(s), "pattern 1 has a header of 8 bytes, fewer than 9");
    // One byte past the end of the file, and so far that the end wraps in 32 bits.
    for (uint32_t length : {uint32_t(buildXm(good).size() - 60 - 276 + 1), 0xFFFFFFF0u}) {
        s.patterns[0].headerLengthField = length;
        EXPECT_EQ(reason(s), "pattern 0 is cut short (its header of " + std::to_string(length) +
                                 " bytes ends beyond the file)");
    }
    s = good;
    s.instruments[1].sampleCountField = 17;
    EXPECT_EQ(reason(s), "instrument 2 has 17 samples, more than 16");
    s = good;
    s.songLengthField = 0;
    EXPECT_EQ(reason(s), "the song header gives a song length of 0, not 1 to 256");
    s = good;
    s.instruments[1].samples[0].lengthField = 4;  // one byte more than the file holds
    EXPECT_EQ(reason(s),
              "the sample data of instrument 2 is cut short (4 bytes, 3 left in the file)");
    EXPECT_EQ(reason(good), "loaded");
    EXPECT_STREQ(Loaded(good).problem.text, "");
}

TEST(ModuleLoader, RefusesSizesThatPointOutsideTheFile) {
    XmSong good;
    good.addPattern(2).at(1, 1) = {20};
    good.addInstrument(XmSample::oneShot({1, 2, 3}));
    const std::vector<uint8_t> image = buildXm(good);

    // The song header size, patched into the image: just past the end, far past it, and so
    // far that 60 + size wraps in 32 bits.
    for (uint32_t size : {uint32_t(image.size() - 59), 0x7FFFFFF0u, 0xFFFFFFF0u}) {
        std::vector<uint8_t> bad = image;
        for (int k = 0; k < 4; ++k)
            bad[60 + k] = uint8_t(size >> (8 * k));
        EXPECT_FALSE(Loaded(bad)) << size;
    }

    // The instrument header size: the instrument is the last 263 + 40 + 3 bytes.
    for (uint32_t size : {uint32_t(263 + 40 + 3 + 1), 0x7FFFFFF0u, 0xFFFFFFF0u}) {
        std::vector<uint8_t> bad = image;
        const size_t start = image.size() - (263 + 40 + 3);
        for (int k = 0; k < 4; ++k)
            bad[start + k] = uint8_t(size >> (8 * k));
        EXPECT_FALSE(Loaded(bad)) << size;
    }

    XmSong s = good;
    s = good;
    s.instruments[0].samples[0].lengthField = 4;  // one byte more than the file holds
    EXPECT_FALSE(Loaded(buildXm(s)));
    s.instruments[0].samples[0].lengthField = 0xFFFFFFFF;
    EXPECT_FALSE(Loaded(buildXm(s)));

    s = good;
    s.patterns[0].packedSizeField = 60000;
    EXPECT_FALSE(Loaded(buildXm(s)));

    std::vector<uint8_t> bad = image;
    bad[3] = 'X';
    EXPECT_FALSE(Loaded(bad));
}

TEST(ModuleLoader, EveryCorpusImageCutShortLoadsOrIsRefused) {
    for (const auto& [name, image] : seedCorpus()) {
        {
            Loaded whole(image);
            EXPECT_TRUE(whole) << name;
        }
        int loaded = 0;
        for (size_t length = 0; length < image.size(); ++length) {
            std::vector<uint8_t> cut(image.begin(), image.begin() + length);
            Loaded m(cut);
            loaded += m ? 1 : 0;
        }
        // Only the bytes after the last data read may be missing: a short file is refused.
        EXPECT_EQ(loaded, 0) << name;
    }
}

TEST(MemoryFile, ReadsSeeksAndTellsInsideTheImage) {
    const uint8_t image[10] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9};
    setMemoryImage(image, 10);
    void* f = memoryOpen("ignored");
    ASSERT_NE(f, nullptr);
    uint8_t buffer[16] = {};
    EXPECT_EQ(memoryRead(buffer, 4, f), 4);
    EXPECT_EQ(buffer[3], 3);
    EXPECT_EQ(memoryTell(f), 4);
    EXPECT_EQ(memoryRead(buffer, 16, f), 6);  // up to the end
    EXPECT_EQ(buffer[0], 4);
    EXPECT_EQ(buffer[5], 9);
    buffer[0] = 77;
    EXPECT_EQ(memoryRead(buffer, 1, f), 0);  // at the end: nothing, destination unchanged
    EXPECT_EQ(buffer[0], 77);
    memorySeek(f, 2, SeekFromStart);
    EXPECT_EQ(memoryTell(f), 2);
    memorySeek(f, 3, SeekFromHere);
    EXPECT_EQ(memoryTell(f), 5);
    memorySeek(f, -1, SeekFromEnd);
    EXPECT_EQ(memoryTell(f), 9);
    memorySeek(f, 4, SeekFromEnd);
    EXPECT_EQ(memoryTell(f), 10);  // beyond the end: the end
    memorySeek(f, 1, 7);
    EXPECT_EQ(memoryTell(f), 10);  // unknown origin: unchanged
    memorySeek(f, -20, SeekFromHere);
    EXPECT_EQ(memoryTell(f), 0);  // before the start: the start
    memorySeek(f, 0x7FFFFFFF, SeekFromHere);
    memorySeek(f, 0x7FFFFFFF, SeekFromHere);
    EXPECT_EQ(memoryTell(f), 10);
    EXPECT_EQ(memoryRead(buffer, -5, f), 0);
    void* g = memoryOpen("another");
    EXPECT_NE(g, f);
    EXPECT_EQ(memoryTell(g), 0);
    memoryClose(g);
    memoryClose(f);

    setMemoryImage(nullptr, 0);
    EXPECT_EQ(memoryOpen("nothing chosen"), nullptr);
}

TEST(FileCallbacks, AllFiveOrNone) {
    XmSong song;
    const std::vector<uint8_t> image = buildXm(song);
    setMemoryImage(image.data(), int32_t(image.size()));
    setFileCallbacks(memoryOpen, memoryClose, memoryRead, memorySeek, nullptr);
    EXPECT_FALSE(haveFileCallbacks());
    EXPECT_EQ(readerOpen(registeredFileCallbacks(), "x"), nullptr);
    EXPECT_EQ(loadModule("x"), nullptr);
    setFileCallbacks(memoryOpen, memoryClose, memoryRead, memorySeek, memoryTell);
    EXPECT_TRUE(haveFileCallbacks());
    Module* m = loadModule("x");
    EXPECT_NE(m, nullptr);
    EXPECT_TRUE(freeModule(m));
    EXPECT_FALSE(freeModule(nullptr));
    setMemoryImage(nullptr, 0);
    EXPECT_EQ(loadModule("x"), nullptr);

    // The forwarders of a missing reader do nothing.
    uint8_t b = 5;
    EXPECT_EQ(readerRead(&b, 1, nullptr), 0);
    EXPECT_EQ(readerTell(nullptr), 0);
    readerSeek(nullptr, 1, SeekFromStart);
    readerClose(nullptr);
    EXPECT_EQ(b, 5);
}

TEST(FileCallbacks, DiskFilesLoadThroughTheDiskCallbacks) {
    XmSong song;
    song.addPattern(2).at(1, 3) = {61, 1};
    song.addInstrument(XmSample::forwardLoop({3, 2, 1}, 0, 3));
    const std::vector<uint8_t> image = buildXm(song);
    const std::string path = ::testing::TempDir() + "disk_callbacks_test.xm";
    std::FILE* f = std::fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(image.data(), 1, image.size(), f);
    std::fclose(f);

    setFileCallbacks(diskOpen, diskClose, diskRead, diskSeek, diskTell);
    Module* m = loadModule(path.c_str());
    ASSERT_NE(m, nullptr);
    EXPECT_EQ(m->patterns[0].cells[1 * 4 + 3].note, 61);
    EXPECT_EQ(m->instruments[0].samples[0]->data[3], 3 * 256);
    freeModule(m);
    EXPECT_EQ(loadModule((path + ".missing").c_str()), nullptr);
    std::remove(path.c_str());
}

}  // namespace
