#include "wav_file.h"

#include <bit>
#include <cstring>

namespace {

constexpr size_t kBufferBytes = 1 << 20;

void put16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void put32(uint8_t* p, uint32_t v) {
    put16(p, v);
    put16(p + 2, v >> 16);
}

bool writeHeader(const WavFile& wav) {
    const uint32_t dataBytes = static_cast<uint32_t>(wav.frames * kWavFrameBytes);
    uint8_t h[kWavHeaderBytes];
    std::memcpy(h, "RIFF", 4);
    put32(h + 4, kWavHeaderBytes - 8 + dataBytes);  // the file after these 8 bytes
    std::memcpy(h + 8, "WAVEfmt ", 8);
    put32(h + 16, 16);  // size of the format chunk
    put16(h + 20, 1);   // PCM
    put16(h + 22, 2);   // channels
    put32(h + 24, static_cast<uint32_t>(wav.sampleRate));
    put32(h + 28, static_cast<uint32_t>(wav.sampleRate) * kWavFrameBytes);  // bytes a second
    put16(h + 32, kWavFrameBytes);                                          // bytes a frame
    put16(h + 34, 16);                                                      // bits a sample
    std::memcpy(h + 36, "data", 4);
    put32(h + 40, dataBytes);
    return std::fwrite(h, 1, kWavHeaderBytes, wav.file) == kWavHeaderBytes;
}

}  // namespace

bool openWav(WavFile& wav, const char* path, int32_t sampleRate) {
    wav.file = std::fopen(path, "wb");
    wav.sampleRate = sampleRate;
    wav.frames = 0;
    if (!wav.file) return false;
    // One large buffer per file (the C library allocates it), so writes go out in big pieces.
    std::setvbuf(wav.file, nullptr, _IOFBF, kBufferBytes);
    return writeHeader(wav);
}

bool writeWav(WavFile& wav, const int16_t* frames, uint32_t frameCount) {
    if (wav.frames + frameCount > kMaxWavFrames) return false;
    const size_t values = size_t{frameCount} * 2;
    if constexpr (std::endian::native == std::endian::little) {
        if (std::fwrite(frames, sizeof(int16_t), values, wav.file) != values) return false;
    } else {
        static uint8_t bytes[1 << 16];
        for (size_t done = 0; done < values;) {
            const size_t n = values - done < sizeof bytes / 2 ? values - done : sizeof bytes / 2;
            for (size_t k = 0; k < n; ++k)
                put16(bytes + 2 * k, static_cast<uint16_t>(frames[done + k]));
            if (std::fwrite(bytes, 2, n, wav.file) != n) return false;
            done += n;
        }
    }
    wav.frames += frameCount;
    return true;
}

bool closeWav(WavFile& wav) {
    if (!wav.file) return false;
    bool ok =
        std::fflush(wav.file) == 0 && std::fseek(wav.file, 0, SEEK_SET) == 0 && writeHeader(wav);
    ok = std::fclose(wav.file) == 0 && ok;
    wav.file = nullptr;
    return ok;
}
