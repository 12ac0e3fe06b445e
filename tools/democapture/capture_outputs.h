// The files democapture writes: raw cell frames, the music as a WAV file, one PNG picture a
// frame, a video through ffmpeg, and the embedded assets as plain files.
#pragma once
#include <sys/types.h>
#include <cstdint>

#include <cstdio>
#include <string>

#include "cells/cell_frame.h"

// 4000 little-endian 16-bit cell words a frame.
bool appendCells(std::FILE* file, const CellFrame& frame);

// Writes rgb (kCellImageWidth by kCellImageHeight, 3 bytes a pixel) as a PNG file.
bool writePng(const std::string& path, const uint8_t* rgb);

// An ffmpeg process. The frames it encodes go through input; its messages go to an unnamed
// temporary file, read back only when it fails.
struct FfmpegRun {
    pid_t process = -1;
    std::FILE* input = nullptr;
    std::FILE* messages = nullptr;
};
bool ffmpegAvailable();
// Starts encoding the frames given to appendVideo into a silent video at path (MP4); the music
// is added afterwards by muxVideo.
bool openVideo(FfmpegRun& video, const std::string& path);
bool appendVideo(FfmpegRun& video, const uint8_t* rgb);
// Waits for ffmpeg to finish; false, with its last message line if it gave one, when it failed.
bool closeVideo(FfmpegRun& video, std::string& message);
// Joins a silent video and a WAV file into one video with sound at path, in the given container
// (an ffmpeg format name), or in the one path's extension names when container is null.
bool muxVideo(const std::string& silentVideo, const std::string& wav, const std::string& path,
              const char* container, std::string& message);

// Writes glyph_font.bin, pictures.rgb, scroll_banner.bin and song.xm into directory; on failure
// names the file that could not be written, with errno set.
bool writeAssets(const std::string& directory, std::string& failedName);
// The bytes writeAssets writes.
uint64_t assetBytes();
