// democapture: runs the demo offline and deterministically, as fast as the machine allows,
// and records what it shows and plays. The start-up and the drawing of every frame are the
// demo's own; the music goes through the offline output device, so frame n starts at
// (n - 1) x 40 ms of the audio (1764 output frames at 44100 Hz).
//
// Every output is checked (its path, the size of a WAV file, the free space) before the run,
// written under a temporary name and put in place only when the run has succeeded.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "capture_outputs.h"
#include "cells/cell_frame.h"
#include "command_line.h"
#include "director/director.h"
#include "engine/output.h"
#include "engine/thread.h"
#include "render/cell_image.h"
#include "staged_output.h"
#include "wav_file.h"

namespace {

constexpr uint32_t kAudioFramesPerFrame = kOutputRate / 25;
constexpr int kDefaultLastFrame = 2750;           // the first 110 seconds
constexpr int kLargestFrame = 25 * 60 * 60 * 24;  // 24 hours
constexpr uint64_t kMostWavFrames = kMaxWavFrames / kAudioFramesPerFrame;

// Bytes a frame takes, for the free-space check. Cells and music are exact; pictures are
// estimated above what the demo's own frames take (its largest PNG is 28 KiB, its video
// pictures about 16 KiB a frame on average, its music in AAC 1 KiB).
constexpr uint64_t kCellBytesPerFrame = 2 * kScreenCells;
constexpr uint64_t kWavBytesPerFrame = kFrameBytes * kAudioFramesPerFrame;
constexpr uint64_t kPngBytesPerFrame = 32 * 1024;
constexpr uint64_t kVideoBytesPerFrame = 24 * 1024 + 1024;

// Every option democapture takes; the parser knows no other.
constexpr OptionSpec kOptions[] = {
    {"--frames", nullptr, true}, {"--png", nullptr, true},      {"--cells", nullptr, true},
    {"--wav", nullptr, true},    {"--video", nullptr, true},    {"--assets", nullptr, true},
    {"--help", "-h", false},     {"--version", nullptr, false},
};

const char kUsage[] =
    "usage: democapture [--frames A:B] [--png DIR] [--cells FILE] [--wav FILE]\n"
    "                   [--video FILE] [--assets DIR]\n";

const char kHelp[] =
    "democapture records the demo offline: the same start-up, pictures and music as the demo,\n"
    "frame by frame and as fast as the machine allows, without a terminal or a sound card.\n"
    "Every run gives the same files.\n"
    "\n"
    "usage: democapture [--frames A:B] [--png DIR] [--cells FILE] [--wav FILE]\n"
    "                   [--video FILE] [--assets DIR]\n"
    "\n"
    "Options (at least one output: --png, --cells, --wav, --video or --assets):\n"
    "  --frames A:B   the frames to record, A to B inclusive, 1 <= A <= B <= 2160000; 25\n"
    "                 frames a second, frame n starts at (n - 1) x 40 ms of the music.\n"
    "                 Default 1:2750, the first 110 seconds.\n"
    "  --png DIR      one PNG picture a frame, 640 by 600 pixels (8 by 12 a cell), as\n"
    "                 DIR/frame_NNNNN.png after the frame number. DIR and its parents are made\n"
    "                 if needed; pictures of the same names in DIR are replaced.\n"
    "  --cells FILE   the cells of every frame: 4000 little-endian 16-bit words a frame, row\n"
    "                 by row, the character in the low byte and the colour attribute (low\n"
    "                 nibble foreground, high nibble background) in the high byte.\n"
    "  --wav FILE     the music: a WAV file, 44100 Hz, 16-bit stereo PCM, frame A's music at\n"
    "                 its start. At most 608697 frames (4 GiB, the most a WAV file holds).\n"
    "  --video FILE   pictures and music together: H.264 at 1280 by 1200 and 25 frames a\n"
    "                 second, AAC music, in the container FILE's extension names (MP4 when it\n"
    "                 has none). Needs ffmpeg; the same limit of frames as --wav.\n"
    "  --assets DIR   the files compiled into the demo: glyph_font.bin, pictures.rgb,\n"
    "                 scroll_banner.bin and song.xm. DIR is made if needed.\n"
    "  -h, --help     this text.\n"
    "  --version      the version.\n"
    "\n"
    "Files appear whole or not at all: each is written under a temporary name beside it and\n"
    "renamed into place when the run has succeeded, so an error or an interrupt (Ctrl-C,\n"
    "SIGTERM, SIGHUP) leaves no new file and keeps an earlier file of the same name as it was.\n"
    "Outputs that would not fit the free space of their file system are refused before the\n"
    "run. A progress line is shown when standard error is a terminal.\n"
    "\n"
    "Exit status: 0 when every output is written; 1 when one cannot be (the message names\n"
    "it); 2 for bad arguments. An interrupted run ends by its signal (130 in a shell after\n"
    "Ctrl-C).\n"
    "\n"
    "Examples:\n"
    "  democapture --video demo.mp4                  # the first 110 s, pictures and music\n"
    "  democapture --frames 101:200 --png shots      # PNG pictures of frames 101 to 200\n"
    "  democapture --cells frames.cells --wav music.wav\n";

struct Options {
    int first = 1;
    int last = kDefaultLastFrame;
    std::string pngDirectory, cellsPath, wavPath, videoPath, assetsDirectory;
    bool help = false;
    bool version = false;
};

// A frame number: digits only, 1 .. kLargestFrame.
bool parseFrame(const std::string& text, int& frame) {
    if (text.empty() || text.size() > 7) return false;
    long value = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    if (value < 1 || value > kLargestFrame) return false;
    frame = static_cast<int>(value);
    return true;
}

bool parseFrameRange(const std::string& text, int& first, int& last) {
    const size_t colon = text.find(':');
    if (colon == std::string::npos) return false;
    int a = 0, b = 0;
    if (!parseFrame(text.substr(0, colon), a) || !parseFrame(text.substr(colon + 1), b) || b < a)
        return false;
    first = a;
    last = b;
    return true;
}

constexpr CommandLine kCommandLine = {"democapture", kUsage, kOptions};

// Takes one option and its value into options: an error message, or an empty string.
std::string takeOption(const std::string& name, const char* value, Options& options) {
    if (name == "--frames" && !parseFrameRange(value, options.first, options.last)) {
        return "--frames takes A:B, two frame numbers with 1 <= A <= B <= " +
               std::to_string(kLargestFrame) + " (24 hours), not \"" + value + "\"";
    }
    if (name == "--png") options.pngDirectory = value;
    if (name == "--cells") options.cellsPath = value;
    if (name == "--wav") options.wavPath = value;
    if (name == "--video") options.videoPath = value;
    if (name == "--assets") options.assetsDirectory = value;
    if (name == "--help") options.help = true;
    if (name == "--version") options.version = true;
    return "";
}

// Returns an error message, or an empty string when the arguments are good.
std::string parseArguments(int argc, char** argv, Options& options) {
    const std::string problem = readCommandLine(
        kCommandLine, argc, argv,
        [&](const std::string& name, const char* value) {
            return takeOption(name, value, options);
        },
        [](const char* operand) {
            return "unexpected argument " + std::string(operand) +
                   " (every output is given by an option)";
        });
    if (!problem.empty()) return problem;
    if (options.help || options.version) return "";
    const std::pair<const char*, const std::string*> files[] = {{"--cells", &options.cellsPath},
                                                                {"--wav", &options.wavPath},
                                                                {"--video", &options.videoPath}};
    for (const auto& [name, path] : files) {
        for (const auto& [otherName, otherPath] : files) {
            if (name != otherName && !path->empty() && *path == *otherPath)
                return std::string(name) + " and " + otherName + " name the same file";
        }
    }
    const uint64_t frames = uint64_t(options.last - options.first + 1);
    if ((!options.wavPath.empty() || !options.videoPath.empty()) && frames > kMostWavFrames) {
        return "the music of " + std::to_string(frames) + " frames would take " +
               describeBytes(kWavHeaderBytes + frames * kWavBytesPerFrame) +
               " as a WAV file, and a WAV file holds at most 4.0 GiB (" +
               std::to_string(kMostWavFrames) + " frames): record a shorter --frames range";
    }
    if (options.pngDirectory.empty() && options.cellsPath.empty() && options.wavPath.empty() &&
        options.videoPath.empty() && options.assetsDirectory.empty())
        return "nothing to record: give at least one of --png, --cells, --wav, --video, --assets";
    return "";
}

int fail(const std::string& message) {
    discardOutputs();
    std::fprintf(stderr, "democapture: %s\n", message.c_str());
    return 1;
}

std::string describeErrno(const std::string& path) {
    return path + ": " + std::strerror(errno);
}

// ffmpeg's message with the temporary names it was given replaced by the name the user gave.
std::string userMessage(std::string message, const std::vector<std::string>& temporaries,
                        const std::string& path) {
    for (const std::string& temporary : temporaries) {
        for (size_t at; !temporary.empty() && (at = message.find(temporary)) != std::string::npos;)
            message.replace(at, temporary.size(), path);
    }
    return message;
}

// Checks every output before anything is written: its path and the space it will take.
std::string checkOutputs(const Options& options) {
    const uint64_t frames = uint64_t(options.last - options.first + 1);
    std::vector<SpaceNeed> needs;
    std::string problem;
    if (!options.assetsDirectory.empty()) {
        problem = checkFolderTarget(options.assetsDirectory);
        needs.push_back({options.assetsDirectory, assetBytes()});
    }
    if (problem.empty() && !options.pngDirectory.empty()) {
        problem = checkFolderTarget(options.pngDirectory);
        needs.push_back({options.pngDirectory, frames * kPngBytesPerFrame});
    }
    if (problem.empty() && !options.cellsPath.empty()) {
        problem = checkFileTarget(options.cellsPath);
        needs.push_back({options.cellsPath, frames * kCellBytesPerFrame});
    }
    if (problem.empty() && !options.wavPath.empty()) {
        problem = checkFileTarget(options.wavPath);
        needs.push_back({options.wavPath, kWavHeaderBytes + frames * kWavBytesPerFrame});
    }
    if (problem.empty() && !options.videoPath.empty()) {
        problem = checkFileTarget(options.videoPath);
        // The music and the silent pictures stay beside the video until they are joined.
        needs.push_back({options.videoPath,
                         kWavHeaderBytes + frames * (kWavBytesPerFrame + 2 * kVideoBytesPerFrame)});
    }
    if (problem.empty()) problem = checkFreeSpace(needs);
    return problem;
}

uint32_t stillClock() {
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    const std::string problem = parseArguments(argc, argv, options);
    if (!problem.empty()) return refuseCommandLine(kCommandLine, problem);
    if (answerHelpOrVersion(kCommandLine, options.help, options.version, kHelp)) return 0;
    const bool wantPng = !options.pngDirectory.empty();
    const bool wantVideo = !options.videoPath.empty();
    const bool wantCells = !options.cellsPath.empty();
    const bool wantWav = !options.wavPath.empty();
    const bool wantAssets = !options.assetsDirectory.empty();
    const bool wantFrames = wantPng || wantVideo || wantCells || wantWav;

    const std::string unfit = checkOutputs(options);
    if (!unfit.empty()) return fail(unfit);
    if (wantVideo && !ffmpegAvailable())
        return fail("--video needs ffmpeg on the PATH (Debian package ffmpeg)");

    catchInterrupts();
    // A writer that dies (ffmpeg) must not take this process with it: its writes fail instead.
    signal(SIGPIPE, SIG_IGN);

    // Every output is opened before the long run, so that a bad path fails at once.
    std::string error;
    StagedFolder assets, png;
    if (wantAssets) {
        std::string failedName;
        if (!stageFolder(assets, options.assetsDirectory, error)) return fail(error);
        if (!writeAssets(assets.temporary, failedName))
            return fail(describeErrno(options.assetsDirectory + "/" + failedName));
    }
    if (wantPng && !stageFolder(png, options.pngDirectory, error)) return fail(error);
    StagedFile cellsFile, wavFile;
    std::FILE* cells = nullptr;
    if (wantCells) {
        if (!stageFile(cellsFile, options.cellsPath, error)) return fail(error);
        if (!(cells = std::fopen(cellsFile.temporary.c_str(), "wb")))
            return fail(describeErrno(options.cellsPath));
    }
    WavFile wav{};
    if (wantWav) {
        if (!stageFile(wavFile, options.wavPath, error)) return fail(error);
        if (!openWav(wav, wavFile.temporary.c_str(), kOutputRate))
            return fail(describeErrno(options.wavPath));
    }
    // The video is encoded silent while the frames run; its music goes to a WAV file beside
    // it, and the two are joined at the end.
    StagedFile videoFile, silentVideo, videoMusic;
    FfmpegRun video;
    WavFile videoSound{};
    if (wantVideo) {
        if (!stageFile(videoFile, options.videoPath, error) ||
            !stageFile(silentVideo, options.videoPath, error, ".mp4") ||
            !stageFile(videoMusic, options.videoPath, error, ".wav"))
            return fail(error);
        if (!openWav(videoSound, videoMusic.temporary.c_str(), kOutputRate))
            return fail(describeErrno(options.videoPath));
        if (!openVideo(video, silentVideo.temporary))
            return fail(options.videoPath + ": ffmpeg could not be started");
    }
    const std::vector<std::string> videoTemporaries = {videoFile.temporary, silentVideo.temporary,
                                                       videoMusic.temporary};

    if (wantFrames) {
        useOutputDevice(&offlineOutput, &platformThreads);
        switch (startUpDemo(DirectorHost{nullptr, stillClock})) {
            case StartUp::Started:
                break;
            case StartUp::NoSoundOutput:
                return fail("the offline sound output could not be opened");
            case StartUp::NoSong:
                return fail("the song compiled into the demo could not be loaded");
        }
    }

    const bool progress = wantFrames && isatty(STDERR_FILENO);
    std::unique_ptr<uint8_t[]> picture(new uint8_t[kCellImageBytes]);
    int16_t audio[2 * kAudioFramesPerFrame];
    for (int n = 1; wantFrames && n <= options.last && error.empty() && !interrupted(); ++n) {
        drawFrame(n);
        // The music of frame n: frame 1 started it, so the play position stands at n - 1 frames.
        std::memset(audio, 0, sizeof audio);
        readOfflineOutput(audio, kAudioFramesPerFrame);
        if (n < options.first) continue;

        if (wantCells && !appendCells(cells, cellFrame())) error = describeErrno(options.cellsPath);
        if (wantWav && !writeWav(wav, audio, kAudioFramesPerFrame))
            error = describeErrno(options.wavPath);
        if (wantPng || wantVideo) drawCellImage(cellFrame(), picture.get());
        if (wantPng) {
            char name[32];
            std::snprintf(name, sizeof name, "/frame_%05d.png", n);
            if (!writePng(png.temporary + name, picture.get()))
                error = describeErrno(options.pngDirectory + name);
        }
        if (wantVideo) {
            if (!appendVideo(video, picture.get()))
                error = options.videoPath + ": ffmpeg stopped taking frames";
            if (!writeWav(videoSound, audio, kAudioFramesPerFrame))
                error = describeErrno(options.videoPath);
        }
        if (progress && (n % 25 == 0 || n == options.last))
            std::fprintf(stderr, "\rdemocapture: frame %d of %d (%d s)", n, options.last, n / 25);
    }
    if (progress) std::fputc('\n', stderr);
    stopIfInterrupted();
    if (wantFrames) closeOutput();  // stops the music first

    if (wantCells && std::fclose(cells) != 0 && error.empty())
        error = describeErrno(options.cellsPath);
    if (wantWav && !closeWav(wav) && error.empty()) error = describeErrno(options.wavPath);
    if (wantVideo) {
        std::string message;
        const bool encoded = closeVideo(video, message);
        const bool sound = closeWav(videoSound);
        stopIfInterrupted();
        if (error.empty() && !encoded)
            error = options.videoPath + ": ffmpeg could not encode the pictures" +
                    (message.empty() ? "" : ": " + message);
        if (error.empty() && !sound) error = describeErrno(options.videoPath);
        // A name without an extension leaves ffmpeg no container to choose.
        const std::string name = options.videoPath.substr(options.videoPath.rfind('/') + 1);
        const bool named = videoFile.direct || name.find('.', 1) != std::string::npos;
        if (error.empty() && !muxVideo(silentVideo.temporary, videoMusic.temporary,
                                       videoFile.temporary, named ? nullptr : "mp4", message)) {
            stopIfInterrupted();
            error = options.videoPath + ": ffmpeg could not join pictures and music" +
                    (message.empty() ? "" : ": " + message);
        }
        error = userMessage(error, videoTemporaries, options.videoPath);
        discardFile(silentVideo);
        discardFile(videoMusic);
    }
    stopIfInterrupted();
    if (!error.empty()) return fail(error);

    // Signals wait while the outputs are put in place, so that they all appear together.
    sigset_t interrupts, previous;
    sigemptyset(&interrupts);
    for (int s : {SIGINT, SIGTERM, SIGHUP})
        sigaddset(&interrupts, s);
    sigprocmask(SIG_BLOCK, &interrupts, &previous);
    const bool committed =
        (!wantAssets || commitFolder(assets, error)) && (!wantPng || commitFolder(png, error)) &&
        (!wantCells || commitFile(cellsFile, error)) && (!wantWav || commitFile(wavFile, error)) &&
        (!wantVideo || commitFile(videoFile, error));
    if (!committed) discardOutputs();
    sigprocmask(SIG_SETMASK, &previous, nullptr);
    if (!committed) return fail(error);
    return 0;
}
