// xmrender: renders an XM song through the engine's public interface (xmengine.h) into a
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

#include <memory>

#include "command_line.h"
#include "song_info.h"
#include "staged_output.h"
#include "terminal.h"
#include "wav_file.h"
#include "xmengine.h"

namespace {

constexpr int32_t kOutputRate = 44100;
constexpr double kDefaultLimitSeconds = 600.0;
// Frames rendered and written at a time.
constexpr int32_t kChunkFrames = 65536;
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
            kWavFrameBytes * static_cast<uint64_t>(std::llround(seconds * kOutputRate));
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

void showProgress(double seconds, double total) {
    std::fprintf(stderr, "\rxmrender: %.1f s of %.1f s", seconds, total);
    std::fflush(stderr);
}

// Renders the player's song into the WAV file, frames long at most (less where the song ends
// first); the errno of a failed write, or 0. Stops early when an interrupt comes.
int render(xme_player* player, int64_t frames, const Options& options, WavFile& wav) {
    const bool progress = stderrIsTerminal();
    std::unique_ptr<int16_t[]> chunk(new (std::nothrow) int16_t[2 * size_t{kChunkFrames}]);
    if (!chunk) return ENOMEM;
    int64_t written = 0;
    int64_t nextReport = 0;
    int error = 0;
    while (error == 0 && !interrupted() && written < frames) {
        const int32_t wanted = static_cast<int32_t>(
            frames - written < kChunkFrames ? frames - written : int64_t{kChunkFrames});
        const int32_t got = xme_render_s16(player, chunk.get(), wanted);
        if (got <= 0) break;
        if (!writeWav(wav, chunk.get(), static_cast<uint32_t>(got)))
            error = errno != 0 ? errno : EIO;
        written += got;
        if (progress && written >= nextReport) {
            showProgress(static_cast<double>(written) / kOutputRate,
                         static_cast<double>(frames) / kOutputRate);
            nextReport = written + 5 * kOutputRate;
        }
        if (got < wanted) break;  // the song has ended
    }
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

    xme_song* song = nullptr;
    char problem[256];
    if (xme_song_load_file(options.song, &song, problem, sizeof problem) != XME_OK)
        return fileError(options.song, problem);
    if (options.info) printSongInfo(stdout, song);
    if (!options.output) {
        xme_song_free(song);
        return 0;
    }
    std::string unfit = checkFileTarget(options.output);
    if (unfit.empty() && sameFile(options.song, options.output))
        unfit = std::string(options.output) + " is the song itself; give another file name";
    if (!unfit.empty()) {
        xme_song_free(song);
        std::fprintf(stderr, "xmrender: %s\n", unfit.c_str());
        return 1;
    }

    xme_player* player = nullptr;
    if (xme_player_create(kOutputRate, &player) != XME_OK) {
        xme_song_free(song);
        return fileError(options.song, "not enough memory to play it");
    }
    xme_player_start(player, song);
    xme_song_free(song);  // the player holds it now
    // A given length plays through the song's loops; otherwise it ends where it loops.
    const bool fixedLength = options.seconds > 0.0;
    xme_player_set_repeats(player, fixedLength ? XME_REPEAT_FOREVER : 0);
    const int64_t limit =
        std::llround((fixedLength ? options.seconds : kDefaultLimitSeconds) * kOutputRate);
    int64_t frames = limit;
    int64_t length = 0;
    if (!fixedLength && xme_player_song_length(player, &length, nullptr) == XME_OK &&
        length < limit) {
        frames = length;
    }
    unfit = checkFreeSpace(
        {{options.output, kWavHeaderBytes + kWavFrameBytes * static_cast<uint64_t>(frames)}});
    if (!unfit.empty()) {
        xme_player_free(player);
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
        xme_player_free(player);
        if (message.empty()) {
            std::fprintf(stderr, "xmrender: %s\n", stageError.c_str());
            return 1;
        }
        return fileError(options.output, message);
    }
    int error = render(player, frames, options, wav);
    if (!closeWav(wav) && error == 0) error = errno != 0 ? errno : EIO;
    xme_player_free(player);
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
