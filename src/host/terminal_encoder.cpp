#include "host/terminal_encoder.h"

#include <cstring>

#include "data/console_palette.h"
#include "host/cp437.h"

namespace {

constexpr char kSyncBegin[] = "\x1b[?2026h";
constexpr char kSyncEnd[] = "\x1b[?2026l";

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

// The parameters of the SGR sequence that selects a foreground or background colour.
void appendColourParameters(std::string& out, int colour, bool background, ColourMode mode) {
    if (mode == ColourMode::TrueColour) {
        TerminalRgb rgb = terminalColour(colour);
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

ColourMode colourModeFor(const char* colorterm) {
    if (colorterm &&
        (std::strcmp(colorterm, "truecolor") == 0 || std::strcmp(colorterm, "24bit") == 0))
        return ColourMode::TrueColour;
    return ColourMode::Ansi16;
}

TerminalRgb terminalColour(int colour) {
    const PaletteColour& c = ConsolePalette[colour & 15];
    // Colour 8 carries a sentinel that keeps the colour matcher away from it; a cell that
    // still names it is shown in the usual dark grey.
    if (c.red > 63) return {85, 85, 85};
    auto scale = [](int32_t v) { return static_cast<uint8_t>((v * 255 + 31) / 63); };
    return {scale(c.red), scale(c.green), scale(c.blue)};
}

void encodeFrame(const CellFrame& frame, TerminalScreen& screen, int columns, int rows,
                 ColourMode mode, std::string& out) {
    const size_t start = out.size();
    out += kSyncBegin;
    const size_t afterBegin = out.size();

    bool redrawAll = !screen.known || columns != screen.columns || rows != screen.rows;
    if (redrawAll) {
        // The terminal may have reflowed or lost what it showed: clear it and draw anew.
        out += "\x1b[0m\x1b[2J";
        screen.known = true;
        screen.columns = columns;
        screen.rows = rows;
    }
    const int visibleColumns = columns < kScreenColumns ? columns : kScreenColumns;
    const int visibleRows = rows < kScreenRows ? rows : kScreenRows;

    int cursorRow = -1, cursorColumn = -1;
    int attribute = -1;  // unknown after a clear or at the start of a frame
    for (int row = 0; row < visibleRows; ++row) {
        const uint16_t* source = frame.cells + row * kScreenColumns;
        uint16_t* shown = screen.shown + row * kScreenColumns;
        for (int column = 0; column < visibleColumns; ++column) {
            const uint16_t cell = source[column];
            if (!redrawAll && shown[column] == cell) continue;
            shown[column] = cell;

            moveCursor(out, row, column, cursorRow, cursorColumn);
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
            cursorRow = row;
            // With autowrap off the cursor stays on the terminal's last column.
            cursorColumn = column + 1 < columns ? column + 1 : -1;
        }
    }

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
