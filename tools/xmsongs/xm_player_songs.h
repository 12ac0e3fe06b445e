// Songs for the player's checks: one whose cells hold every kind of volume-column command and
// of effect, for the pattern view's notation, and short tunes of a few orders, each with a
// title of its own, to play in a list.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "xm_builder.h"

namespace playersongs {

// One cycle of a wave of 32 values with a little of its third harmonic: a soft square.
inline std::vector<int16_t> softSquare() {
    std::vector<int16_t> values(32);
    for (int k = 0; k < 32; ++k)
        values[size_t(k)] = int16_t((k < 16 ? 90 : -90) + (k % 16 < 8 ? 20 : -20));
    return values;
}

// A rising ramp of 64 values: a saw.
inline std::vector<int16_t> saw() {
    std::vector<int16_t> values(64);
    for (int k = 0; k < 64; ++k)
        values[size_t(k)] = int16_t(4 * k - 128);
    return values;
}

}  // namespace playersongs

// Eight channels, three instruments, two patterns of 32 rows in the orders 0, 1. Between them the
// cells hold every volume-column command (set volume at both ends of its range, slides down and
// up, fine slides, vibrato speed and depth, panning, panning slides, tone portamento) and every
// effect: 0-9 and A-F, every E command, G, H, K, L, P, R, T and X1/X2; notes from C-0 to B-7
// and key off, instruments with and without notes.
inline std::vector<uint8_t> notationSong() {
    using namespace playersongs;
    XmSong song;
    song.title = "Every effect";
    song.tracker = "xm_player_songs";
    song.channels = 8;
    song.orders = {0, 1};
    XmInstrument& square = song.addInstrument(XmSample::forwardLoop(softSquare(), 0, 32));
    square.name = "soft square";
    XmInstrument& sawtooth = song.addInstrument(XmSample::forwardLoop(saw(), 0, 64));
    sawtooth.name = "saw";
    sawtooth.volumeEnvelope =
        XmEnvelope::of({{0, 64}, {16, 32}, {64, 0}}, kXmEnvelopeOn | kXmEnvelopeSustain, 1);
    XmInstrument& pluck = song.addInstrument(XmSample::oneShot(saw()));
    pluck.name = "pluck";

    XmPattern& a = song.addPattern(32);
    // Channel 0: the volume column, one kind a row.
    const uint8_t volumes[] = {0x10, 0x50, 0x30, 0x65, 0x7A, 0x83, 0x9F,
                               0xA4, 0xB8, 0xC0, 0xCF, 0xD2, 0xE6, 0xF9};
    for (int k = 0; k < 14; ++k)
        a.at(2 * k, 0) = {uint8_t(49 + k), 1, volumes[k]};
    // Channels 1-3: the effects 0-9 and A-F (B, D and F with settings that keep the song
    // playing in order), one a row.
    const XmCell effects[] = {
        {49, 2, 0, 0x00, 0x37}, {0, 0, 0, 0x01, 0x10}, {0, 0, 0, 0x02, 0x08},
        {61, 0, 0, 0x03, 0x20}, {0, 0, 0, 0x04, 0x46}, {0, 0, 0, 0x05, 0x0F},
        {0, 0, 0, 0x06, 0xA0},  {0, 0, 0, 0x07, 0x34}, {0, 0, 0, 0x08, 0x80},
        {37, 2, 0, 0x09, 0x02}, {0, 0, 0, 0x0A, 0x0F}, {0, 0, 0, 0x0C, 0x30},
        {0, 0, 0, 0x0F, 0x06},  {0, 0, 0, 0x0F, 0x7D},
    };
    for (int k = 0; k < 14; ++k)
        a.at(2 * k + 1, 1) = effects[k];
    // Channel 2: every E command.
    for (int k = 0; k < 15; ++k) {
        const uint8_t command = uint8_t(k + 1);  // E1 .. EF
        uint8_t value = command == 0x6 ? 0 : 2;  // E60 marks a loop start, E62 would loop
        if (command == 0xE) value = 1;           // a pattern delay of one row
        a.at(2 * k, 2) = {uint8_t(k == 0 ? 25 : 0), uint8_t(k == 0 ? 3 : 0), 0, 0x0E,
                          uint8_t(command << 4 | value)};
    }
    // Channel 3: the lettered effects beyond F.
    const XmCell lettered[] = {
        {73, 1, 0, 16, 0x40}, {0, 0, 0, 17, 0x01}, {0, 0, 0, 20, 0x03},
        {85, 1, 0, 21, 0x08}, {0, 0, 0, 25, 0x10}, {0, 0, 0, 27, 0x93},
        {0, 0, 0, 29, 0x21},  {0, 0, 0, 33, 0x14}, {0, 0, 0, 33, 0x22},
    };
    for (int k = 0; k < 9; ++k)
        a.at(3 * k, 3) = lettered[k];
    // Channels 4-7: the ends of the note range, key off, an instrument without a note, every
    // field at once, and a pattern break on the last row.
    a.at(0, 4) = {1, 1};   // C-0
    a.at(1, 4) = {96, 1};  // B-7
    a.at(2, 4) = {97};     // key off
    a.at(3, 5) = {0, 3};   // instrument alone
    a.at(4, 6) = {66, 3, 0x40, 0x0A, 0xF0};
    a.at(5, 7) = {0, 0, 0x20};
    a.at(31, 7) = {0, 0, 0, 0x0D, 0x00};

    XmPattern& b = song.addPattern(32);
    for (int row = 0; row < 32; row += 4)
        b.at(row, row / 4) = {uint8_t(49 + row / 2), uint8_t(1 + row % 3), 0x40};
    b.at(31, 0) = {0, 0, 0, 0x0B, 0x00};  // back to the first order: the song's loop
    return buildXm(song);
}

// A tune of 4 channels playing orders 0..orderCount-1 (patterns of 32 rows, at speed 6 and 125
// BPM: 3.84 seconds each), the melody moved up by transpose semitones; it ends where it loops.
inline std::vector<uint8_t> playerTune(const std::string& title, int orderCount, int transpose) {
    using namespace playersongs;
    XmSong song;
    song.title = title;
    song.tracker = "xm_player_songs";
    song.channels = 4;
    song.orders.clear();
    XmInstrument& lead = song.addInstrument(XmSample::forwardLoop(softSquare(), 0, 32));
    lead.name = "soft square";
    lead.volumeEnvelope =
        XmEnvelope::of({{0, 64}, {24, 40}, {96, 24}}, kXmEnvelopeOn | kXmEnvelopeSustain, 2);
    XmInstrument& bass = song.addInstrument(XmSample::forwardLoop(saw(), 0, 64));
    bass.name = "saw bass";
    const int melody[8] = {0, 4, 7, 12, 7, 4, 2, 5};
    for (int order = 0; order < orderCount; ++order) {
        song.orders.push_back(uint8_t(order));
        XmPattern& p = song.addPattern(32);
        const int root = 49 + transpose + (order % 4) * 2;
        for (int row = 0; row < 32; row += 4) {
            p.at(row, 0) = {uint8_t(root + melody[(row / 4 + order) % 8]), 1, 0x40};
            p.at(row + 2, 1) = {uint8_t(root + melody[(row / 4 + 3) % 8] + 12), 1, 0x28, 0x04,
                                0x34};
        }
        p.at(0, 2) = {uint8_t(root - 24), 2, 0x38};
        p.at(16, 2) = {uint8_t(root - 17), 2, 0x38};
        p.at(24, 3) = {97};
    }
    return buildXm(song);
}
