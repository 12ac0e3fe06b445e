// The module sequencer: turns the loaded song into changes of the mixing voices, one tick at
// a time.
#pragma once
#include <cstdint>

#include "sound/module.h"

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

constexpr int kChannelCount = 32;
extern Channel channelTable[kChannelCount];

// One tick of the song: the module's tickHandler.
void playTick(Module* module);
