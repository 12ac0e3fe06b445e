#include "keys.h"

#include <cstring>

namespace {

constexpr char kPasteEnd[] = "\x1b[201~";
constexpr int kPasteEndLength = sizeof kPasteEnd - 1;

bool add(Key* keys, int capacity, int& count, KeyCommand command, int channel = 0) {
    if (count >= capacity) return false;
    keys[count++] = {command, channel};
    return true;
}

// A plain byte outside any sequence.
void readPlain(unsigned char byte, Key* keys, int capacity, int& count) {
    if (byte == ' ') add(keys, capacity, count, KeyCommand::PauseOrResume);
    if (byte == 'q' || byte == 'Q') add(keys, capacity, count, KeyCommand::Quit);
    if (byte == 'n' || byte == 'N') add(keys, capacity, count, KeyCommand::NextFile);
    if (byte == 'p' || byte == 'P') add(keys, capacity, count, KeyCommand::PreviousFile);
    if (byte >= '1' && byte <= '9') add(keys, capacity, count, KeyCommand::ToggleMute, byte - '1');
    if (byte == '0') add(keys, capacity, count, KeyCommand::ToggleMute, 9);
}

// The end of a control sequence ESC [ parameters final.
void finishCsi(KeyReader& reader, unsigned char final, Key* keys, int capacity, int& count) {
    reader.state = KeyReader::State::Ground;
    const char* parameters = reader.parameters;
    // The arrows come bare or with a modifier ("1;5C"); other sequences end in C or D too
    // (with a '?' or '>' for replies), which are no keys.
    const bool arrowParameters =
        reader.parameterLength == 0 || std::strncmp(parameters, "1;", 2) == 0;
    if (final == 'C' && arrowParameters) add(keys, capacity, count, KeyCommand::NextOrder);
    if (final == 'D' && arrowParameters) add(keys, capacity, count, KeyCommand::PreviousOrder);
    if (final == '~' && std::strcmp(parameters, "200") == 0) {
        reader.state = KeyReader::State::Paste;
        reader.pasteMatched = 0;
    }
    // A mouse report in the oldest form: ESC [ M and three bytes of any value.
    if (final == 'M' && reader.parameterLength == 0) {
        reader.state = KeyReader::State::Skip;
        reader.skip = 3;
    }
}

}  // namespace

int readKeys(KeyReader& reader, const char* bytes, size_t length, uint32_t now, Key* keys,
             int capacity) {
    using State = KeyReader::State;
    int count = 0;
    for (size_t i = 0; i < length; ++i) {
        const unsigned char byte = static_cast<unsigned char>(bytes[i]);
        reader.lastByteAt = now;
        switch (reader.state) {
            case State::Ground:
                if (byte == 0x1b) {
                    reader.state = State::Escape;
                } else {
                    readPlain(byte, keys, capacity, count);
                }
                break;
            case State::Escape:
                reader.parameterLength = 0;
                reader.parameters[0] = 0;
                if (byte == '[') {
                    reader.state = State::Csi;
                } else if (byte == 'O') {
                    reader.state = State::Ss3;
                } else if (byte == ']' || byte == 'P' || byte == 'X' || byte == '^' ||
                           byte == '_') {
                    reader.state = State::String;  // OSC, DCS, SOS, PM, APC: up to ST or BEL
                } else if (byte == 0x1b) {
                    // Esc, then the start of something else.
                    add(keys, capacity, count, KeyCommand::Quit);
                } else {
                    reader.state = State::Ground;  // Alt and a key: no key of ours
                }
                break;
            case State::Csi:
                if (byte >= 0x40 && byte <= 0x7e) {
                    finishCsi(reader, byte, keys, capacity, count);
                } else if (byte >= 0x20 && byte < 0x40) {
                    if (reader.parameterLength < 15) {
                        reader.parameters[reader.parameterLength++] = static_cast<char>(byte);
                        reader.parameters[reader.parameterLength] = 0;
                    }
                } else {
                    reader.state = byte == 0x1b ? State::Escape : State::Ground;
                }
                break;
            case State::Ss3:
                if (byte == 'C') add(keys, capacity, count, KeyCommand::NextOrder);
                if (byte == 'D') add(keys, capacity, count, KeyCommand::PreviousOrder);
                reader.state = State::Ground;
                break;
            case State::String:
                if (byte == 0x07) reader.state = State::Ground;
                if (byte == 0x1b) reader.state = State::StringEscape;
                break;
            case State::StringEscape:
                reader.state = byte == '\\' ? State::Ground : State::String;
                break;
            case State::Paste:
                if (byte == static_cast<unsigned char>(kPasteEnd[reader.pasteMatched])) {
                    if (++reader.pasteMatched == kPasteEndLength) reader.state = State::Ground;
                } else {
                    reader.pasteMatched = byte == 0x1b ? 1 : 0;
                }
                break;
            case State::Skip:
                if (--reader.skip <= 0) reader.state = State::Ground;
                break;
        }
    }
    return count;
}

int readPause(KeyReader& reader, uint32_t now, Key* keys, int capacity) {
    const uint32_t quiet = now - reader.lastByteAt;
    if (reader.state == KeyReader::State::Escape && quiet >= kLoneEscapeMilliseconds &&
        capacity >= 1) {
        reader.state = KeyReader::State::Ground;
        keys[0] = {KeyCommand::Quit, 0};
        return 1;
    }
    if (reader.state != KeyReader::State::Ground && quiet >= kAbandonedSequenceMilliseconds)
        reader.state = KeyReader::State::Ground;
    return 0;
}
