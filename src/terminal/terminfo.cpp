#include "terminal/terminfo.h"

namespace {

constexpr int kLegacyMagic = 0432;     // numbers of 16 bits
constexpr int kExtendedMagic = 01036;  // numbers of 32 bits
constexpr int kColoursNumber = 13;     // colors, the 14th number capability

int32_t littleEndian(const uint8_t* bytes, int width) {
    uint32_t value = 0;
    for (int k = width - 1; k >= 0; --k)
        value = value << 8 | bytes[k];
    // Both widths are signed: -1 is an absent capability, -2 a cancelled one.
    if (width == 2) return static_cast<int16_t>(value);
    return static_cast<int32_t>(value);
}

}  // namespace

int terminfoColours(const uint8_t* entry, size_t size) {
    constexpr size_t kHeaderBytes = 12;
    if (size < kHeaderBytes) return 0;
    const int magic = littleEndian(entry, 2);
    if (magic != kLegacyMagic && magic != kExtendedMagic) return 0;
    const int numberWidth = magic == kLegacyMagic ? 2 : 4;
    const int32_t namesBytes = littleEndian(entry + 2, 2);
    const int32_t booleans = littleEndian(entry + 4, 2);
    const int32_t numbers = littleEndian(entry + 6, 2);
    if (namesBytes < 0 || booleans < 0 || numbers <= kColoursNumber) return 0;
    size_t offset = kHeaderBytes + static_cast<size_t>(namesBytes) + static_cast<size_t>(booleans);
    offset += offset & 1;  // the numbers start on an even byte
    offset += static_cast<size_t>(kColoursNumber * numberWidth);
    if (offset + static_cast<size_t>(numberWidth) > size) return 0;
    const int32_t colours = littleEndian(entry + offset, numberWidth);
    return colours > 0 ? colours : 0;
}
