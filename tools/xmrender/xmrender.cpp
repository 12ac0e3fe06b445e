// xmrender: renders an XM song through the engine's loader, sequencer and mixer into a
// 44100 Hz 16-bit stereo WAV file.
//
//   xmrender SONG.xm -o OUT.wav [--seconds N] [--info]
//
// Without --seconds the song plays until it first comes back to an order position it has
// already played (its natural loop), at most 10 minutes. --info prints the song's header,
// order list, instruments and samples; with no -o it only prints them. The WAV file is written
// under a temporary name and renamed into place when complete; its size is checked against the
// free space before the render starts.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "command_line.h"
#include "engine/file_access.h"
#include "engine/mixer.h"
#include "engine/module.h"
#include "engine/output.h"
#include "engine/sequencer.h"
#include "song_info.h"
#include "staged_output.h"
#include "terminal.h"
#include "wav_file.h"

namespace {

constexpr double kDefaultLimitSeconds = 600.0;
// Frames written from the stream's ring at a time: less than the ring holds ahead of the play
// position (99 of its 100 blocks), so that every one of them has been mixed before.
constexpr uint32_t kChunkFrames = 65536;
constexpr int kMostSeconds = static_cast<int>(kMaxWavFrames / kOutputRate);  // 24347

// Every option xmrender takes; the parser knows no other.
constexpr OptionSpec kOptions[] = {
    {"--output", "-o", true}, {"--seconds", nullptr, true},  {"--info", nullptr, false},
    {"--help", "-h", false},  {"--version", nullptr, false},
};

constexpr char kUsage[] =
    "usage: xmrender SONG.xm -o OUT.wav [--seconds N] [--info]\n"
    "       xmrender SONG.xm --info\n";

constexpr char kHelp[] =
    "xmrender plays an XM (Extended Module) song through the demo's own loader, sequencer and\n"
    "mixer, faster than real time, and writes what it plays to a WAV file.\n"
    "\n"
    "usage: xmrender SONG.xm -o OUT.wav [--seconds N] [--info]\n"
    "       xmrender SONG.xm --info\n"
    "\n"
    "  SONG.xm            the song to play.\n"
    "  -o, --output FILE  the WAV file to write: 44100 Hz, 16-bit stereo PCM. Needed unless\n"
    "                     --info is given.\n"
    "  --seconds N        render N seconds (a decimal number above 0, at most 24347, the most a\n"
    "                     WAV file of 4 GiB holds). Default: until the song first comes back to\n"
    "                     an order position it has played (its loop), at most 10 minutes.\n"
    "  --info             print the song's header, order list, patterns, instruments and\n"
    "                     samples on standard output; needs no -o.\n"
    "  -h, --help         this text.\n"
    "  --version          the version.\n"
    "\n"
    "The WAV file appears whole or not at all: it is written under a temporary name beside it\n"
    "and renamed into place when complete, so an error or an interrupt (Ctrl-C, SIGTERM,\n"
    "SIGHUP) leaves no new file and keeps an earlier file of the same name as it was. A render\n"
    "that would not fit the free space of the file system is refused before it starts. A\n"
    "progress line is shown when standard error is a terminal.\n"
    "\n"
    "Songs of up to 32 channels, 256 rows a pattern and 16 samples an instrument play. A file\n"
    "that cannot be played is refused with a line that says which part is cut short or\n"
    "inconsistent: the header, pattern n (counted from 0), instrument n (from 1) or the\n"
    "sample data.\n"
    "\n"
    "Exit status: 0 when the WAV file is written (or the information printed); 1 when the song\n"
    "cannot be read or played, or the WAV file cannot be written; 2 for bad arguments. An\n"
    "interrupted render ends by its signal (130 in a shell after Ctrl-C).\n"
    "\n"
    "Examples:\n"
    "  xmrender song.xm -o song.wav                   # until the song loops\n"
    "  xmrender song.xm --seconds 30 -o first-30s.wav\n"
    "  xmrender song.xm --info                        # header, orders, instruments\n";

struct Options {
    const char* song = nullptr;
    const char* output = nullptr;
    double seconds = 0.0;  // 0: until the song loops
    bool info = false;
    bool help = false;
    bool version = false;
};

constexpr CommandLine kCommandLine = {"xmrender", kUsage, kOptions};

// A decimal number of seconds: digits with at most one point, nothing around them.
bool parseSeconds(const char* text, double& seconds) {
    int digits = 0, points = 0;
    for (const char* c = text; *c; ++c) {
        if (*c >= '0' && *c <= '9') {
            ++digits;
        } else if (*c == '.') {
            ++points;
        } else {
            return false;
        }
    }
    if (digits == 0 || points > 1) return false;
    seconds = std::strtod(text, nullptr);
    return seconds > 0.0;
}

// Takes one option and its value into options: an error message, or an empty string.
std::string takeOption(const std::string& name, const char* value, Options& options) {
    if (name == "--info") options.info = true;
    if (name == "--help") options.help = true;
    if (name == "--version") options.version = true;
    if (name == "--output") options.output = value;
    if (name != "--seconds") return "";
    double seconds = 0.0;
    if (!parseSeconds(value, seconds))
        return std::string("--seconds needs a number of seconds above 0, not \"") + value + "\"";
    if (seconds > kMostSeconds) {
        const uint64_t bytes =
            kWavHeaderBytes +
            kFrameBytes * static_cast<uint64_t>(std::llround(seconds * kOutputRate));
        return "--seconds " + std::string(value) + " would make a WAV file of " +
               describeBytes(bytes) + "; a WAV file holds at most 4.0 GiB (" +
               std::to_string(kMostSeconds) + " seconds)";
    }
    options.seconds = seconds;
    return "";
}

// Parses the arguments; returns -1 when the tool should go on, otherwise its exit status.
int parseArguments(int argc, char** argv, Options& options) {
    const std::string problem = readCommandLine(
        kCommandLine, argc, argv,
        [&](const std::string& name, const char* value) {
            return takeOption(name, value, options);
        },
        [&](const char* operand) -> std::string {
            if (options.song) return "more than one song given";
            options.song = operand;
            return "";
        });
    if (!problem.empty()) return refuseCommandLine(kCommandLine, problem);
    if (answerHelpOrVersion(kCommandLine, options.help, options.version, kHelp)) return 0;
    if (!options.song) return refuseCommandLine(kCommandLine, "no song given");
    if (!options.output && !options.info)
        return refuseCommandLine(kCommandLine, "no output file given (-o)");
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
    if (!isXmImage(head, static_cast<int32_t>(got)))
        return "not an XM file (no \"Extended Module: \" signature)";
    return {};
}

// The tick handler while rendering: the sequencer's tick, watched for the first return to an
// order position already played. Runs inside the stream's mixing.
int64_t loopFrame = -1;  // the frame at which the song first loops; -1 not yet
int64_t tickFrame = 0;   // frames before the tick now running
bool positionPlayed[256];

void renderTick(Module* module) {
    const bool entersPosition = module->tick == 0 && module->nextOrder >= 0;
    playTick(module);
    if (entersPosition && module->orderIndex >= 0 && module->orderIndex < 256) {
        if (positionPlayed[module->orderIndex] && loopFrame < 0) {
            loopFrame = tickFrame;
        }
        positionPlayed[module->orderIndex] = true;
    }
    tickFrame += module->samplesPerTick;
}

// How many frames the render will take: the sequencer alone plays the song, without mixing,
// until it loops or reaches limit. The voices it sets up are cleared afterwards; the finetunes
// that E5x changes on the way go back to the song's own when the render starts playback.
int64_t measureSong(Module* module, int64_t limit) {
    std::memset(positionPlayed, 0, sizeof positionPlayed);
    positionPlayed[0] = true;
    loopFrame = -1;
    tickFrame = 0;
    resetPlayback(module);
    while (tickFrame < limit && loopFrame < 0)
        renderTick(module);
    const int64_t loop = loopFrame;
    clearVoices();
    return loop >= 0 && loop < limit ? loop : limit;
}

void showProgress(double seconds, double total) {
    std::fprintf(stderr, "\rxmrender: %.1f s of %.1f s", seconds, total);
    std::fflush(stderr);
}

// Renders the loaded song into the WAV file, frames long at most; the errno of a failed write,
// or 0. Stops early when an interrupt comes. There is no streaming thread: the stream is mixed
// on this thread, behind each chunk once it is written, with no hand-over between threads.
// The chunks go to the file straight from the ring that the offline device plays, with no
// copy between.
int render(Module* module, int64_t frames, const Options& options, WavFile& wav) {
    const bool progress = stderrIsTerminal();
    const bool fixedLength = options.seconds > 0.0;
    int64_t limit = frames;

    std::memset(positionPlayed, 0, sizeof positionPlayed);
    positionPlayed[0] = true;
    loopFrame = -1;
    tickFrame = 0;
    module->tickHandler = renderTick;
    if (!startPlayback(module)) return ENOMEM;  // its ring could not be allocated

    int64_t written = 0;
    int64_t nextReport = 0;
    int error = 0;
    while (error == 0 && !interrupted()) {
        if (!fixedLength) {
            if (loopFrame >= 0 && loopFrame < limit) limit = loopFrame;
        }
        if (written >= limit) break;
        const uint32_t n = static_cast<uint32_t>(
            limit - written < kChunkFrames ? limit - written : int64_t{kChunkFrames});
        // The play position is the frames written so far; the ring wraps at its end.
        const StreamView stream = viewStream();
        const uint32_t at = static_cast<uint32_t>(written % stream.ringFrames);
        const uint32_t first = std::min(n, static_cast<uint32_t>(stream.ringFrames) - at);
        if (!writeWav(wav, stream.waveBuffer + 2 * size_t{at}, first) ||
            (first < n && !writeWav(wav, stream.waveBuffer, n - first))) {
            error = errno != 0 ? errno : EIO;
        }
        advanceOfflineOutput(n);
        written += n;
        // The ring is mixed again behind what was written, unless nothing more will be.
        if (written < limit) refillStream();
        if (progress && written >= nextReport) {
            showProgress(static_cast<double>(written) / kOutputRate,
                         static_cast<double>(frames) / kOutputRate);
            nextReport = written + 5 * kOutputRate;
        }
    }
    stopPlayback(module);
    if (progress && interrupted()) std::fputc('\n', stderr);
    if (progress && !interrupted()) {
        std::fprintf(stderr, "\rxmrender: %.1f s rendered to %s\n",
                     static_cast<double>(written) / kOutputRate, options.output);
    }
    return error;
}

bool sameFile(const char* a, const char* b) {
    struct stat first, second;
    return stat(a, &first) == 0 && stat(b, &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
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
                         std::string("not a playable XM file: ") + moduleLoadProblem());
    }
    if (options.info) printSongInfo(stdout, head, *module);
    if (!options.output) {
        freeModule(module);
        return 0;
    }
    std::string unfit = checkFileTarget(options.output);
    if (unfit.empty() && sameFile(options.song, options.output))
        unfit = std::string(options.output) + " is the song itself; give another file name";
    if (!unfit.empty()) {
        freeModule(module);
        std::fprintf(stderr, "xmrender: %s\n", unfit.c_str());
        return 1;
    }

    useOutputDevice(&offlineOutput, nullptr);  // no threads: render() mixes
    if (!openOutput(kOutputRate)) {
        freeModule(module);
        return fileError(options.song, "the engine's offline output did not open");
    }
    const int64_t limit = std::llround(
        (options.seconds > 0.0 ? options.seconds : kDefaultLimitSeconds) * kOutputRate);
    const int64_t frames = options.seconds > 0.0 ? limit : measureSong(module, limit);
    unfit = checkFreeSpace(
        {{options.output, kWavHeaderBytes + kFrameBytes * static_cast<uint64_t>(frames)}});
    if (!unfit.empty()) {
        closeOutput();
        freeModule(module);
        std::fprintf(stderr, "xmrender: %s\n", unfit.c_str());
        return 1;
    }

    catchInterrupts();
    StagedFile staged;
    std::string stageError;
    WavFile wav{};
    if (!stageFile(staged, options.output, stageError) ||
        !openWav(wav, staged.temporary.c_str(), kOutputRate)) {
        const std::string message =
            stageError.empty() ? std::string("cannot write: ") + std::strerror(errno) : "";
        if (wav.file) closeWav(wav);
        discardOutputs();
        closeOutput();
        freeModule(module);
        if (message.empty()) {
            std::fprintf(stderr, "xmrender: %s\n", stageError.c_str());
            return 1;
        }
        return fileError(options.output, message);
    }
    int error = render(module, frames, options, wav);
    if (!closeWav(wav) && error == 0) error = errno != 0 ? errno : EIO;
    freeModule(module);
    closeOutput();
    stopIfInterrupted();
    if (error == 0 && !commitFile(staged, stageError)) {
        std::fprintf(stderr, "xmrender: %s\n", stageError.c_str());
        return 1;
    }
    if (error != 0) {
        discardOutputs();
        return fileError(options.output, std::string("cannot write: ") + std::strerror(error));
    }
    return 0;
}
