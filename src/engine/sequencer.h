// The module sequencer: turns the loaded song into changes of the mixing voices, one tick at
// a time. Everything it changes lives in the Player it is given (player.h); the song is only
// read.
#pragma once
#include <cstdint>

#include "engine/module.h"

struct Voice;
struct Player;

// Where a channel is in one envelope of its instrument.
struct EnvelopeState {
    int32_t tick;
    int32_t point;  // the next point to reach
    int32_t fixed;  // 16.16
    int32_t value;  // 0..64
    int32_t step;   // 16.16 per tick
    uint8_t done;   // the last point has been reached
};

// The state of one pattern column. Playback start clears the first channelCount channels and
// points channel i at voice i of the player's voices.
struct Channel {
    uint8_t keyNote;  // note of the last note read, 0-based; indexes noteSampleMap
    uint8_t updateFlags;
    Voice* voice;  // voice i or voice i + 32
    int32_t period;
    int32_t volume;
    int32_t panning;
    int32_t volumeOffset;
    int32_t periodOffset;
    EnvelopeState volumeEnvelope;
    EnvelopeState panningEnvelope;
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

// Puts the player's song position back to the start of its song at the default speed and
// tempo, clears its channels, channel i driving voice i, and gives every sample the finetune
// it was loaded with (E5x changes it while playing): each playback of a song starts from the
// song as loaded.
void resetPlayback(Player& player);

// Stand-in for an instrument number beyond the song's instruments: no envelopes, no
// instrument vibrato, no fade-out.
extern const Instrument emptyInstrument;

// One tick of the song. Tick 0 of a row reads the row, the other ticks run the effects; then
// the song position moves on.
void playTick(Player& player);

// Tick 0: reads the current row for all channels.
void processRow(Player& player);

// The instrument and sample a channel plays now. Instruments beyond the song give
// emptyInstrument and emptySample; a note that maps to no sample gives emptySample.
struct InstrumentAndSample {
    const Instrument* instrument;
    const Sample* sample;
};
InstrumentAndSample resolveInstrument(const Module* module, const Channel& channel);

// The finetune a sample plays with in this player: as loaded until E5x changes it.
int8_t finetuneOf(const Player& player, const Sample& sample);

// The instrument set-up: volume and panning from the sample, envelopes, fade-out, key-off,
// instrument vibrato and tremor start afresh. Does not start the sample.
void resetInstrument(Channel& channel, const Sample& sample);

// The tick-0 meaning of a volume-column byte.
void applyVolumeColumn(Channel& channel, uint8_t volume);

// Every tick but tick 0: envelopes, fade-out, the sliding volume column and the running
// effects of all channels.
void processTickEffects(Player& player);

// The per-tick steps shared by tick 0 and the other ticks.
void tonePortamento(Channel& channel);
// sets periodOffset from the phase; does not advance it
void vibrato(const Player& player, Channel& channel);
// sets volumeOffset and advances the phase
void tremolo(const Player& player, Channel& channel);
void tremor(Channel& channel);

// One step of an envelope of the channel's instrument: the volume envelope with the request
// UpdateVolume, the panning envelope with UpdatePanning.
void stepEnvelope(Channel& channel, EnvelopeState& state, const Envelope& envelope,
                  uint8_t updateBit);

// The envelope steps of a tick, tick 0 and the others alike: each envelope of the instrument
// that is on and has not reached its last point takes one step.
void stepEnvelopes(Channel& channel, const Instrument& instrument);

// Lxx: moves the volume envelope to tick position (0..255).
void setVolumeEnvelopePosition(Channel& channel, const Instrument& instrument, int32_t position);

// The instrument's own vibrato, added to periodOffset on every tick.
void autoVibrato(const Player& player, Channel& channel, const Instrument& instrument);

// The sine tables of the vibrato and tremolo (phases -32..31) and of the instrument vibrato
// (phases 0..255), which each player works out once.
void fillVibratoSine(int32_t* table);
void fillAutoVibratoSine(int32_t* table);

// Period of a note (0-based) in the Amiga frequency mode, moved by a finetune of -128..127.
int32_t amigaPeriod(uint8_t note, int8_t finetune);

// Turns the channel's state into its voice's settings, as updateFlags asks; starts notes on
// the alternate voice so that the old note fades out while the new one fades in.
void updateVoice(Player& player, Channel& channel, const Sample& sample);
