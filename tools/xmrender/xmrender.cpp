// xmrender: renders an XM song through the engine's loader, sequencer and mixer into a
// 44100 Hz 16-bit stereo WAV file.
//
//   xmrender SONG.xm -o OUT.wav [--seconds N] [--info]
//
// Without --seconds the song plays until it first comes back to an order position it has
// already played (its natural loop), at most 10 minutes. --info prints the song's header,
// order list, instruments and samples; with no -o it only prints them.
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "sequencer/sequencer.h"
#include "song_info.h"
#include "sound/file_access.h"
#include "sound/module.h"
#include "sound/output.h"
#include "sound/thread.h"
#include "terminal.h"
#include "wav_file.h"

namespace {

constexpr int32_t kRate = 44100;
constexpr double kDefaultLimitSeconds = 600.0;
// Frames taken from the stream at a time: well inside the ring, so that every tick of these
// frames has run before they are read.
constexpr uint32_t kChunkFrames = 65536;
constexpr char kUsage[] = "usage: xmrender SONG.xm -o OUT.wav [--seconds N] [--info]\n";

struct Options {
    const char* song = nullptr;
    const char* output = nullptr;
    double seconds = 0.0;  // 0: until the song loops
    bool info = false;
};

int usageError(const char* problem) {
    std::fprintf(stderr, "xmrender: %s\n%s", problem, kUsage);
    return 2;
}

// Parses the arguments; returns -1 when the tool should go on, otherwise its exit status.
int parseArguments(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--info") {
            options.info = true;
        } else if (arg == "-o" || arg == "--output") {
            if (i + 1 >= argc) return usageError("-o needs a file name");
            options.output = argv[++i];
        } else if (arg == "--seconds") {
            if (i + 1 >= argc) return usageError("--seconds needs a number");
            const char* text = argv[++i];
            char* end = nullptr;
            errno = 0;
            const double seconds = std::strtod(text, &end);
            const double most = static_cast<double>(kMaxWavFrames) / kRate;
            if (end == text || *end != 0 || errno != 0 || !(seconds > 0.0) || seconds > most) {
                return usageError("--seconds needs a number of seconds above 0 (at most 24347)");
            }
            options.seconds = seconds;
        } else if (arg.size() > 1 && arg[0] == '-') {
            return usageError(("unknown option " + arg).c_str());
        } else if (!options.song) {
            options.song = argv[i];
        } else {
            return usageError("more than one song given");
        }
    }
    if (!options.song) return usageError("no song given");
    if (!options.output && !options.info) return usageError("no output file given (-o)");
    return -1;
}

int fileError(const char* name, const std::string& reason) {
    std::fprintf(stderr, "xmrender: %s: %s\n", name, reason.c_str());
    return 1;
}

// Reads the start of the song file; an empty string when it looks like an XM file, otherwise
// the reason it cannot be played.
std::string probeSong(const char* path, uint8_t* head) {
    std::FILE* file = std::fopen(path, "rb");
    if (!file) return std::string("cannot open: ") + std::strerror(errno);
    std::memset(head, 0, kFileHeadBytes);
    const size_t got = std::fread(head, 1, kFileHeadBytes, file);
    const int readError = std::ferror(file) ? errno : 0;
    std::fclose(file);
    if (readError != 0) return std::string("cannot read: ") + std::strerror(readError);
    if (got < 17 || std::memcmp(head, "Extended Module: ", 17) != 0) {
        return "not an XM file (no \"Extended Module: \" signature)";
    }
    return {};
}

// The tick handler while rendering: the sequencer's tick, watched for the first return to an
// order position already played. Runs on the thread that mixes.
std::atomic<int64_t> loopFrame{-1};  // the frame at which the song first loops; -1 not yet
int64_t tickFrame = 0;               // frames before the tick now running
bool positionPlayed[256];

void renderTick(Module* module) {
    const bool entersPosition = module->tick == 0 && module->nextOrder >= 0;
    playTick(module);
    if (entersPosition && module->orderIndex >= 0 && module->orderIndex < 256) {
        if (positionPlayed[module->orderIndex] && loopFrame.load() < 0) {
            loopFrame.store(tickFrame);
        }
        positionPlayed[module->orderIndex] = true;
    }
    tickFrame += module->samplesPerTick;
}

void showProgress(double seconds, double total, bool known) {
    if (known) {
        std::fprintf(stderr, "\rxmrender: %.1f s of %.1f s", seconds, total);
    } else {
        std::fprintf(stderr, "\rxmrender: %.1f s", seconds);
    }
    std::fflush(stderr);
}

// Renders the loaded song into the WAV file; the errno of a failed write, or 0.
int render(Module* module, const Options& options, WavFile& wav) {
    static int16_t chunk[2 * kChunkFrames];
    const bool progress = stderrIsTerminal();
    const bool fixedLength = options.seconds > 0.0;
    const double seconds = fixedLength ? options.seconds : kDefaultLimitSeconds;
    int64_t limit = std::llround(seconds * kRate);

    std::memset(positionPlayed, 0, sizeof positionPlayed);
    positionPlayed[0] = true;
    loopFrame.store(-1);
    tickFrame = 0;
    module->tickHandler = renderTick;
    startPlayback(module);

    int64_t written = 0;
    int64_t nextReport = 0;
    int error = 0;
    while (error == 0) {
        if (!fixedLength) {
            const int64_t loop = loopFrame.load();
            if (loop >= 0 && loop < limit) limit = loop;
        }
        if (written >= limit) break;
        const uint32_t n = static_cast<uint32_t>(
            limit - written < kChunkFrames ? limit - written : int64_t{kChunkFrames});
        readOfflineOutput(chunk, n);
        if (!writeWav(wav, chunk, n)) error = errno != 0 ? errno : EIO;
        written += n;
        if (progress && written >= nextReport) {
            showProgress(static_cast<double>(written) / kRate, seconds, fixedLength);
            nextReport = written + 5 * kRate;
        }
    }
    // The streaming thread ends within one poll of the offline device (5 ms) once asked;
    // waiting for that here spares stopPlayback its coarser wait.
    requestStreamStop();
    while (streamingThreadRunning())
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    stopPlayback(module);
    if (progress) {
        std::fprintf(stderr, "\rxmrender: %.1f s rendered to %s\n",
                     static_cast<double>(written) / kRate, options.output);
    }
    return error;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    const int status = parseArguments(argc, argv, options);
    if (status >= 0) return status;

    uint8_t head[kFileHeadBytes];
    const std::string problem = probeSong(options.song, head);
    if (!problem.empty()) return fileError(options.song, problem);

    setFileCallbacks(diskOpen, diskClose, diskRead, diskSeek, diskTell);
    Module* module = loadModule(options.song);
    if (!module) {
        return fileError(options.song,
                         "not a playable XM file: truncated, damaged or beyond the player's "
                         "limits (32 channels, 256 rows a pattern, 16 samples an instrument)");
    }
    if (options.info) printSongInfo(stdout, head, *module);
    if (!options.output) {
        freeModule(module);
        return 0;
    }

    WavFile wav{};
    if (!openWav(wav, options.output, kRate)) {
        const int error = errno;
        if (wav.file) closeWav(wav);
        freeModule(module);
        return fileError(options.output, std::string("cannot write: ") + std::strerror(error));
    }
    useOutputDevice(&offlineOutput, &platformThreads);
    if (!openOutput(kRate)) {
        closeWav(wav);
        freeModule(module);
        return fileError(options.song, "the engine's offline output did not open");
    }
    int error = render(module, options, wav);
    if (!closeWav(wav) && error == 0) error = errno != 0 ? errno : EIO;
    freeModule(module);
    closeOutput();
    if (error != 0) {
        return fileError(options.output, std::string("cannot write: ") + std::strerror(error));
    }
    return 0;
}
