// The software mixer: adds the playing voices, resampled from their 16-bit samples by linear
// interpolation with level ramps, into float stereo frames, and turns float frames into
// 16-bit PCM.
#pragma once
#include <cstdint>

#include "engine/mix_loops.h"
#include "engine/module.h"

struct Player;

// One playing sound. The sequencer sets it up between mixing calls; the mixer moves its
// position, follows its sample's loop and runs its level ramps.
struct Voice {
    int32_t index;  // position among the player's voices
    // Sequencer state kept with the voice; the mixer does not read it.
    int32_t volume;
    int32_t frequency;
    int32_t panning;
    int32_t mixVolume;
    int32_t mixPanning;
    int32_t startOffset;
    const Sample* sample;  // none: silent and skipped
    int32_t leftLevel;     // wanted levels, 255 = gain 1.0
    int32_t rightLevel;
    int32_t positionWhole;  // 32.32 position in sample values
    uint32_t positionFraction;
    uint32_t stepFraction;  // 32.32 increment per output frame
    int32_t stepWhole;
    int32_t direction;       // kVoiceForward; any other value backward (kVoiceBackward)
    int32_t rampLeftTarget;  // the levels the running ramp leads to
    int32_t rampRightTarget;
    int32_t currentLeft;  // levels in effect, level × 256
    int32_t currentRight;
    float rampLeftDelta;  // gain change per frame while ramping
    float rampRightDelta;
    int32_t rampRemaining;  // frames left in the ramp; 0 = none
};

// Voice::direction: forward through the sample, or backward (a ping-pong loop's way back).
constexpr int32_t kVoiceForward = 1;
constexpr int32_t kVoiceBackward = 2;

// Level ramps last 128 frames at 44100 Hz, and about the same time at any other rate.
constexpr int32_t kRampFramesAt44100 = 128;
constexpr int32_t rampFramesAt(int32_t sampleRate) {
    return sampleRate * kRampFramesAt44100 / 44100;
}

// Each player has 256 voices, of which the mixer mixes the first 64. The sequencer sets them up
// between mixing calls, through its channels.
constexpr int kVoiceCount = 256;
constexpr int kMixedVoiceCount = 64;

// Clears all voices of the player, each keeping its own index and a step of one value.
void clearVoices(Player& player);

// Chooses the player's inner loops that mix (mix_loops.h); by default the fastest the build
// and the processor have. All give the same bytes; tests compare them. Loops that the build or
// the processor lacks (null members) are not taken.
void useMixLoops(Player& player, const MixLoops& loops);

// Adds the player's voices 0..63 into frameCount stereo float frames (left, right), which are
// not cleared. With no frames, the voices move on (positions, loops, ramps) exactly as if
// mixed, but nothing is computed of their sound; the voices of muted channels always move on
// so.
void mixVoices(Player& player, float* frames, int32_t frameCount);

// Rounds 2 × frameCount floats to the nearest integer (halves to even), clips them to 16 bits
// and stores them in order.
void convertToPcm16(int16_t* destination, const float* source, int32_t frameCount);
