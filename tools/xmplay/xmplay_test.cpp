// The player's parts against independent references: the deck with a device whose play
// position the test moves, against a second player rendering the same song straight; the
// pattern view's text against the song's own cells; the key reader against the bytes
// terminals send.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "cells/cell_frame.h"
#include "deck.h"
#include "keys.h"
#include "player_screen.h"
#include "terminal/cp437.h"
#include "xm_player_songs.h"
#include "xmengine.h"

namespace {

// A device that plays nothing: its position is what the test sets, and it tells whether it
// is playing.
struct TestDevice {
    static inline uint64_t positionBytes = 0;
    static inline bool playing = false;
    static inline int16_t* ring = nullptr;
};

const OutputDevice kTestDevice = {
    [](int32_t) { return true; },
    [](int16_t* buffer, uint32_t) { TestDevice::ring = buffer; },
    [] {
        TestDevice::positionBytes = 0;
        TestDevice::playing = true;
    },
    [] { return TestDevice::playing ? TestDevice::positionBytes : uint64_t{0}; },
    [] {},
    [] {
        TestDevice::positionBytes = 0;
        TestDevice::playing = false;
    },
    [] { TestDevice::ring = nullptr; },
    [] {},
};

void moveDevice(Deck& deck, int64_t frame) {
    TestDevice::positionBytes = static_cast<uint64_t>(frame) * kFrameBytes;
    refillDeck(deck);
}

xme_song* loadSong(const std::vector<uint8_t>& image) {
    xme_song* song = nullptr;
    char message[256];
    EXPECT_EQ(xme_song_load_memory(image.data(), image.size(), &song, message, sizeof message),
              XME_OK)
        << message;
    return song;
}

// A player rendering the song straight from its start, one frame at a time on request.
struct Reference {
    xme_player* player = nullptr;
    int64_t rendered = 0;
    explicit Reference(xme_song* song) {
        xme_player_create(kDeckRate, &player);
        xme_player_start(player, song);
    }
    ~Reference() { xme_player_free(player); }
    // Where the song is at frame (the position of the tick that frame belongs to).
    xme_position at(int64_t frame) {
        std::vector<int16_t> buffer(2 * 4096);
        while (rendered <= frame) {
            const int32_t n = static_cast<int32_t>(std::min<int64_t>(4096, frame + 1 - rendered));
            xme_render_s16(player, buffer.data(), n);
            rendered += n;
        }
        xme_position position{};
        xme_player_position(player, &position);
        return position;
    }
};

void expectSameRow(const HeardPosition& heard, const xme_position& reference, int64_t frame) {
    EXPECT_EQ(heard.songFrame, frame);
    EXPECT_EQ(heard.order, reference.order) << "at frame " << frame;
    EXPECT_EQ(heard.pattern, reference.pattern) << "at frame " << frame;
    EXPECT_EQ(heard.row, reference.row) << "at frame " << frame;
    EXPECT_EQ(heard.speed, reference.speed) << "at frame " << frame;
    EXPECT_EQ(heard.tempo, reference.tempo) << "at frame " << frame;
}

Deck testDeck;

}  // namespace

// The row shown is the row whose frame leaves the device, not the row being mixed a ring ahead,
// through speed and tempo changes, a pattern delay, a break and the jump that ends the song;
// the song is finished once its last frame has been played.
TEST(Deck, TheRowShownIsTheRowPlayingAtTheDevicesPosition) {
    xme_song* song = loadSong(notationSong());
    ASSERT_TRUE(openDeck(testDeck, &kTestDevice));
    ASSERT_EQ(startDeck(testDeck, song, 0), XME_OK);
    int64_t length = 0;
    ASSERT_EQ(xme_player_song_length(testDeck.player, &length, nullptr), XME_OK);
    Reference reference(song);
    for (int64_t frame = 0; frame < length; frame += 997) {
        moveDevice(testDeck, frame);
        const HeardPosition heard = heardPosition(testDeck);
        ASSERT_FALSE(heard.finished) << frame;
        expectSameRow(heard, reference.at(frame), frame);
        if (::testing::Test::HasFailure()) break;
    }
    moveDevice(testDeck, length - 1);
    EXPECT_FALSE(heardPosition(testDeck).finished);
    moveDevice(testDeck, length);
    EXPECT_TRUE(heardPosition(testDeck).finished);
    EXPECT_EQ(testDeck.lateBlocks, 0u);
    closeDeck(testDeck);
    xme_song_free(song);
}

// A pause silences the device at once and holds the position heard; the resume plays on from
// that very frame, the ring holding what a straight render gives from there.
TEST(Deck, PauseHoldsTheFrameHeardAndResumePlaysOnFromIt) {
    xme_song* song = loadSong(playerTune("Paused", 4, 0));
    ASSERT_TRUE(openDeck(testDeck, &kTestDevice));
    ASSERT_EQ(startDeck(testDeck, song, 0), XME_OK);
    const int64_t pausedAt = 123457;
    for (int64_t frame = 0; frame <= pausedAt; frame += 20000)
        moveDevice(testDeck, frame);
    moveDevice(testDeck, pausedAt);
    pauseDeck(testDeck);
    EXPECT_FALSE(TestDevice::playing);
    const HeardPosition paused = heardPosition(testDeck);
    EXPECT_EQ(paused.songFrame, pausedAt);
    moveDevice(testDeck, 30000);  // time passes; nothing plays
    EXPECT_EQ(heardPosition(testDeck).songFrame, pausedAt);
    EXPECT_EQ(heardPosition(testDeck).row, paused.row);

    resumeDeck(testDeck);
    EXPECT_TRUE(TestDevice::playing);
    Reference reference(song);
    reference.at(pausedAt - 1);
    std::vector<int16_t> straight(2 * size_t{kDeckRingFrames});
    xme_render_s16(reference.player, straight.data(), kDeckRingFrames);
    ASSERT_EQ(std::memcmp(TestDevice::ring, straight.data(), straight.size() * 2), 0)
        << "the ring after the resume is not the song from the frame heard";
    moveDevice(testDeck, 5000);
    Reference fresh(song);
    expectSameRow(heardPosition(testDeck), fresh.at(pausedAt + 5000), pausedAt + 5000);
    closeDeck(testDeck);
    xme_song_free(song);
}

// The next and previous orders are heard at once, from their first row; there is no order
// past the last. A muted channel is silent at once.
TEST(Deck, OrdersAndMutesAreHeardAtOnce) {
    xme_song* song = loadSong(playerTune("Orders", 3, 0));
    ASSERT_TRUE(openDeck(testDeck, &kTestDevice));
    ASSERT_EQ(startDeck(testDeck, song, 0), XME_OK);
    moveDevice(testDeck, 50000);  // order 0, row 9
    ASSERT_EQ(heardPosition(testDeck).order, 0);
    stepDeckOrder(testDeck, 1);
    HeardPosition heard = heardPosition(testDeck);
    EXPECT_EQ(heard.order, 1);
    EXPECT_EQ(heard.row, 0);
    stepDeckOrder(testDeck, 1);
    EXPECT_EQ(heardPosition(testDeck).order, 2);
    moveDevice(testDeck, 30000);
    const int rowBefore = heardPosition(testDeck).row;
    stepDeckOrder(testDeck, 1);  // past the last order: nothing changes
    EXPECT_EQ(heardPosition(testDeck).order, 2);
    EXPECT_EQ(heardPosition(testDeck).row, rowBefore);
    stepDeckOrder(testDeck, -1);
    EXPECT_EQ(heardPosition(testDeck).order, 1);
    EXPECT_EQ(heardPosition(testDeck).row, 0);

    moveDevice(testDeck, 2000);  // the first notes of order 1 sound
    ASSERT_GT(heardPosition(testDeck).levels[0], 0);
    toggleDeckMute(testDeck, 0);
    moveDevice(testDeck, 2000);
    EXPECT_EQ(heardPosition(testDeck).levels[0], 0);
    EXPECT_GT(heardPosition(testDeck).levels[2], 0);
    closeDeck(testDeck);
    xme_song_free(song);
}

namespace {

// The text of a frame's cells from column x of row y, as UTF-8.
std::string textAt(const TextFrame& frame, int x, int y, int length) {
    std::string text;
    for (int k = 0; k < length; ++k) {
        const char32_t point =
            kCp437CodePoints[cellCharacter(frame.cells[y * frame.columns + x + k])];
        if (point < 0x80) {
            text += static_cast<char>(point);
        } else {
            const Utf8Glyph& glyph =
                kCp437Utf8[cellCharacter(frame.cells[y * frame.columns + x + k])];
            text.append(glyph.bytes, glyph.length);
        }
    }
    return text;
}

// A cell in tracker notation, written out here from the format's description.
std::string notation(const xme_cell& cell) {
    static const char* const kNames[] = {"C-", "C#", "D-", "D#", "E-", "F-",
                                         "F#", "G-", "G#", "A-", "A#", "B-"};
    static const char* const kVolumeSigns[] = {"-", "+", "▼", "▲", "S", "V", "P", "◄", "►", "M"};
    char buffer[16];
    std::string text;
    if (cell.note == 0) {
        text = "···";
    } else if (cell.note == 97) {
        text = "===";
    } else {
        text = std::string(kNames[(cell.note - 1) % 12]) + std::to_string((cell.note - 1) / 12);
    }
    text += ' ';
    if (cell.instrument == 0) {
        text += "··";
    } else {
        std::snprintf(buffer, sizeof buffer, "%02X", cell.instrument);
        text += buffer;
    }
    text += ' ';
    if (cell.volume < 0x10) {
        text += "··";
    } else if (cell.volume <= 0x50) {
        std::snprintf(buffer, sizeof buffer, "%02X", cell.volume - 0x10);
        text += buffer;
    } else {
        std::snprintf(buffer, sizeof buffer, "%X", cell.volume & 15);
        text += std::string(kVolumeSigns[cell.volume / 16 - 6]) + buffer;
    }
    text += ' ';
    if (cell.effect == 0 && cell.parameter == 0) {
        text += "···";
    } else {
        const char letter =
            static_cast<char>(cell.effect < 10 ? '0' + cell.effect : 'A' + cell.effect - 10);
        std::snprintf(buffer, sizeof buffer, "%c%02X", letter, cell.parameter);
        text += buffer;
    }
    return text;
}

TextFrame screenFrame;

}  // namespace

// Every cell of a song with every volume-column command and effect shows in tracker notation in
// the pattern view, the row heard in the middle of it.
TEST(PatternView, EveryCellOfTheSongShowsInTrackerNotation) {
    xme_song* song = loadSong(notationSong());
    xme_song_info info{};
    xme_song_get_info(song, &info);
    ASSERT_EQ(info.channels, 8);
    PlayerView view;
    view.song = song;
    screenFrame.columns = kRowNumberWidth + 8 * kChannelWidth - 1;
    screenFrame.rows = 3;
    uint32_t volumeKinds = 0;
    uint64_t effectKinds = 0;
    for (int pattern = 0; pattern < info.patterns; ++pattern) {
        xme_pattern_info rows{};
        xme_song_pattern_info(song, pattern, &rows);
        for (int row = 0; row < rows.rows; ++row) {
            view.heard.pattern = pattern;
            view.heard.row = row;
            drawPatternView(view, screenFrame, 0, 0, screenFrame.columns, 3);
            char number[12];
            std::snprintf(number, sizeof number, "%2d", row);
            EXPECT_EQ(textAt(screenFrame, 1, 1, 2), number) << "the row heard is the middle line";
            for (int channel = 0; channel < 8; ++channel) {
                xme_cell cell{};
                xme_song_pattern_cell(song, pattern, row, channel, &cell);
                volumeKinds |= 1u << (cell.volume >> 4);
                if (cell.effect != 0 || cell.parameter != 0)
                    effectKinds |= uint64_t{1} << cell.effect;
                ASSERT_EQ(textAt(screenFrame, kRowNumberWidth + channel * kChannelWidth, 1, 13),
                          notation(cell))
                    << "pattern " << pattern << " row " << row << " channel " << channel;
                EXPECT_EQ(cellAttribute(screenFrame.cells[screenFrame.columns + kRowNumberWidth +
                                                          channel * kChannelWidth]) >>
                              4,
                          1)
                    << "the row heard is marked";
            }
        }
    }
    EXPECT_EQ(volumeKinds, 0xFFFFu) << "every volume-column kind, and none";
    uint64_t everyEffect = 0xFFFF;  // 0-9, A-F
    for (int letter : {'G', 'H', 'K', 'L', 'P', 'R', 'T', 'X'})
        everyEffect |= uint64_t{1} << (letter - 'A' + 10);
    EXPECT_EQ(effectKinds, everyEffect) << "every effect";
    // A few cells written out whole.
    view.heard = {};
    drawPatternView(view, screenFrame, 0, 0, screenFrame.columns, 3);
    EXPECT_EQ(textAt(screenFrame, kRowNumberWidth, 1, 13), "C-4 01 00 ···");
    EXPECT_EQ(textAt(screenFrame, kRowNumberWidth + 4 * kChannelWidth, 1, 13), "C-0 01 ·· ···");
    view.heard.row = 2;
    drawPatternView(view, screenFrame, 0, 0, screenFrame.columns, 3);
    EXPECT_EQ(textAt(screenFrame, kRowNumberWidth + 4 * kChannelWidth, 1, 13), "=== ·· ·· ···");
    view.heard.row = 22;
    drawPatternView(view, screenFrame, 0, 0, screenFrame.columns, 3);
    EXPECT_EQ(textAt(screenFrame, kRowNumberWidth, 1, 13), "B-4 01 ◄2 ···");
    xme_song_free(song);
}

// A terminal too small shows the position line first; a large one every channel and the
// instrument names; no line runs past the frame's width.
TEST(PlayerScreen, SmallTerminalsShowThePositionFirstAndLargeOnesEverything) {
    xme_song* song = loadSong(notationSong());
    PlayerView view;
    view.song = song;
    view.fileName = "every_effect.xm";
    view.fileNumber = 1;
    view.fileCount = 2;
    view.heard.order = 1;
    view.heard.pattern = 1;
    view.heard.row = 5;
    view.lengthFrames = 44100 * 75;
    for (int rows : {1, 2}) {
        screenFrame.columns = 30;
        screenFrame.rows = rows;
        drawPlayerScreen(view, screenFrame);
        EXPECT_EQ(textAt(screenFrame, 0, 0, 30), " Order 1/2  Pattern 1  Row 5/3");
    }
    screenFrame.columns = 200;
    screenFrame.rows = 60;
    drawPlayerScreen(view, screenFrame);
    std::string all;
    for (int y = 0; y < 60; ++y)
        all += textAt(screenFrame, 0, y, 200) + "\n";
    EXPECT_NE(all.find("Every effect"), std::string::npos);
    EXPECT_NE(all.find("every_effect.xm"), std::string::npos);
    EXPECT_NE(all.find("8 channels"), std::string::npos);
    EXPECT_NE(all.find("linear frequencies"), std::string::npos);
    EXPECT_NE(all.find("1:15"), std::string::npos);
    EXPECT_NE(all.find(" 8 "), std::string::npos) << "channel 8's column";
    EXPECT_NE(all.find("soft square"), std::string::npos);
    EXPECT_NE(all.find("pluck"), std::string::npos);
    xme_song_free(song);
}

namespace {

std::vector<Key> keysOf(KeyReader& reader, const std::string& bytes, uint32_t now = 0) {
    Key keys[32];
    const int count = readKeys(reader, bytes.data(), bytes.size(), now, keys, 32);
    return std::vector<Key>(keys, keys + count);
}

std::string commands(const std::vector<Key>& keys) {
    std::string text;
    for (const Key& key : keys) {
        static const char kLetters[] = "SLRnpMq";
        text += kLetters[static_cast<int>(key.command)];
        if (key.command == KeyCommand::ToggleMute) text += static_cast<char>('0' + key.channel);
    }
    return text;
}

}  // namespace

// The keys come out of what terminals send; pastes, mouse reports, replies and other
// sequences give none, even where their bytes spell keys.
TEST(Keys, KeysComeOutOfTerminalBytesAndEverythingElseIsPassedOver) {
    KeyReader reader;
    EXPECT_EQ(commands(keysOf(reader, " nNpq1290")), "SnnpqM0M1M8M9");
    EXPECT_EQ(commands(keysOf(reader, "\x1b[C\x1b[D\x1bOC\x1bOD\x1b[1;5C")), "RLRLR");
    EXPECT_EQ(commands(keysOf(reader, "\x1b[200~q n 1\x1b[2 paste\x1b[201~ ")), "S");
    EXPECT_EQ(commands(keysOf(reader, "\x1b[M qq")), "") << "an old-style mouse report";
    EXPECT_EQ(commands(keysOf(reader, "\x1b[<0;10;5M\x1b[?1;2c\x1b]11;rgb:0/0/0\x07\x1b[15~")), "");
    EXPECT_TRUE(keysOf(reader, "\x1b[").empty());
    EXPECT_EQ(commands(keysOf(reader, "C")), "R") << "a sequence split between reads";
    EXPECT_EQ(commands(keysOf(reader, "xyz\t\r")), "");

    // A lone Esc is the Esc key once nothing has followed it for a moment.
    Key keys[4];
    EXPECT_TRUE(keysOf(reader, "\x1b", 1000).empty());
    EXPECT_EQ(readPause(reader, 1000 + kLoneEscapeMilliseconds - 1, keys, 4), 0);
    ASSERT_EQ(readPause(reader, 1000 + kLoneEscapeMilliseconds, keys, 4), 1);
    EXPECT_EQ(keys[0].command, KeyCommand::Quit);
    // A sequence cut short is given up, and the keys after it count again.
    EXPECT_TRUE(keysOf(reader, "\x1b[12", 2000).empty());
    EXPECT_EQ(readPause(reader, 2000 + kAbandonedSequenceMilliseconds, keys, 4), 0);
    EXPECT_EQ(commands(keysOf(reader, "q", 2600)), "q");
}
