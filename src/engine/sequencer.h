// The module sequencer: turns the loaded song into changes of the mixing voices, one tick at
// a time.
#pragma once
#include <cstdint>

#include "engine/module.h"

struct Voice;

// The state of one pattern column. Playback start clears the first channelCount channels and
// points channel i at voice i of the voiceTable.
struct Channel {
    uint8_t keyNote;  // note of the last note read, 0-based; indexes noteSampleMap
    uint8_t updateFlags;
    Voice* voice;  // voice i or voice i + 32
    int32_t period;
    int32_t volume;
    int32_t panning;
    int32_t volumeOffset;
    int32_t periodOffset;
    int32_t volEnvTick;
    int32_t volEnvPoint;
    int32_t volEnvFixed;
    int32_t volEnvValue;
    int32_t volEnvStep;
    uint8_t volEnvDone;
    int32_t panEnvTick;
    int32_t panEnvPoint;
    int32_t panEnvFixed;
    int32_t panEnvValue;
    int32_t panEnvStep;
    uint8_t panEnvDone;
    int32_t fadeoutVolume;
    int32_t autoVibratoPos;
    int32_t autoVibratoSweep;
    uint8_t keyOff;
    uint8_t instrument;
    uint8_t realNote;
    int32_t notePeriod;
    uint8_t lastEffect;
    int32_t sampleOffsetMemory;
    uint8_t portaDownMemory;
    uint8_t portaUpMemory;
    uint8_t extraFineDownMemory;
    uint8_t extraFineUpMemory;
    uint8_t volumeSlideMemory;
    uint8_t panningSlideMemory;
    uint8_t retrigVolumeMode;
    uint8_t retrigInterval;
    int32_t portaTarget;
    uint8_t portaSpeed;
    int8_t vibratoPos;
    uint8_t vibratoSpeed;
    uint8_t vibratoDepth;
    int8_t tremoloPos;
    uint8_t tremoloSpeed;
    uint8_t tremoloDepth;
    uint8_t tremorCount;
    uint8_t tremorOn;
    uint8_t tremorOff;
    int32_t loopRow;
    int32_t loopCount;
    uint8_t waveControl;
    uint8_t fineVolumeMemory;
    uint8_t finePortaUpMemory;
    uint8_t finePortaDownMemory;
};

// Requests to updateVoice for the current tick (Channel::updateFlags).
constexpr uint8_t UpdateFrequency = 0x01;
constexpr uint8_t UpdateVolume = 0x02;
constexpr uint8_t UpdatePanning = 0x04;
constexpr uint8_t StartNote = 0x08;
constexpr uint8_t RewindVoice = 0x20;

constexpr int kChannelCount = 32;
// The channelTable: channel i of the playing song (0..31).
Channel& channelAt(int32_t index);

// Puts the module's playback fields back to the start of the song at its default speed and
// tempo, clears its channels, channel i driving voice i, and gives every sample the finetune
// it was loaded with (E5x changes it while playing): each playback of a song starts from the
// song as loaded.
void resetPlayback(Module* module);

// Stand-in for an instrument number beyond the song's instruments: no envelopes, no
// instrument vibrato, no fade-out.
extern const Instrument emptyInstrument;

// One tick of the song: the module's tickHandler. Tick 0 of a row reads the row, the other
// ticks run the effects; then the song position moves on.
void playTick(Module* module);

// Tick 0: reads the current row for all channels.
void processRow(Module* module);

// The instrument and sample a channel plays now. Instruments beyond the song give
// emptyInstrument and emptySample; a note that maps to no sample gives emptySample.
struct InstrumentAndSample {
    const Instrument* instrument;
    Sample* sample;
};
InstrumentAndSample resolveInstrument(const Module* module, const Channel& channel);

// The instrument set-up: volume and panning from the sample, envelopes, fade-out, key-off,
// instrument vibrato and tremor start afresh. Does not start the sample.
void resetInstrument(Channel& channel, const Sample& sample);

// The tick-0 meaning of a volume-column byte.
void applyVolumeColumn(Channel& channel, uint8_t volume);

// Every tick but tick 0: envelopes, fade-out, the sliding volume column and the running
// effects of all channels.
void processTickEffects(Module* module);

// The per-tick steps shared by tick 0 and the other ticks.
void tonePortamento(Channel& channel);
void vibrato(Channel& channel);  // sets periodOffset from the phase; does not advance it
void tremolo(Channel& channel);  // sets volumeOffset and advances the phase
void tremor(Channel& channel);

// Where an envelope lives: its points and settings in the Instrument, its running state in the
// Channel, and the request that its steps make to updateVoice. The volume and the panning
// envelope are two such descriptions, so that one step serves both.
struct EnvelopeFields {
    EnvelopePoint (Instrument::*points)[kEnvelopePoints];
    uint8_t Instrument::*pointCount;
    uint8_t Instrument::*sustain;
    uint8_t Instrument::*loopStart;
    uint8_t Instrument::*loopEnd;
    uint8_t Instrument::*type;
    int32_t Channel::*tick;
    int32_t Channel::*point;
    int32_t Channel::*fixed;  // 16.16
    int32_t Channel::*step;   // 16.16 per tick
    uint8_t Channel::*done;
    int32_t Channel::*value;  // 0..64
    uint8_t updateBit;
};

inline constexpr EnvelopeFields kVolumeEnvelope = {
    .points = &Instrument::volumeEnvelope,
    .pointCount = &Instrument::volumePointCount,
    .sustain = &Instrument::volumeSustainPoint,
    .loopStart = &Instrument::volumeLoopStart,
    .loopEnd = &Instrument::volumeLoopEnd,
    .type = &Instrument::volumeType,
    .tick = &Channel::volEnvTick,
    .point = &Channel::volEnvPoint,
    .fixed = &Channel::volEnvFixed,
    .step = &Channel::volEnvStep,
    .done = &Channel::volEnvDone,
    .value = &Channel::volEnvValue,
    .updateBit = UpdateVolume,
};
inline constexpr EnvelopeFields kPanningEnvelope = {
    .points = &Instrument::panningEnvelope,
    .pointCount = &Instrument::panningPointCount,
    .sustain = &Instrument::panningSustainPoint,
    .loopStart = &Instrument::panningLoopStart,
    .loopEnd = &Instrument::panningLoopEnd,
    .type = &Instrument::panningType,
    .tick = &Channel::panEnvTick,
    .point = &Channel::panEnvPoint,
    .fixed = &Channel::panEnvFixed,
    .step = &Channel::panEnvStep,
    .done = &Channel::panEnvDone,
    .value = &Channel::panEnvValue,
    .updateBit = UpdatePanning,
};

// One step of one envelope of the channel's instrument.
void stepEnvelope(Channel& channel, const Instrument& instrument, const EnvelopeFields& envelope);

// The envelope steps of a tick, tick 0 and the others alike: each envelope of the instrument
// that is on and has not reached its last point takes one step.
void stepEnvelopes(Channel& channel, const Instrument& instrument);

// Lxx: moves the volume envelope to tick position (0..255).
void setVolumeEnvelopePosition(Channel& channel, const Instrument& instrument, int32_t position);

// The instrument's own vibrato, added to periodOffset on every tick.
void autoVibrato(Channel& channel, const Instrument& instrument);

// Period of a note (0-based) in the Amiga frequency mode, moved by a finetune of -128..127.
int32_t amigaPeriod(uint8_t note, int8_t finetune);

// Turns the channel's state into its voice's settings, as updateFlags asks; starts notes on
// the alternate voice so that the old note fades out while the new one fades in.
void updateVoice(Channel& channel, const Sample& sample, const Module* module);
