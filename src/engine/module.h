// The loaded song: patterns of cells, instruments with their envelopes and samples, and the
// playback fields that the sequencer drives while the song plays. Shared by the loader, the
// mixer (which reads Sample records), the stream and the sequencer.
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

struct Sample {
    // length + 8 values; the 8 after the end are zero but for the loop guard value. None when
    // length is 0.
    int16_t* data;
    uint32_t length;        // in values
    uint32_t loopStart;     // in values; 0 without loop
    uint32_t loopLength;    // in values; length without loop, so loopStart + loopLength ends play
    uint8_t volume;         // 0..64
    int8_t finetune;        // E5x changes it while the song plays
    int8_t loadedFinetune;  // as loaded: every playback starts from it
    int32_t panning;        // 0..255
    uint8_t bits;           // 16 once loaded
    uint8_t loopMode;       // 1 no loop, 2 forward, 4 ping-pong; 0 only in emptySample
    int8_t relativeNote;
};

constexpr int kMaxSamplesPerInstrument = 16;
constexpr int kEnvelopePoints = 12;

struct Instrument {
    int32_t sampleCount;                        // 0..16
    Sample* samples[kMaxSamplesPerInstrument];  // from sampleCount on: emptySample()
    uint8_t noteSampleMap[96];
    EnvelopePoint volumeEnvelope[kEnvelopePoints];
    EnvelopePoint panningEnvelope[kEnvelopePoints];
    uint8_t volumePointCount;  // at most 12
    uint8_t panningPointCount;
    uint8_t volumeSustainPoint;
    uint8_t volumeLoopStart;
    uint8_t volumeLoopEnd;
    uint8_t panningSustainPoint;
    uint8_t panningLoopStart;
    uint8_t panningLoopEnd;
    uint8_t volumeType;  // bit 0 on, bit 1 sustain, bit 2 loop
    uint8_t panningType;
    uint8_t vibratoType;
    uint8_t vibratoSweep;
    uint8_t vibratoDepth;
    uint8_t vibratoRate;
    uint16_t fadeout;  // twice the file's value
};

// Envelope type bits.
constexpr uint8_t kEnvelopeOn = 0x01;
constexpr uint8_t kEnvelopeSustain = 0x02;
constexpr uint8_t kEnvelopeLoop = 0x04;

// Module flags: periods in 1/64 semitones (the linear table); without it, Amiga periods.
constexpr uint16_t kLinearFrequencies = 0x0001;

// Sample loop modes.
constexpr uint8_t kNoLoop = 1;
constexpr uint8_t kForwardLoop = 2;
constexpr uint8_t kPingPongLoop = 4;

struct Module {
    Pattern* patterns;        // patternSlotCount records
    Instrument* instruments;  // instrumentCount records
    int32_t tickSamplesLeft;  // output frames still to mix before the next tick
    int32_t samplesPerTick;
    int16_t songLength;  // 1..256 used entries of orderTable
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

    // Playback: reset when playback starts, driven by the sequencer.
    int32_t globalVolume;
    uint8_t globalVolumeSlideMemory;
    int32_t tick;
    int32_t speed;
    int32_t bpm;
    int32_t row;
    int32_t orderIndex;
    int32_t patternDelayTicks;
    int32_t nextRow;    // -1: not decided yet
    int32_t nextOrder;  // -1: not decided yet

    void (*tickHandler)(Module* module);  // called once per tick, before its frames are mixed
};

// The all-zero sample (no data, length 0, loop mode 0) that fills every unused instrument
// slot. Shared and never released.
Sample* emptySample();

struct ModuleReader;

// Opens name through the registered file callbacks and reads it as an XM song. None when the
// file cannot be opened or is not a song this engine can play safely.
Module* loadModule(const char* name);

// Reads an XM image front to back into a zeroed module. False on any inconsistency; what was
// allocated so far stays in the module for freeModule to release.
bool readXm(Module* module, ModuleReader* reader);

// Whether the first bytes of a file, bytes of them, begin with the XM signature: the loader's
// first check, for a tool to make on a file before it loads it.
bool isXmImage(const uint8_t* head, int32_t bytes);

// Why the most recent loadModule or readXm refused its file, as a short phrase that names the
// part cut short or inconsistent ("pattern 3 is cut short (...)"); empty after a success.
const char* moduleLoadProblem();

// Stops the module's playback if it is playing, then releases it with all its data.
bool freeModule(Module* module);
