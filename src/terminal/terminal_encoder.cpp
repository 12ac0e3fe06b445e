#include "terminal/terminal_encoder.h"

#include <bit>
#include <climits>
#include <cstring>

#include "data/assets.h"
#include "terminal/cp437.h"

namespace {

constexpr char kSyncBegin[] = "\x1b[?2026h";
constexpr char kSyncEnd[] = "\x1b[?2026l";
constexpr int32_t kGlyphPixels = 8 * kGlyphHeight;

// Console colour bit 0 is blue and bit 2 red; ANSI colour bit 0 is red and bit 2 blue.
int ansiColour(int colour) {
    return (colour & 1) << 2 | (colour & 2) | (colour & 4) >> 2;
}

void appendNumber(std::string& out, int value) {
    char digits[12];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value > 0);
    while (n > 0)
        out += digits[--n];
}

int consolePaletteEntry(int colour);

// The parameters of the SGR sequence that selects a foreground or background colour.
void appendColourParameters(std::string& out, int colour, bool background, ColourMode mode) {
    if (mode == ColourMode::Ansi256) {
        out += background ? "48;5;" : "38;5;";
        appendNumber(out, consolePaletteEntry(colour));
    } else if (mode == ColourMode::TrueColour) {
        ConsoleRgb rgb = consoleColourRgb(colour);
        out += background ? "48;2;" : "38;2;";
        appendNumber(out, rgb.red);
        out += ';';
        appendNumber(out, rgb.green);
        out += ';';
        appendNumber(out, rgb.blue);
    } else {
        int base = (colour & 8) ? (background ? 100 : 90) : (background ? 40 : 30);
        appendNumber(out, base + ansiColour(colour));
    }
}

void moveCursor(std::string& out, int row, int column, int cursorRow, int cursorColumn) {
    if (row == cursorRow && column == cursorColumn) return;
    out += "\x1b[";
    if (row == cursorRow && column > cursorColumn && cursorColumn >= 0) {
        if (column - cursorColumn > 1) appendNumber(out, column - cursorColumn);
        out += 'C';
        return;
    }
    appendNumber(out, row + 1);
    if (column > 0) {
        out += ';';
        appendNumber(out, column + 1);
    }
    out += 'H';
}

}  // namespace

ColourMode colourModeFor(const char* colorterm, int terminalColours) {
    if (colorterm &&
        (std::strcmp(colorterm, "truecolor") == 0 || std::strcmp(colorterm, "24bit") == 0))
        return ColourMode::TrueColour;
    return terminalColours >= 256 ? ColourMode::Ansi256 : ColourMode::Ansi16;
}

namespace {

constexpr uint8_t kCubeLevels[6] = {0, 95, 135, 175, 215, 255};

// The cube level nearest to a channel's value (the lower one on a tie).
int nearestCubeLevel(int value) {
    int level = 0;
    while (level < 5 && 2 * value > kCubeLevels[level] + kCubeLevels[level + 1])
        ++level;
    return level;
}

int32_t squaredDistance(ConsoleRgb a, ConsoleRgb b) {
    const int32_t dr = a.red - b.red, dg = a.green - b.green, db = a.blue - b.blue;
    return dr * dr + dg * dg + db * db;
}

}  // namespace

ConsoleRgb paletteEntryRgb(int index) {
    if (index >= 232) {
        const auto grey = static_cast<uint8_t>(8 + 10 * (index - 232));
        return {grey, grey, grey};
    }
    const int cube = index - 16;
    return {kCubeLevels[cube / 36], kCubeLevels[cube / 6 % 6], kCubeLevels[cube % 6]};
}

// The squared distance is a sum over the channels, so the nearest cube entry takes the
// nearest level in each; along the grey ramp it is least at the channels' mean, so the
// nearest grey is the step nearest to that mean.
int nearestPaletteEntry(ConsoleRgb rgb) {
    const int cube = 16 + 36 * nearestCubeLevel(rgb.red) + 6 * nearestCubeLevel(rgb.green) +
                     nearestCubeLevel(rgb.blue);
    const int sum = rgb.red + rgb.green + rgb.blue;  // the mean is sum / 3
    int step = (sum - 24 + 14) / 30;                 // (mean - 8) / 10, halves down
    step = step < 0 ? 0 : step > 23 ? 23 : step;
    const int grey = 232 + step;
    return squaredDistance(paletteEntryRgb(grey), rgb) < squaredDistance(paletteEntryRgb(cube), rgb)
               ? grey
               : cube;
}

namespace {

// The terminal colours, and the average colour of every cell word, computed once.
struct PictureTables {
    ConsoleRgb colours[16];
    uint8_t paletteEntries[16];  // the nearest 256-colour entry of each
    ConsoleRgb cellColours[65536];
};

const PictureTables& pictureTables() {
    static const PictureTables* const tables = [] {
        auto* t = new PictureTables;
        for (int colour = 0; colour < 16; ++colour)
            t->colours[colour] = consoleColourRgb(colour);
        for (int colour = 0; colour < 16; ++colour)
            t->paletteEntries[colour] =
                static_cast<uint8_t>(nearestPaletteEntry(t->colours[colour]));
        for (int character = 0; character < 256; ++character) {
            int32_t ink = 0;
            for (int row = 0; row < kGlyphHeight; ++row)
                ink += std::popcount(static_cast<unsigned>(GlyphFont[character][row]));
            auto mix = [ink](int32_t f, int32_t b) {
                return static_cast<uint8_t>(
                    (f * ink + b * (kGlyphPixels - ink) + kGlyphPixels / 2) / kGlyphPixels);
            };
            for (int attribute = 0; attribute < 256; ++attribute) {
                const ConsoleRgb fg = t->colours[attribute & 15];
                const ConsoleRgb bg = t->colours[attribute >> 4];
                t->cellColours[makeCell(static_cast<uint8_t>(character),
                                        static_cast<uint8_t>(attribute))] = {
                    mix(fg.red, bg.red), mix(fg.green, bg.green), mix(fg.blue, bg.blue)};
            }
        }
        return t;
    }();
    return *tables;
}

int consolePaletteEntry(int colour) {
    return pictureTables().paletteEntries[colour & 15];
}

}  // namespace

ConsoleRgb averageCellColour(uint16_t cell) {
    return pictureTables().cellColours[cell];
}

int nearestConsoleColour(ConsoleRgb rgb) {
    int best = 0;
    int32_t bestDistance = INT32_MAX;
    const ConsoleRgb* colours = pictureTables().colours;
    for (int colour = 0; colour < 16; ++colour) {
        const ConsoleRgb c = colours[colour];
        const int32_t dr = c.red - rgb.red, dg = c.green - rgb.green, db = c.blue - rgb.blue;
        const int32_t distance = dr * dr + dg * dg + db * db;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = colour;
        }
    }
    return best;
}

TerminalLayout layoutFor(int columns, int rows) {
    if (columns >= kScreenColumns && rows >= kScreenRows)
        return {Presentation::Glyphs, (columns - kScreenColumns) / 2, (rows - kScreenRows) / 2,
                kScreenColumns, kScreenRows};
    const int maxWidth = columns > 1 ? columns : 1;
    const int maxHeight = rows > 1 ? 2 * rows : 2;
    int width = kScreenColumns, height = kScreenRows;
    if (maxWidth < kScreenColumns || maxHeight < kScreenRows) {
        if (maxWidth * kScreenRows <= maxHeight * kScreenColumns) {
            // The width limits: the height of the same shape, to the nearest even number.
            width = maxWidth;
            height = 2 * ((width * kScreenRows + kScreenColumns) / (2 * kScreenColumns));
        } else {
            height = maxHeight;
            width = (height * kScreenColumns + kScreenRows / 2) / kScreenRows;
        }
        if (height < 2) height = 2;
        if (height > maxHeight) height = maxHeight;
        if (width < 1) width = 1;
        if (width > maxWidth) width = maxWidth;
    }
    return {Presentation::Picture, (columns - width) / 2, (rows - height / 2) / 2, width, height};
}

namespace {

// Writes the cells that changed, in their glyphs and colours: the cells of a frame of width
// by height cells, stride a row, the first height rows and width columns of it placed with
// their top-left corner at the terminal's column left and row top.
void encodeGlyphs(const uint16_t* cells, uint16_t* shown, int stride, int width, int height,
                  int left, int top, int columns, ColourMode mode, bool redrawAll,
                  std::string& out) {
    int cursorRow = -1, cursorColumn = -1;
    int attribute = -1;  // unknown after a clear or at the start of a frame
    for (int row = 0; row < height; ++row) {
        const uint16_t* source = cells + row * stride;
        uint16_t* shownRow = shown + row * stride;
        for (int column = 0; column < width; ++column) {
            const uint16_t cell = source[column];
            if (!redrawAll && shownRow[column] == cell) continue;
            shownRow[column] = cell;

            const int terminalRow = top + row, terminalColumn = left + column;
            moveCursor(out, terminalRow, terminalColumn, cursorRow, cursorColumn);
            const int cellAttr = cellAttribute(cell);
            if (cellAttr != attribute) {
                const bool foreground = attribute < 0 || ((cellAttr ^ attribute) & 0x0f) != 0;
                const bool background = attribute < 0 || ((cellAttr ^ attribute) & 0xf0) != 0;
                out += "\x1b[";
                if (foreground) appendColourParameters(out, cellAttr & 15, false, mode);
                if (foreground && background) out += ';';
                if (background) appendColourParameters(out, cellAttr >> 4, true, mode);
                out += 'm';
                attribute = cellAttr;
            }
            const Utf8Glyph& glyph = kCp437Utf8[cellCharacter(cell)];
            out.append(glyph.bytes, glyph.length);
            cursorRow = terminalRow;
            // With autowrap off the cursor stays on the terminal's last column.
            cursorColumn = terminalColumn + 1 < columns ? terminalColumn + 1 : -1;
        }
    }
}

// The weights with which the source cells 0..sourceCount-1 make up each of targetCount
// pixels, so that target pixel t covers [t * sourceCount, (t + 1) * sourceCount) in units of
// 1 / targetCount cell: for each target pixel, its first cell and the weights of up to
// kMaxSpan cells from there, summing to sourceCount.
constexpr int kMaxSpan = kScreenColumns + 1;
struct AreaWeights {
    int first[kScreenColumns];
    int count[kScreenColumns];
    int32_t weight[kScreenColumns][kMaxSpan];
};

void computeWeights(int sourceCount, int targetCount, AreaWeights& w) {
    for (int t = 0; t < targetCount; ++t) {
        const int begin = t * sourceCount, end = (t + 1) * sourceCount;
        w.first[t] = begin / targetCount;
        w.count[t] = 0;
        for (int s = w.first[t]; s * targetCount < end; ++s) {
            const int cellBegin = s * targetCount, cellEnd = (s + 1) * targetCount;
            const int overlap =
                (end < cellEnd ? end : cellEnd) - (begin > cellBegin ? begin : cellBegin);
            w.weight[t][w.count[t]++] = overlap;
        }
    }
}

// The frame as the picture's pixels, each the area average of the cells' colours it covers,
// as the value the screen records: 0xRRGGBB, or the nearest palette entry in 256 colours, or
// the nearest console colour in 16 colours.
void computePicture(const CellFrame& frame, const TerminalLayout& layout, ColourMode mode,
                    uint32_t (&pixels)[kScreenCells]) {
    static int32_t cellColours[kScreenRows][kScreenColumns][3];
    static int32_t rowSums[kScreenRows][kScreenColumns][3];
    static AreaWeights across, down;
    for (int k = 0; k < kScreenCells; ++k) {
        const ConsoleRgb rgb = averageCellColour(frame.cells[k]);
        int32_t* c = cellColours[k / kScreenColumns][k % kScreenColumns];
        c[0] = rgb.red;
        c[1] = rgb.green;
        c[2] = rgb.blue;
    }
    computeWeights(kScreenColumns, layout.width, across);
    computeWeights(kScreenRows, layout.height, down);
    for (int row = 0; row < kScreenRows; ++row)
        for (int x = 0; x < layout.width; ++x) {
            int32_t sum[3] = {0, 0, 0};
            for (int k = 0; k < across.count[x]; ++k)
                for (int channel = 0; channel < 3; ++channel)
                    sum[channel] +=
                        across.weight[x][k] * cellColours[row][across.first[x] + k][channel];
            for (int channel = 0; channel < 3; ++channel)
                rowSums[row][x][channel] = sum[channel];
        }
    constexpr int32_t total = kScreenColumns * kScreenRows;  // the weights of one pixel
    for (int y = 0; y < layout.height; ++y)
        for (int x = 0; x < layout.width; ++x) {
            int32_t sum[3] = {0, 0, 0};
            for (int k = 0; k < down.count[y]; ++k)
                for (int channel = 0; channel < 3; ++channel)
                    sum[channel] += down.weight[y][k] * rowSums[down.first[y] + k][x][channel];
            const ConsoleRgb rgb{static_cast<uint8_t>((sum[0] + total / 2) / total),
                                 static_cast<uint8_t>((sum[1] + total / 2) / total),
                                 static_cast<uint8_t>((sum[2] + total / 2) / total)};
            uint32_t& pixel = pixels[y * layout.width + x];
            if (mode == ColourMode::TrueColour)
                pixel = static_cast<uint32_t>(rgb.red << 16 | rgb.green << 8 | rgb.blue);
            else if (mode == ColourMode::Ansi256)
                pixel = static_cast<uint32_t>(nearestPaletteEntry(rgb));
            else
                pixel = static_cast<uint32_t>(nearestConsoleColour(rgb));
        }
}

void appendPictureColour(std::string& out, uint32_t colour, bool background, ColourMode mode) {
    if (mode == ColourMode::TrueColour) {
        out += background ? "48;2;" : "38;2;";
        appendNumber(out, static_cast<int>(colour >> 16));
        out += ';';
        appendNumber(out, static_cast<int>(colour >> 8 & 0xff));
        out += ';';
        appendNumber(out, static_cast<int>(colour & 0xff));
    } else if (mode == ColourMode::Ansi256) {
        out += background ? "48;5;" : "38;5;";
        appendNumber(out, static_cast<int>(colour));
    } else {
        appendColourParameters(out, static_cast<int>(colour), background, mode);
    }
}

// Writes the characters whose halves changed. A character shows its upper half in the
// foreground colour of an upper half block and its lower half in the background; the
// lower half block, with the colours the other way round, or a blank or a full block for
// two equal halves, is chosen where it saves a colour change.
void encodePicture(const CellFrame& frame, TerminalScreen& screen, const TerminalLayout& layout,
                   bool redrawAll, std::string& out) {
    static uint32_t pixels[kScreenCells];
    const ColourMode mode = screen.mode;
    computePicture(frame, layout, mode, pixels);

    constexpr uint32_t kUnknown = 0xffffffffu;
    uint32_t foreground = kUnknown, background = kUnknown;
    int cursorRow = -1, cursorColumn = -1;
    for (int row = 0; row < layout.height / 2; ++row) {
        for (int x = 0; x < layout.width; ++x) {
            const int k = row * layout.width + x;
            const uint32_t upper = pixels[2 * row * layout.width + x];
            const uint32_t lower = pixels[(2 * row + 1) * layout.width + x];
            if (!redrawAll && screen.upper[k] == upper && screen.lower[k] == lower) continue;
            screen.upper[k] = upper;
            screen.lower[k] = lower;

            uint8_t glyph;  // a code page 437 character
            uint32_t wantForeground = foreground, wantBackground = background;
            if (upper == lower) {
                if (background == upper) {
                    glyph = ' ';
                } else if (foreground == upper) {
                    glyph = 219;  // full block
                } else {
                    glyph = ' ';
                    wantBackground = upper;
                }
            } else {
                const int upperBlockChanges = (foreground != upper) + (background != lower);
                const int lowerBlockChanges = (foreground != lower) + (background != upper);
                if (lowerBlockChanges < upperBlockChanges) {
                    glyph = 220;  // lower half block
                    wantForeground = lower;
                    wantBackground = upper;
                } else {
                    glyph = 223;  // upper half block
                    wantForeground = upper;
                    wantBackground = lower;
                }
            }

            const int terminalRow = layout.top + row, terminalColumn = layout.left + x;
            moveCursor(out, terminalRow, terminalColumn, cursorRow, cursorColumn);
            const bool setForeground = wantForeground != foreground;
            const bool setBackground = wantBackground != background;
            if (setForeground || setBackground) {
                out += "\x1b[";
                if (setForeground) appendPictureColour(out, wantForeground, false, mode);
                if (setForeground && setBackground) out += ';';
                if (setBackground) appendPictureColour(out, wantBackground, true, mode);
                out += 'm';
                foreground = wantForeground;
                background = wantBackground;
            }
            out.append(kCp437Utf8[glyph].bytes, kCp437Utf8[glyph].length);
            cursorRow = terminalRow;
            cursorColumn = terminalColumn + 1 < screen.columns ? terminalColumn + 1 : -1;
        }
    }
}

}  // namespace

void encodeFrame(const CellFrame& frame, TerminalScreen& screen, int columns, int rows,
                 ColourMode mode, std::string& out) {
    const size_t start = out.size();
    out += kSyncBegin;
    const size_t afterBegin = out.size();

    const bool redrawAll =
        !screen.known || columns != screen.columns || rows != screen.rows || mode != screen.mode;
    if (redrawAll) {
        // The terminal may have reflowed or lost what it showed: clear it and draw anew.
        out += "\x1b[0m\x1b[2J";
        screen.known = true;
        screen.columns = columns;
        screen.rows = rows;
        screen.mode = mode;
    }
    const TerminalLayout layout = layoutFor(columns, rows);
    if (layout.presentation == Presentation::Glyphs) {
        encodeGlyphs(frame.cells, screen.shown, kScreenColumns, kScreenColumns, kScreenRows,
                     layout.left, layout.top, columns, mode, redrawAll, out);
    } else {
        encodePicture(frame, screen, layout, redrawAll, out);
    }

    if (out.size() == afterBegin) {
        out.resize(start);
        return;
    }
    out += kSyncEnd;
}

void encodeTextFrame(const TextFrame& frame, TextScreen& screen, int columns, int rows,
                     ColourMode mode, std::string& out) {
    const int width = frame.columns < 0                 ? 0
                      : frame.columns > kMaxTextColumns ? kMaxTextColumns
                                                        : frame.columns;
    const int height = frame.rows < 0 ? 0 : frame.rows > kMaxTextRows ? kMaxTextRows : frame.rows;
    const size_t start = out.size();
    out += kSyncBegin;
    const size_t afterBegin = out.size();

    const bool redrawAll = !screen.known || columns != screen.columns || rows != screen.rows ||
                           mode != screen.mode || width != screen.frameColumns ||
                           height != screen.frameRows;
    if (redrawAll) {
        out += "\x1b[0m\x1b[2J";
        screen.known = true;
        screen.columns = columns;
        screen.rows = rows;
        screen.mode = mode;
        screen.frameColumns = width;
        screen.frameRows = height;
    }
    // Cells beyond the terminal's edge are not drawn: a line is never wrapped or scrolled.
    encodeGlyphs(frame.cells, screen.shown, width, width < columns ? width : columns,
                 height < rows ? height : rows, 0, 0, columns, mode, redrawAll, out);

    if (out.size() == afterBegin) {
        out.resize(start);
        return;
    }
    out += kSyncEnd;
}

void appendTitleSequence(const char* title, std::string& out) {
    out += "\x1b]2;";
    for (const char* p = title; *p; ++p) {
        const unsigned char c = static_cast<unsigned char>(*p);
        if (c >= 0x80) {
            out.append(kCp437Utf8[c].bytes, kCp437Utf8[c].length);
        } else if (c >= 0x20 && c != 0x7f) {
            out += static_cast<char>(c);
        }
    }
    out += '\a';
}
