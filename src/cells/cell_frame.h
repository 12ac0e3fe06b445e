// The console picture: 80 by 50 cells, each a character code and a 16-colour attribute.
#pragma once
#include <cstdint>

constexpr int kScreenColumns = 80;
constexpr int kScreenRows = 50;
constexpr int kScreenCells = kScreenColumns * kScreenRows;

// Row-major cells; each word holds the character code in its low byte and the console
// attribute (foreground colour in the low nibble, background in the high nibble) in its
// high byte.
struct CellFrame {
    uint16_t cells[kScreenCells];
};

// The one frame the demo draws into and presents. All zero (black) at start and never
// cleared: a frame in which no renderer runs shows the previous cells again.
CellFrame& cellFrame();

inline uint16_t makeCell(uint8_t character, uint8_t attribute) {
    return static_cast<uint16_t>(attribute << 8 | character);
}
inline uint8_t cellCharacter(uint16_t cell) {
    return static_cast<uint8_t>(cell & 0xff);
}
inline uint8_t cellAttribute(uint16_t cell) {
    return static_cast<uint8_t>(cell >> 8);
}
