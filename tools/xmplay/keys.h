// The player's keys, read from the bytes a terminal sends: Space, the arrow keys Left and
// Right, n, p, the digits and q or Esc. Everything else is passed over whole: other keys,
// escape sequences (function keys, mouse reports, terminal replies), and pastes, which a
// terminal in bracketed paste mode wraps in ESC [200~ .. ESC [201~. A lone Esc is told from
// the start of a sequence by the pause after it, and a sequence or paste cut short (a key typed
// in the middle of one must not be lost for ever) ends with a longer pause.
#pragma once
#include <cstddef>
#include <cstdint>

enum class KeyCommand : uint8_t {
    PauseOrResume,
    PreviousOrder,
    NextOrder,
    NextFile,
    PreviousFile,
    ToggleMute,  // of channel
    Quit,
};

struct Key {
    KeyCommand command;
    int channel;  // ToggleMute: 0..9 for the keys 1..9, 0
};

// An Esc followed by nothing for this long is the Esc key; a sequence that has had no byte for
// the longer time is given up.
constexpr uint32_t kLoneEscapeMilliseconds = 50;
constexpr uint32_t kAbandonedSequenceMilliseconds = 500;

struct KeyReader {
    enum class State : uint8_t { Ground, Escape, Csi, Ss3, String, StringEscape, Paste, Skip };
    State state = State::Ground;
    char parameters[16] = {};  // of the control sequence being read, cut at 15
    int parameterLength = 0;
    int skip = 0;             // bytes of a mouse report still to pass over
    int pasteMatched = 0;     // bytes of the paste's end sequence matched
    uint32_t lastByteAt = 0;  // when the last byte came, in milliseconds
};

// Reads bytes that came at now (milliseconds); writes the keys found into keys, at most
// capacity, and returns how many.
int readKeys(KeyReader& reader, const char* bytes, size_t length, uint32_t now, Key* keys,
             int capacity);

// What a pause in the bytes up to now means: the Esc key, when an Esc has been followed by
// nothing for long enough; the end of a sequence or paste cut short. Returns the keys written
// (0 or 1).
int readPause(KeyReader& reader, uint32_t now, Key* keys, int capacity);
