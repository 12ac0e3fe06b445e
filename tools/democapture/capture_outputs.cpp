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

// Runs a program found on the PATH with the given arguments, no shell involved. With
// pipeInput, the program's standard input is the write end returned in pipeInput; with quiet,
// its output goes nowhere.
pid_t spawn(const std::vector<std::string>& arguments, std::FILE** pipeInput, bool quiet = false) {
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
    if (quiet) {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    }
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid = -1;
    posix_spawn_file_actions_destroy(&actions);
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
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

bool ffmpegAvailable() {
    pid_t pid = spawn({"ffmpeg", "-version"}, nullptr, true);
    return pid > 0 && waitFor(pid);
}

bool openVideo(VideoPipe& video, const std::string& path) {
    // Cells are scaled up twice without filtering so that the colour subsampling of the video
    // keeps the cell edges sharp.
    video.process = spawn({"ffmpeg",
                           "-hide_banner",
                           "-loglevel",
                           "error",
                           "-y",
                           "-f",
                           "rawvideo",
                           "-pix_fmt",
                           "rgb24",
                           "-s",
                           "640x600",
                           "-r",
                           "25",
                           "-i",
                           "-",
                           "-vf",
                           "scale=1280:1200:flags=neighbor",
                           "-c:v",
                           "libx264",
                           "-preset",
                           "veryfast",
                           "-crf",
                           "18",
                           "-pix_fmt",
                           "yuv420p",
                           "-an",
                           path},
                          &video.pipe);
    return video.process > 0 && video.pipe;
}

bool appendVideo(VideoPipe& video, const uint8_t* rgb) {
    return std::fwrite(rgb, 1, kCellImageBytes, video.pipe) == static_cast<size_t>(kCellImageBytes);
}

bool closeVideo(VideoPipe& video) {
    bool ok = std::fclose(video.pipe) == 0;
    video.pipe = nullptr;
    return waitFor(video.process) && ok;
}

bool muxVideo(const std::string& silentVideo, const std::string& wav, const std::string& path) {
    pid_t pid = spawn({"ffmpeg", "-hide_banner", "-loglevel", "error", "-y", "-i", silentVideo,
                       "-i", wav, "-c:v", "copy", "-c:a", "aac", "-b:a", "192k", "-shortest", path},
                      nullptr);
    return pid > 0 && waitFor(pid);
}

bool writeAssets(const std::string& directory, std::string& error) {
    struct Asset {
        const char* name;
        const uint8_t* data;
        size_t size;
    };
    const Asset assets[] = {
        {"glyph_font.bin", &GlyphFont[0][0], 256 * kGlyphHeight},
        {"pictures.rgb", Picture0, 5 * kPictureBytes},
        {"scroll_banner.bin", ScrollBanner, kBannerWidth * kBannerHeight},
        {"song.xm", songImage, songImageSize},
    };
    if (!makeDirectories(directory)) {
        error = directory + ": " + std::strerror(errno);
        return false;
    }
    for (const Asset& asset : assets) {
        const std::string path = directory + "/" + asset.name;
        if (!writeWholeFile(path, asset.data, asset.size)) {
            error = path + ": " + std::strerror(errno);
            return false;
        }
    }
    return true;
}

bool makeDirectories(const std::string& directory) {
    std::string partial;
    size_t start = 0;
    while (start <= directory.size()) {
        size_t slash = directory.find('/', start);
        if (slash == std::string::npos) slash = directory.size();
        partial = directory.substr(0, slash);
        if (!partial.empty() && mkdir(partial.c_str(), 0777) != 0 && errno != EEXIST) return false;
        start = slash + 1;
    }
    struct stat info;
    return stat(directory.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}
