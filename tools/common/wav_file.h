// Writing 16-bit stereo PCM into a WAV file, in large buffered writes.
#pragma once
#include <cstdint>
#include <cstdio>

// The bytes of one frame of the file: a 16-bit value for the left channel, then the right.
constexpr uint32_t kWavFrameBytes = 4;

struct WavFile {
    std::FILE* file;
    int32_t sampleRate;
    uint64_t frames;  // written so far
};

// The header before the samples: the RIFF chunk's head, the format chunk and the data chunk's
// head.
constexpr uint32_t kWavHeaderBytes = 44;

// The most frames a WAV file can hold: its sizes are 32-bit byte counts, and the RIFF chunk's
// size counts everything after its first 8 bytes.
constexpr uint64_t kMaxWavFrames = (0xFFFFFFFFull - (kWavHeaderBytes - 8)) / kWavFrameBytes;

// Creates the file and writes a header whose sizes are filled in by closeWav.
bool openWav(WavFile& wav, const char* path, int32_t sampleRate);
// Appends interleaved left, right frames.
bool writeWav(WavFile& wav, const int16_t* frames, uint32_t frameCount);
// Fills in the sizes and closes the file; false if anything could not be written.
bool closeWav(WavFile& wav);
