// framedump DIR FRAME...
//
// Runs the demo's start-up (with a clock that stands still, no title) and draws frames 1 to
// the last one asked for, as the frame loop would, without waiting. Each frame asked for is
// written to DIR/frameNNNN.ppm as the console shows it: 640 by 600 pixels, 8 by 12 per cell.
// Convert with, for example, `convert frame0101.ppm frame0101.png`.
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

#include "director/director.h"
#include "render/cell_image.h"

namespace {

uint32_t stillClock() {
    return 0;
}

bool writePpm(const std::string& path, const std::vector<uint8_t>& rgb) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    std::fprintf(file, "P6\n%d %d\n255\n", kCellImageWidth, kCellImageHeight);
    const bool written = std::fwrite(rgb.data(), 1, rgb.size(), file) == rgb.size();
    return std::fclose(file) == 0 && written;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s DIR FRAME...\n", argv[0]);
        return 2;
    }
    const std::string directory = argv[1];
    std::set<int32_t> wanted;
    for (int i = 2; i < argc; ++i) {
        char* end = nullptr;
        const long n = std::strtol(argv[i], &end, 10);
        if (*end != '\0' || n < 1 || n > 1000000) {
            std::fprintf(stderr, "not a frame number from 1 to 1000000: %s\n", argv[i]);
            return 2;
        }
        wanted.insert(static_cast<int32_t>(n));
    }
    if (startUpDemo(DirectorHost{nullptr, stillClock}) != StartUp::Started) {
        std::fprintf(stderr, "the demo did not start\n");
        return 1;
    }
    std::vector<uint8_t> rgb(kCellImageBytes);
    for (int32_t n = 1; n <= *wanted.rbegin(); ++n) {
        frameNumber = n;
        drawFrame(n);
        if (!wanted.count(n)) continue;
        drawCellImage(cellFrame, rgb.data());
        char name[32];
        std::snprintf(name, sizeof name, "/frame%04d.ppm", n);
        if (!writePpm(directory + name, rgb)) {
            std::fprintf(stderr, "cannot write %s%s\n", directory.c_str(), name);
            return 1;
        }
    }
    return 0;
}
