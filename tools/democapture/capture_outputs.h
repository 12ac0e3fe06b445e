// The files democapture writes: raw cell frames, the music as a WAV file, one PNG picture a
// frame, a video through ffmpeg, and the embedded assets as plain files.
#pragma once
#include <sys/types.h>
#include <cstdint>

#include <cstdio>
#include <string>

#include "host/cell_frame.h"

// 4000 little-endian 16-bit cell words a frame.
bool appendCells(std::FILE* file, const CellFrame& frame);

// Writes rgb (kCellImageWidth by kCellImageHeight, 3 bytes a pixel) as a PNG file.
bool writePng(const std::string& path, const uint8_t* rgb);

// An ffmpeg process that encodes the frames it is given into a silent video; the music is
// added afterwards by muxVideo.
struct VideoPipe {
    std::FILE* pipe = nullptr;
    pid_t process = -1;
};
bool ffmpegAvailable();
bool openVideo(VideoPipe& video, const std::string& path);
bool appendVideo(VideoPipe& video, const uint8_t* rgb);
bool closeVideo(VideoPipe& video);
// Joins a silent video and a WAV file into one video with sound.
bool muxVideo(const std::string& silentVideo, const std::string& wav, const std::string& path);

// Writes glyph_font.bin, pictures.rgb, scroll_banner.bin and song.xm into directory.
bool writeAssets(const std::string& directory, std::string& error);

// Creates directory and its parents if they do not exist.
bool makeDirectories(const std::string& directory);
