// democapture: runs the demo offline and deterministically, as fast as the machine allows,
// and records what it shows and plays. The start-up and the drawing of every frame are the
// demo's own; the music goes through the offline output device, so frame n starts at
// (n - 1) x 40 ms of the audio (1764 output frames at 44100 Hz).
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "capture_outputs.h"
#include "director/director.h"
#include "host/cell_frame.h"
#include "render/cell_image.h"
#include "sound/output.h"
#include "sound/thread.h"
#include "wav_file.h"

namespace {

constexpr int32_t kAudioRate = 44100;
constexpr uint32_t kAudioFramesPerFrame = kAudioRate / 25;
constexpr int kDefaultLastFrame = 2750;  // the first 110 seconds
constexpr int kLargestFrame = 25 * 60 * 60 * 24;

const char kUsage[] =
    "usage: democapture [--frames A:B] [--png DIR] [--cells FILE] [--wav FILE]\n"
    "                   [--video FILE.mp4] [--assets DIR]\n"
    "  --frames A:B   frames to record, 1-based and inclusive (default 1:2750, 110 seconds)\n"
    "  --png DIR      one 640 by 600 PNG picture a frame, DIR/frame_NNNNN.png\n"
    "  --cells FILE   the raw cell frames, 4000 little-endian 16-bit words a frame\n"
    "  --wav FILE     the music, 44100 Hz 16-bit stereo, frame A at the start\n"
    "  --video FILE   pictures and music together through ffmpeg\n"
    "  --assets DIR   the font, pictures, banner and song compiled into the demo\n";

struct Options {
    int first = 1;
    int last = kDefaultLastFrame;
    std::string pngDirectory, cellsPath, wavPath, videoPath, assetsDirectory;
};

bool parseFrameRange(const char* text, int& first, int& last) {
    char* end = nullptr;
    errno = 0;
    long a = std::strtol(text, &end, 10);
    if (end == text || *end != ':') return false;
    const char* second = end + 1;
    long b = std::strtol(second, &end, 10);
    if (end == second || *end != '\0' || errno != 0) return false;
    if (a < 1 || b < a || b > kLargestFrame) return false;
    first = static_cast<int>(a);
    last = static_cast<int>(b);
    return true;
}

// Returns an error message, or an empty string when the arguments are good.
std::string parseArguments(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help" || option == "-h") return "help";
        std::string* target = nullptr;
        if (option == "--png") target = &options.pngDirectory;
        if (option == "--cells") target = &options.cellsPath;
        if (option == "--wav") target = &options.wavPath;
        if (option == "--video") target = &options.videoPath;
        if (option == "--assets") target = &options.assetsDirectory;
        if (option != "--frames" && !target) return "unknown argument " + option;
        if (i + 1 >= argc || argv[i + 1][0] == '\0') return option + " needs a value";
        const char* value = argv[++i];
        if (target) {
            *target = value;
        } else if (!parseFrameRange(value, options.first, options.last)) {
            return std::string("--frames takes A:B with 1 <= A <= B, not ") + value;
        }
    }
    const uint64_t audioFrames = uint64_t(options.last - options.first + 1) * kAudioFramesPerFrame;
    if ((!options.wavPath.empty() || !options.videoPath.empty()) && audioFrames > kMaxWavFrames)
        return "a WAV file holds at most " + std::to_string(kMaxWavFrames / kAudioFramesPerFrame) +
               " frames of music: record a shorter --frames range";
    if (options.pngDirectory.empty() && options.cellsPath.empty() && options.wavPath.empty() &&
        options.videoPath.empty() && options.assetsDirectory.empty())
        return "nothing to record: give at least one of --png, --cells, --wav, --video, --assets";
    return "";
}

int fail(const std::string& message) {
    std::fprintf(stderr, "democapture: %s\n", message.c_str());
    return 1;
}

std::string describeErrno(const std::string& path) {
    return path + ": " + std::strerror(errno);
}

uint32_t stillClock() {
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    const std::string problem = parseArguments(argc, argv, options);
    if (problem == "help") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (!problem.empty()) {
        std::fprintf(stderr, "democapture: %s\n%s", problem.c_str(), kUsage);
        return 2;
    }
    // A writer that dies (ffmpeg) must not take this process with it: its writes fail instead.
    signal(SIGPIPE, SIG_IGN);

    if (!options.assetsDirectory.empty()) {
        std::string error;
        if (!writeAssets(options.assetsDirectory, error)) return fail(error);
    }
    const bool wantPng = !options.pngDirectory.empty();
    const bool wantVideo = !options.videoPath.empty();
    const bool wantCells = !options.cellsPath.empty();
    const bool wantWav = !options.wavPath.empty();
    if (!wantPng && !wantVideo && !wantCells && !wantWav) return 0;

    // Open every output before the long run, so that a bad path fails at once.
    if (wantPng && !makeDirectories(options.pngDirectory))
        return fail(describeErrno(options.pngDirectory));
    std::FILE* cells = nullptr;
    if (wantCells && !(cells = std::fopen(options.cellsPath.c_str(), "wb")))
        return fail(describeErrno(options.cellsPath));
    WavFile wav{};
    if (wantWav && !openWav(wav, options.wavPath.c_str(), kAudioRate))
        return fail(describeErrno(options.wavPath));
    // The video is encoded silent while the frames run; its music goes to a WAV file beside
    // it, and the two are joined at the end.
    VideoPipe video;
    WavFile videoSound{};
    const std::string silentVideo = options.videoPath + ".pictures.mp4";
    const std::string videoWav = options.videoPath + ".music.wav";
    if (wantVideo) {
        if (!ffmpegAvailable())
            return fail("--video needs ffmpeg on the PATH (Debian package ffmpeg)");
        if (!openWav(videoSound, videoWav.c_str(), kAudioRate))
            return fail(describeErrno(videoWav));
        if (!openVideo(video, silentVideo)) return fail("cannot start ffmpeg");
    }

    useOutputDevice(&offlineOutput, &platformThreads);
    switch (startUpDemo(DirectorHost{nullptr, stillClock})) {
        case StartUp::Started:
            break;
        case StartUp::NoSoundOutput:
            return fail("the offline sound output could not be opened");
        case StartUp::NoSong:
            return fail("the song compiled into the demo could not be loaded");
    }

    const bool progress = isatty(STDERR_FILENO);
    std::unique_ptr<uint8_t[]> picture(new uint8_t[kCellImageBytes]);
    int16_t audio[2 * kAudioFramesPerFrame];
    std::string error;
    for (int n = 1; n <= options.last && error.empty(); ++n) {
        frameNumber = n;
        drawFrame(n);
        // The music of frame n: frame 1 started it, so the play position stands at n - 1 frames.
        std::memset(audio, 0, sizeof audio);
        readOfflineOutput(audio, kAudioFramesPerFrame);
        if (n < options.first) continue;

        if (wantCells && !appendCells(cells, cellFrame)) error = describeErrno(options.cellsPath);
        if (wantWav && !writeWav(wav, audio, kAudioFramesPerFrame))
            error = describeErrno(options.wavPath);
        if (wantPng || wantVideo) drawCellImage(cellFrame, picture.get());
        if (wantPng) {
            char name[32];
            std::snprintf(name, sizeof name, "/frame_%05d.png", n);
            if (!writePng(options.pngDirectory + name, picture.get()))
                error = describeErrno(options.pngDirectory + name);
        }
        if (wantVideo) {
            if (!appendVideo(video, picture.get())) error = "ffmpeg stopped taking frames";
            if (!writeWav(videoSound, audio, kAudioFramesPerFrame)) error = describeErrno(videoWav);
        }
        if (progress && (n % 25 == 0 || n == options.last))
            std::fprintf(stderr, "\rdemocapture: frame %d of %d (%d s)", n, options.last, n / 25);
    }
    if (progress) std::fputc('\n', stderr);
    closeOutput();  // stops the music first

    if (wantCells && std::fclose(cells) != 0 && error.empty())
        error = describeErrno(options.cellsPath);
    if (wantWav && !closeWav(wav) && error.empty()) error = describeErrno(options.wavPath);
    if (wantVideo) {
        const bool encoded = closeVideo(video) && error.empty();
        const bool sound = closeWav(videoSound);
        if (encoded && sound && !muxVideo(silentVideo, videoWav, options.videoPath))
            error = "ffmpeg could not join pictures and music into " + options.videoPath;
        else if (!encoded && error.empty())
            error = "ffmpeg could not encode " + options.videoPath;
        std::remove(silentVideo.c_str());
        std::remove(videoWav.c_str());
    }
    if (!error.empty()) return fail(error);
    return 0;
}
