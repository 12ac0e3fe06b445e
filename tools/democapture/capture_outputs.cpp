#include "capture_outputs.h"

#include <fcntl.h>
#include <png.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "data/assets.h"
#include "render/cell_image.h"
#include "staged_output.h"

namespace {

void put16(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

bool writeWholeFile(const std::string& path, const uint8_t* data, size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    bool ok = std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && ok;
}

}  // namespace

bool appendCells(std::FILE* file, const CellFrame& frame) {
    uint8_t bytes[2 * kScreenCells];
    for (int k = 0; k < kScreenCells; ++k)
        put16(bytes + 2 * k, frame.cells[k]);
    return std::fwrite(bytes, 1, sizeof bytes, file) == sizeof bytes;
}

bool writePng(const std::string& path, const uint8_t* rgb) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    bool ok = false;
    if (png && info && setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, file);
        // Cell pictures are flat areas of few colours: fast compression loses little.
        png_set_compression_level(png, 3);
        png_set_filter(png, 0, PNG_FILTER_NONE | PNG_FILTER_SUB);
        png_set_IHDR(png, info, kCellImageWidth, kCellImageHeight, 8, PNG_COLOR_TYPE_RGB,
                     PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (int y = 0; y < kCellImageHeight; ++y)
            png_write_row(png, const_cast<png_bytep>(rgb + size_t{3} * kCellImageWidth * y));
        png_write_end(png, nullptr);
        ok = true;
    }
    png_destroy_write_struct(&png, &info);
    return std::fclose(file) == 0 && ok;
}

namespace {

struct Asset {
    const char* name;
    const uint8_t* data;
    size_t size;
};
// Built when asked for: the song's size is a value of another file, set at its start-up.
std::vector<Asset> embeddedAssets() {
    return {
        {"glyph_font.bin", &GlyphFont[0][0], 256 * kGlyphHeight},
        {"pictures.rgb", Picture0, 5 * kPictureBytes},
        {"scroll_banner.bin", ScrollBanner, kBannerWidth * kBannerHeight},
        {"song.xm", songImage, static_cast<size_t>(songImageSize)},
    };
}

// Runs a program found on the PATH with the given arguments, no shell involved. With
// pipeInput, the program's standard input is the write end returned in pipeInput. Its output
// goes to messages when given, otherwise nowhere. The child is watched, so that an interrupt
// stops it.
pid_t spawn(const std::vector<std::string>& arguments, std::FILE** pipeInput, std::FILE* messages) {
    std::vector<char*> argv;
    for (const std::string& a : arguments)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    int fds[2] = {-1, -1};
    if (pipeInput) {
        if (pipe(fds) != 0) return -1;
        posix_spawn_file_actions_adddup2(&actions, fds[0], STDIN_FILENO);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        posix_spawn_file_actions_addclose(&actions, fds[1]);
    }
    if (messages) {
        posix_spawn_file_actions_adddup2(&actions, fileno(messages), STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, fileno(messages), STDERR_FILENO);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    }
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    if (pid > 0) watchChild(pid);
    if (pipeInput) {
        close(fds[0]);
        if (pid < 0) {
            close(fds[1]);
        } else {
            *pipeInput = fdopen(fds[1], "wb");
        }
    }
    return pid;
}

bool waitFor(pid_t pid) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return false;
    }
    forgetChild(pid);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// The last line ffmpeg wrote, if any.
std::string lastMessage(std::FILE* messages) {
    std::string last;
    if (!messages) return last;
    std::rewind(messages);
    char line[1024];
    while (std::fgets(line, sizeof line, messages)) {
        std::string text = line;
        while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
            text.pop_back();
        if (!text.empty()) last = text;
    }
    return last;
}

bool finish(pid_t pid, std::FILE*& messages, std::string& message) {
    const bool ok = pid > 0 && waitFor(pid);
    if (!ok) message = lastMessage(messages);
    if (messages) std::fclose(messages);
    messages = nullptr;
    return ok;
}

}  // namespace

bool ffmpegAvailable() {
    pid_t pid = spawn({"ffmpeg", "-version"}, nullptr, nullptr);
    return pid > 0 && waitFor(pid);
}

bool openVideo(FfmpegRun& video, const std::string& path) {
    video.messages = std::tmpfile();
    // Cells are scaled up twice without filtering so that the colour subsampling of the video
    // keeps the cell edges sharp.
    video.process = spawn({"ffmpeg",    "-hide_banner", "-nostdin",
                           "-loglevel", "error",        "-y",
                           "-f",        "rawvideo",     "-pix_fmt",
                           "rgb24",     "-s",           "640x600",
                           "-r",        "25",           "-i",
                           "-",         "-vf",          "scale=1280:1200:flags=neighbor",
                           "-c:v",      "libx264",      "-preset",
                           "veryfast",  "-crf",         "18",
                           "-pix_fmt",  "yuv420p",      "-an",
                           "-f",        "mp4",          path},
                          &video.input, video.messages);
    return video.process > 0 && video.input;
}

bool appendVideo(FfmpegRun& video, const uint8_t* rgb) {
    return std::fwrite(rgb, 1, kCellImageBytes, video.input) ==
           static_cast<size_t>(kCellImageBytes);
}

bool closeVideo(FfmpegRun& video, std::string& message) {
    bool ok = std::fclose(video.input) == 0;
    video.input = nullptr;
    ok = finish(video.process, video.messages, message) && ok;
    video.process = -1;
    return ok;
}

bool muxVideo(const std::string& silentVideo, const std::string& wav, const std::string& path,
              const char* container, std::string& message) {
    std::vector<std::string> arguments = {
        "ffmpeg", "-hide_banner", "-nostdin", "-loglevel", "error",    "-y",
        "-i",     silentVideo,    "-i",       wav,         "-c:v",     "copy",
        "-c:a",   "aac",          "-b:a",     "192k",      "-shortest"};
    if (container) arguments.insert(arguments.end(), {"-f", container});
    arguments.push_back(path);
    std::FILE* messages = std::tmpfile();
    const pid_t pid = spawn(arguments, nullptr, messages);
    return finish(pid, messages, message);
}

bool writeAssets(const std::string& directory, std::string& failedName) {
    for (const Asset& asset : embeddedAssets()) {
        if (!writeWholeFile(directory + "/" + asset.name, asset.data, asset.size)) {
            failedName = asset.name;
            return false;
        }
    }
    return true;
}

uint64_t assetBytes() {
    uint64_t total = 0;
    for (const Asset& asset : embeddedAssets())
        total += asset.size;
    return total;
}
