// xmplay: plays XM songs live through the platform's sound output, one file after another,
// with a screen that follows what is heard: the position, the pattern rows around the row
// heard, the channels' levels and the instruments. Keys pause, move between orders and files,
// mute channels and quit. Where standard output is no terminal it prints a line a file and
// plays without a screen.
//
//   xmplay [--loop] [--repeat] FILE...
//
// The songs are played through the engine's public interface (xmengine.h) alone; the sound
// device is the platform's (engine/output.h), fed by the deck (deck.h); the screen and the keys
// are the terminal session's (terminal/terminal_session.h), as the demo's are.
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "command_line.h"
#include "deck.h"
#include "engine/output.h"
#include "keys.h"
#include "player_screen.h"
#include "terminal/terminal_session.h"
#include "terminal/terminfo.h"
#include "xmengine.h"

namespace {

// The screen at whatever size the window has, with pastes bracketed, so that the bytes of a
// paste are never taken for keys.
constexpr TerminalSessionStyle kPlayerTerminal = {kTerminalEnterAsSized, "\x1b[?2004h",
                                                  "\x1b[?2004l", 80, 25};

// A screen needs standard output on a terminal that takes escape sequences.
bool screenPossible() {
    return isatty(STDOUT_FILENO) == 1 && terminalProblem(std::getenv("TERM")).empty();
}

uint32_t monotonicMilliseconds() {
    return static_cast<uint32_t>(monotonicClockMilliseconds());
}

constexpr OptionSpec kOptions[] = {
    {"--loop", nullptr, false},
    {"--repeat", nullptr, false},
    {"--help", "-h", false},
    {"--version", nullptr, false},
};

constexpr char kUsage[] = "usage: xmplay [--loop] [--repeat] FILE...\n";

constexpr char kHelp[] =
    "xmplay plays XM (Extended Module) songs through the demo's own loader, sequencer and mixer\n"
    "and the sound output, one file after another, and shows the pattern rows as they are\n"
    "heard.\n"
    "\n"
    "usage: xmplay [--loop] [--repeat] FILE...\n"
    "\n"
    "  FILE        the songs to play, in turn.\n"
    "  --loop      play each song for ever; by default a song ends where it first comes back\n"
    "              to an order position it has played (as xmrender decides).\n"
    "  --repeat    start the list again after its last file.\n"
    "  -h, --help  this text.\n"
    "  --version   the version.\n"
    "\n"
    "Keys: Space pauses and resumes; Left and Right go to the previous and next order; n and\n"
    "p to the next and previous file; 1-9 and 0 mute and unmute channels 1-10; q or Esc quits.\n"
    "Other keys, pastes and escape sequences are passed over.\n"
    "\n"
    "The screen takes the terminal's size and colours (24-bit with COLORTERM=truecolor, 256\n"
    "or 16 as terminfo says for TERM), and gives the terminal back on quit, Ctrl-C, SIGTERM\n"
    "and SIGHUP, and around Ctrl-Z. Where standard output is no terminal, xmplay prints a line\n"
    "a file (its name, the song's title and the length it plays) and plays without a screen.\n"
    "A file that cannot be played is named with the reason, and the next one plays.\n"
    "SDL_AUDIODRIVER=dummy plays without a sound card.\n"
    "\n"
    "Exit status: 0 when the list has been played or q pressed; 1 when no file can be played\n"
    "or there is no sound output; 2 for bad arguments.\n";

constexpr CommandLine kCommandLine = {"xmplay", kUsage, kOptions};

// The frame rate of the screen.
constexpr int kFrameMilliseconds = 40;

struct Options {
    bool loop = false;
    bool repeat = false;
    bool help = false;
    bool version = false;
    std::vector<const char*> files;
};

// The list being played and what is shown of it.
struct Session {
    Options options;
    bool screen = false;
    std::string message;  // why the last file refused could not be played
};

Deck deck;
TextFrame frame;

int parseArguments(int argc, char** argv, Options& options) {
    const std::string problem = readCommandLine(
        kCommandLine, argc, argv,
        [&](const std::string& name, const char*) -> std::string {
            if (name == "--loop") options.loop = true;
            if (name == "--repeat") options.repeat = true;
            if (name == "--help") options.help = true;
            if (name == "--version") options.version = true;
            return "";
        },
        [&](const char* operand) -> std::string {
            options.files.push_back(operand);
            return "";
        });
    if (!problem.empty()) return refuseCommandLine(kCommandLine, problem);
    if (answerHelpOrVersion(kCommandLine, options.help, options.version, kHelp)) return 0;
    if (options.files.empty()) return refuseCommandLine(kCommandLine, "no file given");
    return -1;
}

const char* baseName(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return slash && slash[1] ? slash + 1 : path;
}

// Loads the first file that plays of those from start on in steps of step (1 or -1), going
// round the list with --repeat, each file tried at most once; its index, or -1 when none
// plays. The reasons of the files refused are kept, or printed without a screen.
int loadPlayable(Session& session, int start, int step, xme_song** song) {
    const int count = static_cast<int>(session.options.files.size());
    for (int tried = 0; tried < count; ++tried) {
        int index = start + step * tried;
        if (session.options.repeat) {
            index = (index % count + count) % count;
        } else if (index < 0 || index >= count) {
            break;
        }
        const char* path = session.options.files[static_cast<size_t>(index)];
        char reason[256];
        if (xme_song_load_file(path, song, reason, sizeof reason) == XME_OK) return index;
        session.message = std::string(path) + ": " + reason;
        if (!session.screen) std::fprintf(stderr, "xmplay: %s\n", session.message.c_str());
    }
    return -1;
}

enum class Next { NextFile, PreviousFile, Quit };

void sleepMilliseconds(int milliseconds) {
    const timespec duration{milliseconds / 1000, (milliseconds % 1000) * 1000000L};
    nanosleep(&duration, nullptr);
}

// Without a screen: the song's line, then the song to its end.
Next playWithoutScreen(const Session& session, const char* path, const xme_song_info& info,
                       int64_t length) {
    char time[32] = "?:??";
    if (length >= 0) {
        const int64_t seconds = length / kDeckRate;
        std::snprintf(time, sizeof time, "%d:%02d", static_cast<int>(seconds / 60),
                      static_cast<int>(seconds % 60));
    }
    std::printf("%s: \"%s\", %s%s\n", path, info.name, time,
                session.options.loop ? ", played for ever" : "");
    std::fflush(stdout);
    for (;;) {
        refillDeck(deck);
        if (heardPosition(deck).finished) return Next::NextFile;
        sleepMilliseconds(20);
    }
}

// Carries out a key; the file to go to, or none.
bool carryOut(const Key& key, Next& next) {
    switch (key.command) {
        case KeyCommand::PauseOrResume:
            if (deck.paused) {
                resumeDeck(deck);
            } else {
                pauseDeck(deck);
            }
            return false;
        case KeyCommand::PreviousOrder:
            stepDeckOrder(deck, -1);
            return false;
        case KeyCommand::NextOrder:
            stepDeckOrder(deck, 1);
            return false;
        case KeyCommand::ToggleMute:
            toggleDeckMute(deck, key.channel);
            return false;
        case KeyCommand::NextFile:
            next = Next::NextFile;
            return true;
        case KeyCommand::PreviousFile:
            next = Next::PreviousFile;
            return true;
        case KeyCommand::Quit:
            next = Next::Quit;
            return true;
    }
    return false;
}

// With a screen: the song until it ends or a key moves on.
Next playWithScreen(Session& session, PlayerView& view, KeyReader& keys) {
    for (;;) {
        refillDeck(deck);
        view.heard = heardPosition(deck);
        if (view.heard.finished) return Next::NextFile;
        view.paused = deck.paused;
        view.mutedChannels = deck.mutedChannels;
        view.message = session.message.c_str();
        int columns, rows;
        terminalSize(columns, rows);
        frame.columns = columns < kMaxTextColumns ? columns : kMaxTextColumns;
        frame.rows = rows < kMaxTextRows ? rows : kMaxTextRows;
        drawPlayerScreen(view, frame);
        presentSessionTextFrame(frame);

        const uint32_t frameEnd = monotonicMilliseconds() + kFrameMilliseconds;
        Key found[64];
        int count = 0;
        for (;;) {
            const int32_t left = static_cast<int32_t>(frameEnd - monotonicMilliseconds());
            if (left <= 0) break;
            char bytes[256];
            const size_t length = waitForTerminalInput(bytes, sizeof bytes, left);
            count = readKeys(keys, bytes, length, monotonicMilliseconds(), found, 64);
            if (count > 0) break;
        }
        count += readPause(keys, monotonicMilliseconds(), found + count, 64 - count);
        for (int k = 0; k < count; ++k) {
            Next next;
            if (carryOut(found[k], next)) return next;
        }
    }
}

// Plays the list from its first playable file; the exit status.
int playList(Session& session) {
    xme_song* song = nullptr;
    int index = loadPlayable(session, 0, 1, &song);
    if (index < 0) {
        if (session.screen) std::fprintf(stderr, "xmplay: %s\n", session.message.c_str());
        std::fprintf(stderr, "xmplay: no file can be played\n");
        return 1;
    }
    if (!openDeck(deck, &platformOutput)) {
        xme_song_free(song);
        std::fprintf(stderr,
                     "xmplay: no sound output could be opened (SDL_AUDIODRIVER=dummy plays "
                     "without one)\n");
        return 1;
    }
    KeyReader keys;
    if (session.screen) openTerminalSession(kPlayerTerminal);
    const int count = static_cast<int>(session.options.files.size());
    int status = 0;
    for (;;) {
        const char* path = session.options.files[static_cast<size_t>(index)];
        const int32_t started =
            startDeck(deck, song, session.options.loop ? XME_REPEAT_FOREVER : 0);
        xme_song_info info{};
        xme_song_get_info(song, &info);
        int64_t length = -1;
        if (started == XME_OK && xme_player_song_length(deck.player, &length, nullptr) != XME_OK)
            length = -1;
        Next next = Next::NextFile;
        if (started != XME_OK) {
            session.message = std::string(path) + ": " + xme_player_error(deck.player);
            if (!session.screen) std::fprintf(stderr, "xmplay: %s\n", session.message.c_str());
        } else if (session.screen) {
            PlayerView view;
            view.song = song;
            view.fileName = baseName(path);
            view.fileNumber = index + 1;
            view.fileCount = count;
            view.lengthFrames = length;
            view.looping = session.options.loop;
            const std::string title =
                std::string("xmplay: ") + (info.name[0] ? info.name : view.fileName);
            setTerminalTitle(title.c_str());
            next = playWithScreen(session, view, keys);
            session.message.clear();
        } else {
            next = playWithoutScreen(session, path, info, length);
        }
        xme_song_free(song);
        song = nullptr;
        if (next == Next::Quit) break;
        if (next == Next::PreviousFile) {
            int start = index - 1;
            if (start < 0 && !session.options.repeat) start = 0;
            const int previous = loadPlayable(session, start, -1, &song);
            index = previous >= 0 ? previous : loadPlayable(session, index, 1, &song);
        } else {
            if (index + 1 >= count && !session.options.repeat) break;
            index = loadPlayable(session, index + 1, 1, &song);
        }
        if (index < 0) {
            status = 1;
            break;
        }
    }
    closeDeck(deck);
    if (session.screen) closeTerminalSession();
    if (status != 0)
        std::fprintf(stderr, "xmplay: %s\nxmplay: no file can be played\n",
                     session.message.c_str());
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    Session session;
    const int status = parseArguments(argc, argv, session.options);
    if (status >= 0) return status;
    session.screen = screenPossible();
    return playList(session);
}
