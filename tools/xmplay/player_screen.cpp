#include "player_screen.h"

#include <cstdio>
#include <cstring>

#include "cells/cell_frame.h"

namespace {

// Console colours: foreground in the low nibble, background in the high one.
constexpr uint8_t kPlain = 0x07;
constexpr uint8_t kDim = 0x08;
constexpr uint8_t kBright = 0x0F;
constexpr uint8_t kLabel = 0x03;
constexpr uint8_t kTitleBar = 0x17;
constexpr uint8_t kTitleText = 0x1E;
constexpr uint8_t kWarning = 0x0C;
constexpr uint8_t kNoteColour = 0x0F;
constexpr uint8_t kInstrumentColour = 0x0B;
constexpr uint8_t kVolumeColour = 0x0A;
constexpr uint8_t kEffectColour = 0x0D;
constexpr uint8_t kMutedColour = 0x04;
constexpr uint8_t kHeardRow = 0x10;  // the background of the row heard

// Code page 437 characters.
constexpr uint8_t kDot = 250;         // an empty field
constexpr uint8_t kBar = 179;         // a column separator
constexpr uint8_t kBlock = 219;       // a level bar
constexpr uint8_t kHeardMarker = 16;  // the triangle before the row heard
constexpr uint8_t kShades[4] = {176, 177, 178, 219};

// Writes text from column x of row y, cut at the frame's width and at limit; returns the column
// after it.
int put(TextFrame& frame, int x, int y, const char* text, uint8_t attribute, int limit = 1 << 30) {
    if (y < 0 || y >= frame.rows) return x;
    const int end = limit < frame.columns ? limit : frame.columns;
    for (; *text && x < end; ++text, ++x) {
        if (x >= 0)
            frame.cells[y * frame.columns + x] = makeCell(static_cast<uint8_t>(*text), attribute);
    }
    return x;
}

void putCharacter(TextFrame& frame, int x, int y, uint8_t character, uint8_t attribute) {
    if (x >= 0 && x < frame.columns && y >= 0 && y < frame.rows)
        frame.cells[y * frame.columns + x] = makeCell(character, attribute);
}

void fillRow(TextFrame& frame, int y, int from, int to, uint8_t attribute) {
    for (int x = from; x < to; ++x)
        putCharacter(frame, x, y, ' ', attribute);
}

// "m:ss", or "h:mm:ss" from an hour on.
void formatTime(int64_t frames, char (&text)[16]) {
    const int64_t seconds = frames < 0 ? 0 : frames / kDeckRate;
    if (seconds >= 3600) {
        std::snprintf(text, sizeof text, "%d:%02d:%02d", static_cast<int>(seconds / 3600),
                      static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
    } else {
        std::snprintf(text, sizeof text, "%d:%02d", static_cast<int>(seconds / 60),
                      static_cast<int>(seconds % 60));
    }
}

char hexDigit(int value) {
    return "0123456789ABCDEF"[value & 15];
}

// One cell in tracker notation: note, instrument, volume column and effect, each in its colour,
// the empty ones as dots.
void putPatternCell(TextFrame& frame, int x, int y, const xme_cell& cell, uint8_t background) {
    static const char kNoteNames[12][3] = {"C-", "C#", "D-", "D#", "E-", "F-",
                                           "F#", "G-", "G#", "A-", "A#", "B-"};
    uint8_t text[13];
    uint8_t colours[13];
    for (int k = 0; k < 13; ++k) {
        text[k] = k == 3 || k == 6 || k == 9 ? ' ' : kDot;
        colours[k] = kDim;
    }
    if (cell.note >= 1 && cell.note <= 96) {
        text[0] = static_cast<uint8_t>(kNoteNames[(cell.note - 1) % 12][0]);
        text[1] = static_cast<uint8_t>(kNoteNames[(cell.note - 1) % 12][1]);
        text[2] = static_cast<uint8_t>('0' + (cell.note - 1) / 12);
        colours[0] = colours[1] = colours[2] = kNoteColour;
    } else if (cell.note == XME_NOTE_KEY_OFF) {
        text[0] = text[1] = text[2] = '=';
        colours[0] = colours[1] = colours[2] = kPlain;
    } else if (cell.note != 0) {
        text[0] = text[1] = text[2] = '?';
        colours[0] = colours[1] = colours[2] = kWarning;
    }
    if (cell.instrument != 0) {
        text[4] = static_cast<uint8_t>(hexDigit(cell.instrument >> 4));
        text[5] = static_cast<uint8_t>(hexDigit(cell.instrument));
        colours[4] = colours[5] = kInstrumentColour;
    }
    if (cell.volume >= 0x10 && cell.volume <= 0x5F) {
        // Set volume: 00..40 in hexadecimal, as the volume is counted.
        text[7] = static_cast<uint8_t>(hexDigit((cell.volume - 0x10) >> 4));
        text[8] = static_cast<uint8_t>(hexDigit(cell.volume - 0x10));
        colours[7] = colours[8] = kVolumeColour;
    } else if (cell.volume >= 0x60) {
        // The commands, as a sign and their value: slides down and up, fine slides down and
        // up, vibrato speed and depth, panning, panning slides left and right, portamento.
        static const uint8_t kSigns[10] = {'-', '+', 31, 30, 'S', 'V', 'P', 17, 16, 'M'};
        text[7] = kSigns[(cell.volume >> 4) - 6];
        text[8] = static_cast<uint8_t>(hexDigit(cell.volume));
        colours[7] = colours[8] = kVolumeColour;
    }
    if (cell.effect != 0 || cell.parameter != 0) {
        text[10] = static_cast<uint8_t>(cell.effect < 10 ? '0' + cell.effect
                                                         : 'A' + (cell.effect - 10) % 26);
        text[11] = static_cast<uint8_t>(hexDigit(cell.parameter >> 4));
        text[12] = static_cast<uint8_t>(hexDigit(cell.parameter));
        colours[10] = colours[11] = colours[12] = kEffectColour;
    }
    // A blank takes the colour of the field before it, which looks the same and saves a slow
    // terminal a colour change.
    colours[3] = colours[2];
    colours[6] = colours[5];
    colours[9] = colours[8];
    for (int k = 0; k < 13; ++k)
        putCharacter(frame, x + k, y, text[k], static_cast<uint8_t>(colours[k] | background));
}

// A channel's level as a bar of width cells, green, then yellow, then red towards the top.
void putLevelBar(TextFrame& frame, int x, int y, int width, int level) {
    const int filled = (level * width + 32) / 64;
    for (int k = 0; k < width; ++k) {
        const int share = k * 10 / width;
        const uint8_t colour = share >= 8 ? 0x0C : share >= 6 ? 0x0E : 0x0A;
        putCharacter(frame, x + k, y, k < filled ? kBlock : kDot, k < filled ? colour : kDim);
    }
}

}  // namespace

void drawPatternView(const PlayerView& view, TextFrame& frame, int left, int top, int width,
                     int height) {
    if (height < 1 || width < 1) return;
    xme_song_info info{};
    xme_song_get_info(view.song, &info);
    int channels = patternChannelsFitting(width);
    if (channels > info.channels) channels = info.channels;
    const int right = left + width;
    for (int y = top; y < top + height; ++y)
        fillRow(frame, y, left, right, kPlain);

    // The first line: each channel's number and level, or that it is muted.
    for (int channel = 0; channel < channels; ++channel) {
        const int x = left + kRowNumberWidth + channel * kChannelWidth;
        char number[12];
        std::snprintf(number, sizeof number, "%2d", channel + 1);
        const bool muted = view.mutedChannels >> channel & 1;
        put(frame, x, top, number, muted ? kMutedColour : kPlain, right);
        if (muted) {
            put(frame, x + 3, top, "muted", kMutedColour, right);
        } else if (x + 13 <= right) {
            putLevelBar(frame, x + 3, top, 10, view.heard.levels[channel]);
        }
    }

    xme_pattern_info pattern{};
    xme_song_pattern_info(view.song, view.heard.pattern, &pattern);
    const int lines = height - 1;
    const int middle = top + 1 + (lines - 1) / 2;
    for (int y = top + 1; y < top + height; ++y) {
        const int row = view.heard.row + (y - middle);
        const uint8_t background = y == middle ? kHeardRow : 0;
        if (y == middle) fillRow(frame, y, left, right, static_cast<uint8_t>(kPlain | background));
        if (row < 0 || row >= pattern.rows) continue;
        char number[12];
        std::snprintf(number, sizeof number, "%3d", row);
        put(frame, left, y, number,
            static_cast<uint8_t>((y == middle    ? kBright
                                  : row % 4 == 0 ? kPlain
                                                 : kDim) |
                                 background),
            right);
        if (y == middle && row < 100)
            putCharacter(frame, left, y, kHeardMarker, kBright | kHeardRow);
        for (int channel = 0; channel < channels; ++channel) {
            const int x = left + kRowNumberWidth + channel * kChannelWidth;
            putCharacter(frame, x - 1, y, kBar, static_cast<uint8_t>(kDim | background));
            xme_cell cell{};
            xme_song_pattern_cell(view.song, view.heard.pattern, row, channel, &cell);
            putPatternCell(frame, x, y, cell, background);
        }
    }
}

namespace {

void drawTitleLine(const PlayerView& view, const xme_song_info& info, TextFrame& frame, int y) {
    fillRow(frame, y, 0, frame.columns, kTitleBar);
    putCharacter(frame, 1, y, 14, kTitleText);  // a note
    put(frame, 3, y, info.name[0] ? info.name : "(untitled)", kTitleText);
    char files[32];
    std::snprintf(files, sizeof files, "  %d/%d ", view.fileNumber, view.fileCount);
    const int nameLength = static_cast<int>(std::strlen(view.fileName));
    const int filesLength = static_cast<int>(std::strlen(files));
    // The file's name at the right, after the title where both fit, cut at its start otherwise.
    int x = frame.columns - nameLength - filesLength;
    const int titleEnd = 3 + static_cast<int>(std::strlen(info.name[0] ? info.name : "(untitled)"));
    if (x < titleEnd + 2) x = titleEnd + 2;
    x = put(frame, x, y, view.fileName, kTitleBar);
    put(frame, x, y, files, kTitleBar);
}

void drawInfoLine(const xme_song_info& info, TextFrame& frame, int y) {
    int x = put(frame, 1, y, "Tracker ", kDim);
    x = put(frame, x, y, info.tracker[0] ? info.tracker : "(none)", kPlain);
    char channels[32];
    std::snprintf(channels, sizeof channels, "   %d channel%s   ", info.channels,
                  info.channels == 1 ? "" : "s");
    x = put(frame, x, y, channels, kPlain);
    put(frame, x, y, info.linear_frequencies ? "linear frequencies" : "Amiga frequencies", kPlain);
}

void drawPositionLine(const PlayerView& view, const xme_song_info& info, TextFrame& frame, int y) {
    const HeardPosition& heard = view.heard;
    xme_pattern_info pattern{};
    xme_song_pattern_info(view.song, heard.pattern, &pattern);
    char text[32];
    int x = put(frame, 1, y, "Order ", kLabel);
    std::snprintf(text, sizeof text, "%d/%d", heard.order, info.orders);
    x = put(frame, x, y, text, kBright);
    x = put(frame, x, y, "  Pattern ", kLabel);
    std::snprintf(text, sizeof text, "%d", heard.pattern);
    x = put(frame, x, y, text, kBright);
    x = put(frame, x, y, "  Row ", kLabel);
    std::snprintf(text, sizeof text, "%d/%d", heard.row, pattern.rows);
    x = put(frame, x, y, text, kBright);
    x = put(frame, x, y, "  ", kLabel);
    char played[16], length[16];
    formatTime(heard.songFrame, played);
    formatTime(view.lengthFrames, length);
    x = put(frame, x, y, played, kBright);
    x = put(frame, x, y, " / ", kLabel);
    x = put(frame, x, y, view.lengthFrames >= 0 ? length : "?:??", kBright);
    x = put(frame, x, y, "  Speed ", kLabel);
    std::snprintf(text, sizeof text, "%d", heard.speed);
    x = put(frame, x, y, text, kBright);
    x = put(frame, x, y, "  Tempo ", kLabel);
    std::snprintf(text, sizeof text, "%d", heard.tempo);
    x = put(frame, x, y, text, kBright);
    if (view.looping) x = put(frame, x, y, "  looping", kLabel);
    if (view.paused) put(frame, x, y, "  PAUSED", 0x0E);
}

// Every channel's level as one shade character, for songs with more channels than the pattern
// view shows.
void drawLevelOverview(const PlayerView& view, const xme_song_info& info, TextFrame& frame, int y) {
    int x = put(frame, 1, y, "Levels ", kDim);
    for (int channel = 0; channel < info.channels && channel < kDeckChannels; ++channel, ++x) {
        const int level = view.heard.levels[channel];
        if (view.mutedChannels >> channel & 1) {
            putCharacter(frame, x, y, 'm', kMutedColour);
        } else {
            putCharacter(frame, x, y, level == 0 ? kDot : kShades[(level - 1) * 4 / 64],
                         level == 0 ? kDim : 0x0A);
        }
    }
}

// The instrument names from the first, in columns of columnWidth cells, as many as fit.
void drawInstruments(const xme_song_info& info, const xme_song* song, TextFrame& frame, int left,
                     int top, int width, int height, int columnWidth) {
    if (height < 2 || width < 8) return;
    put(frame, left, top, "Instruments", kLabel, left + width);
    const int columns = width / columnWidth > 0 ? width / columnWidth : 1;
    for (int k = 0; k < info.instruments; ++k) {
        const int column = k / (height - 1), line = k % (height - 1);
        if (column >= columns) break;
        const int x = left + column * columnWidth;
        const int end = x + columnWidth - 1 < left + width ? x + columnWidth - 1 : left + width;
        xme_instrument_info instrument{};
        xme_song_instrument_info(song, k + 1, &instrument);
        char number[12];
        std::snprintf(number, sizeof number, "%02X ", k + 1);
        const int after = put(frame, x, top + 1 + line, number, kDim, end);
        put(frame, after, top + 1 + line, instrument.name, kPlain, end);
    }
}

void drawKeysLine(TextFrame& frame, int y) {
    static const struct {
        const char* key;
        const char* meaning;
    } kKeys[] = {{"Space", " pause  "},
                 {"\x1b\x1a", " order  "},
                 {"n p", " file  "},
                 {"1-0", " mute  "},
                 {"q", " quit"}};
    int x = 1;
    for (const auto& key : kKeys) {
        x = put(frame, x, y, key.key, kPlain);
        x = put(frame, x, y, key.meaning, kDim);
    }
}

}  // namespace

void drawPlayerScreen(const PlayerView& view, TextFrame& frame) {
    for (int k = 0; k < frame.columns * frame.rows; ++k)
        frame.cells[k] = makeCell(' ', kPlain);
    if (frame.rows <= 0 || frame.columns <= 0) return;
    xme_song_info info{};
    xme_song_get_info(view.song, &info);
    const bool message = view.message[0] != 0;

    // A terminal of fewer than three lines shows the position first.
    if (frame.rows < 3) {
        drawPositionLine(view, info, frame, 0);
        if (frame.rows > 1) drawTitleLine(view, info, frame, 1);
        return;
    }
    int y = 0;
    drawTitleLine(view, info, frame, y++);
    drawInfoLine(info, frame, y++);
    drawPositionLine(view, info, frame, y++);
    if (message && y < frame.rows) {
        const int x = put(frame, 1, y, "Not played: ", kWarning);
        put(frame, x, y, view.message, kWarning);
        ++y;
    }
    int rest = frame.rows - y;
    const bool keysLine = rest >= 8;
    if (keysLine) --rest;
    const int shown = patternChannelsFitting(frame.columns);
    const bool overview = info.channels > shown && rest >= 4;
    if (overview) --rest;

    // The instruments go beside the pattern view where its channels leave room, else below it
    // where it is tall enough to spare some lines.
    const int viewChannels = shown < info.channels ? shown : info.channels;
    const int viewWidth =
        viewChannels > 0 ? kRowNumberWidth + viewChannels * kChannelWidth - 1 : frame.columns;
    const int spare = frame.columns - viewWidth;
    // Below, a line for the heading and as many as the names need in columns of 28 cells, while
    // the pattern view keeps a dozen rows at least.
    int patternHeight = rest;
    int below = 0;
    if (spare < 18 && info.instruments > 0) {
        const int across = (frame.columns - 2) / 28 > 0 ? (frame.columns - 2) / 28 : 1;
        const int needed = 1 + (info.instruments + across - 1) / across;
        below = rest - needed >= 13 ? needed : rest >= 24 ? rest - 13 : 0;
        patternHeight = rest - below;
    }
    if (patternHeight >= 2) {
        drawPatternView(view, frame, 0, y, viewWidth, patternHeight);
        if (spare >= 18)
            drawInstruments(info, view.song, frame, viewWidth + 2, y, spare - 3, patternHeight,
                            spare - 3);
    }
    y += patternHeight;
    if (overview) drawLevelOverview(view, info, frame, y++);
    if (below > 0) {
        drawInstruments(info, view.song, frame, 1, y, frame.columns - 2, below, 28);
        y += below;
    }
    if (keysLine) drawKeysLine(frame, frame.rows - 1);
}
