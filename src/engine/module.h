// The loaded song: patterns of cells, instruments with their envelopes and samples. Made by the
// loader, read by the sequencer and the mixer (which reads Sample records) of every player
// that plays it.
#pragma once
#include <cstdint>

// One pattern cell, five bytes as they come from the file (all bytes: no padding).
struct Cell {
    uint8_t note;        // 0 none, 1..96 notes, 255 key off (97 in the file)
    uint8_t instrument;  // 0 none, 1..128
    uint8_t volume;      // volume column byte
    uint8_t effect;
    uint8_t parameter;
};
static_assert(sizeof(Cell) == 5);

// The effect numbers of Cell::effect, as the file stores them (letters from 10 on: A is 10).
enum class Effect : uint8_t {
    Arpeggio = 0,
    PortamentoUp = 1,
    PortamentoDown = 2,
    TonePortamento = 3,
    Vibrato = 4,
    TonePortamentoVolumeSlide = 5,
    VibratoVolumeSlide = 6,
    Tremolo = 7,
    SetPanning = 8,
    SampleOffset = 9,
    VolumeSlide = 10,          // A
    PositionJump = 11,         // B
    SetVolume = 12,            // C
    PatternBreak = 13,         // D
    Extended = 14,             // E: the sub-effect is the parameter's high nibble
    SetSpeedOrTempo = 15,      // F
    SetGlobalVolume = 16,      // G
    GlobalVolumeSlide = 17,    // H
    KeyOff = 20,               // K
    SetEnvelopePosition = 21,  // L
    PanningSlide = 25,         // P
    MultiRetrig = 27,          // R
    Tremor = 29,               // T
    ExtraFinePortamento = 33,  // X: 1 up or 2 down in the high nibble
};

// The sub-effects of Effect::Extended, by the parameter's high nibble.
enum class ExtendedEffect : uint8_t {
    FinePortamentoUp = 0x1,
    FinePortamentoDown = 0x2,
    GlissandoControl = 0x3,
    VibratoWaveform = 0x4,
    SetFinetune = 0x5,
    PatternLoop = 0x6,
    TremoloWaveform = 0x7,
    SetPanning = 0x8,
    Retrigger = 0x9,
    FineVolumeUp = 0xA,
    FineVolumeDown = 0xB,
    NoteCut = 0xC,
    NoteDelay = 0xD,
    PatternDelay = 0xE,
};

struct Pattern {
    int32_t rowCount;
    // rowCount × channelCount cells, row after row; none for a pattern that the order table
    // names but the file does not store, and for a pattern of 0 rows.
    Cell* cells;
};

struct EnvelopePoint {
    uint16_t x;  // ticks
    uint16_t y;  // 0..64
};

constexpr int kEnvelopePoints = 12;

// An envelope of an instrument: the points, and where it holds and loops. The volume and the
// panning envelope have this one shape.
struct Envelope {
    EnvelopePoint points[kEnvelopePoints];
    uint8_t pointCount;  // at most 12
    uint8_t sustainPoint;
    uint8_t loopStart;
    uint8_t loopEnd;
    uint8_t type;  // kEnvelopeOn, kEnvelopeSustain, kEnvelopeLoop
};

// Envelope type bits.
constexpr uint8_t kEnvelopeOn = 0x01;
constexpr uint8_t kEnvelopeSustain = 0x02;
constexpr uint8_t kEnvelopeLoop = 0x04;

constexpr int kMaxSamplesPerInstrument = 16;
constexpr int kMaxInstruments = 128;

// Names as the song shows them: the file's bytes up to the first zero, unprintable ones as
// '?', trailing blanks removed.
constexpr int kSongNameBytes = 20;
constexpr int kInstrumentNameBytes = 22;

struct Sample {
    // length + 8 values; the 8 after the end are zero but for the loop guard value. None when
    // length is 0.
    int16_t* data;
    uint32_t length;      // in values
    uint32_t loopStart;   // in values; 0 without loop
    uint32_t loopLength;  // in values; length without loop, so loopStart + loopLength ends play
    uint8_t volume;       // 0..64
    int8_t finetune;      // as loaded; E5x changes the player's copy (Player::finetunes)
    int32_t panning;      // 0..255
    uint8_t bits;         // 16 once loaded
    uint8_t fileBits;     // 8 or 16, as the file stores the data
    uint8_t loopMode;     // 1 no loop, 2 forward, 4 ping-pong; 0 only in emptySample
    int8_t relativeNote;
    // The sample's place among the song's samples, instrument × 16 + sample: the index of its
    // finetune in a player. -1 for emptySample.
    int16_t number;
    char name[kInstrumentNameBytes + 1];
};

struct Instrument {
    int32_t sampleCount;                              // 0..16
    const Sample* samples[kMaxSamplesPerInstrument];  // from sampleCount on: emptySample()
    uint8_t noteSampleMap[96];
    Envelope volumeEnvelope;
    Envelope panningEnvelope;
    uint8_t vibratoType;
    uint8_t vibratoSweep;
    uint8_t vibratoDepth;
    uint8_t vibratoRate;
    uint16_t fadeout;  // twice the file's value
    char name[kInstrumentNameBytes + 1];
};

// Module flags: periods in 1/64 semitones (the linear table); without it, Amiga periods.
constexpr uint16_t kLinearFrequencies = 0x0001;

// Sample loop modes.
constexpr uint8_t kNoLoop = 1;
constexpr uint8_t kForwardLoop = 2;
constexpr uint8_t kPingPongLoop = 4;

// The loaded song. Nothing changes it while it plays: everything that playing changes lives
// in a Player (player.h), so that any number of players can play one song at once.
struct Module {
    Pattern* patterns;        // patternSlotCount records
    Instrument* instruments;  // instrumentCount records
    int16_t songLength;       // 1..256 used entries of orderTable
    int16_t restartPosition;
    int16_t channelCount;  // 1..32
    int32_t usedPatternCount;
    int32_t patternSlotCount;
    int16_t instrumentCount;
    uint16_t flags;  // kLinearFrequencies
    int16_t defaultSpeed;
    int16_t defaultBpm;
    uint8_t orderTable[256];
    uint8_t initialGlobalVolume;  // 64
    uint16_t formatVersion;       // 0x0104 for 1.04
    char name[kSongNameBytes + 1];
    char trackerName[kSongNameBytes + 1];
};

// The all-zero sample (no data, length 0, loop mode 0) that fills every unused instrument
// slot. Shared and never changed.
const Sample* emptySample();

struct ModuleReader;
struct FileCallbacks;

// Why a load refused its file: a short phrase that names the part cut short or inconsistent
// ("pattern 3 is cut short (...)"); empty after a success.
struct LoadProblem {
    char text[160];
};

// Opens name through the registered file callbacks and reads it as an XM song. None when the
// file cannot be opened or is not a song this engine can play safely.
Module* loadModule(const char* name);

// The same through the given callbacks, with the reason for a refusal in problem. Reentrant:
// nothing but the callbacks and the new module is touched.
Module* loadModuleWith(const FileCallbacks& callbacks, const char* name, LoadProblem& problem);

// The same from an image in memory, which must outlive the call only.
Module* loadModuleImage(const uint8_t* data, int32_t size, LoadProblem& problem);

// Reads an XM image front to back into a zeroed module. False on any inconsistency, with the
// reason in problem; what was allocated so far stays in the module for freeModule to release.
bool readXm(Module* module, ModuleReader* reader, LoadProblem& problem);

// Whether the first bytes of a file, bytes of them, begin with the XM signature: the loader's
// first check, for a tool to make on a file before it loads it.
bool isXmImage(const uint8_t* head, int32_t bytes);

// Releases the module with all its data. No player may play it any longer.
void releaseModule(Module* module);

// Stops the module's playback on the stream if it is playing there, then releases it
// (stream.cpp).
bool freeModule(Module* module);
