// Runs the demo's frames offline (a clock that stands still, no console) and saves the cell
// frame of each frame named on the command line as a PNG picture, every cell drawn as its
// 8 by 12 glyph in its foreground and background console colours.
//
//   cellshot OUTDIR FRAME...    writes OUTDIR/frame_NNNNN.png for each FRAME
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "data/assets.h"
#include "data/console_palette.h"
#include "director/director.h"
#include "host/cell_frame.h"

namespace {

constexpr int kCellWidth = 8;
constexpr int kWidth = kScreenColumns * kCellWidth;
constexpr int kHeight = kScreenRows * kGlyphHeight;

uint32_t stillClock() {
    return 0;
}

uint32_t crc32(const uint8_t* data, size_t size, uint32_t crc = 0) {
    crc = ~crc;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k)
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

void putBig32(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(v >> shift));
}

void putChunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& data) {
    putBig32(out, static_cast<uint32_t>(data.size()));
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    putBig32(out, crc32(out.data() + start, out.size() - start));
}

// A zlib stream of stored (uncompressed) blocks: large files, but no compressor needed.
std::vector<uint8_t> zlibStored(const std::vector<uint8_t>& raw) {
    std::vector<uint8_t> z{0x78, 0x01};
    size_t pos = 0;
    do {
        const size_t len = raw.size() - pos < 65535 ? raw.size() - pos : 65535;
        z.push_back(pos + len == raw.size() ? 1 : 0);
        z.push_back(static_cast<uint8_t>(len));
        z.push_back(static_cast<uint8_t>(len >> 8));
        z.push_back(static_cast<uint8_t>(~len));
        z.push_back(static_cast<uint8_t>(~len >> 8));
        z.insert(z.end(), raw.begin() + static_cast<long>(pos),
                 raw.begin() + static_cast<long>(pos + len));
        pos += len;
    } while (pos < raw.size());
    uint32_t a = 1, b = 0;
    for (uint8_t byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    putBig32(z, b << 16 | a);
    return z;
}

// Console colour number as 8-bit RGB; colour 8, which the demo never uses, as dark grey.
void colourOf(int number, uint8_t rgb[3]) {
    const PaletteColour& c = number == 8 ? PaletteColour{21, 21, 21} : ConsolePalette[number];
    rgb[0] = static_cast<uint8_t>(c.red * 255 / 63);
    rgb[1] = static_cast<uint8_t>(c.green * 255 / 63);
    rgb[2] = static_cast<uint8_t>(c.blue * 255 / 63);
}

bool savePng(const std::string& path, const CellFrame& frame) {
    std::vector<uint8_t> raw;
    raw.reserve(static_cast<size_t>(kHeight) * (1 + kWidth * 3));
    for (int y = 0; y < kHeight; ++y) {
        raw.push_back(0);  // filter: none
        for (int x = 0; x < kWidth; ++x) {
            const uint16_t cell = frame.cells[(y / kGlyphHeight) * kScreenColumns + x / kCellWidth];
            const uint8_t row = GlyphFont[cellCharacter(cell)][y % kGlyphHeight];
            const bool ink = (row >> (7 - x % kCellWidth)) & 1;
            const uint8_t attribute = cellAttribute(cell);
            uint8_t rgb[3];
            colourOf(ink ? attribute & 15 : attribute >> 4, rgb);
            raw.insert(raw.end(), rgb, rgb + 3);
        }
    }
    std::vector<uint8_t> png{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    std::vector<uint8_t> header;
    putBig32(header, kWidth);
    putBig32(header, kHeight);
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8-bit RGB
    putChunk(png, "IHDR", header);
    putChunk(png, "IDAT", zlibStored(raw));
    putChunk(png, "IEND", {});
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    const bool ok = std::fwrite(png.data(), 1, png.size(), file) == png.size();
    return std::fclose(file) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: cellshot OUTDIR FRAME...\n");
        return 2;
    }
    std::set<int32_t> wanted;
    for (int i = 2; i < argc; ++i)
        wanted.insert(static_cast<int32_t>(std::atol(argv[i])));
    if (startUpDemo(DirectorHost{nullptr, stillClock}) != StartUp::Started) {
        std::fprintf(stderr, "cellshot: the demo did not start\n");
        return 1;
    }
    for (int32_t n = 1; !wanted.empty() && n <= *wanted.rbegin(); ++n) {
        drawFrame(n);
        if (!wanted.count(n)) continue;
        char name[32];
        std::snprintf(name, sizeof name, "/frame_%05d.png", static_cast<int>(n));
        if (!savePng(argv[1] + std::string(name), cellFrame)) {
            std::fprintf(stderr, "cellshot: cannot write %s%s\n", argv[1], name);
            return 1;
        }
    }
    return 0;
}
