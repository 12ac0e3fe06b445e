// Small helpers shared by the sequencer's files.
#pragma once
#include <cstdint>

#include "engine/module.h"
#include "engine/sequencer.h"

constexpr uint8_t kKeyOffNote = 255;

// The four requests that note delay holds back: frequency, volume, panning and note start.
constexpr uint8_t kVoiceRequests = UpdateFrequency | UpdateVolume | UpdatePanning | StartNote;

// Periods and panning that the unlimited slides move are kept within ±2^24, far beyond any
// audible value (a period of 2^24 already gives a frequency of 0 in both modes, a panning of
// ±2^24 is limited to 0 or 255 when it reaches the voice), so that endless slides never
// overflow.
constexpr int64_t kSlideLimit = int64_t{1} << 24;

// The lowest period, the highest pitch: slides up stop here, and a vibrato or arpeggio offset
// that reaches beyond it is played here. A period of 0 has no Amiga frequency (a division by
// zero), and a negative one would turn the highest pitch into the lowest step at once.
constexpr int32_t kLowestPeriod = 1;

inline int32_t limitSlide(int64_t value) {
    if (value > kSlideLimit) return static_cast<int32_t>(kSlideLimit);
    if (value < -kSlideLimit) return static_cast<int32_t>(-kSlideLimit);
    return static_cast<int32_t>(value);
}
inline int32_t limitPeriod(int64_t period) {
    return period < kLowestPeriod ? kLowestPeriod : limitSlide(period);
}
inline int32_t limitPanning(int64_t panning) {
    return limitSlide(panning);
}

// Volume slides: a slide up stops at 64 and a slide down at 0, and neither limits the other
// side, so a volume above 64 (set by Cxx) slides down from where it is.
inline void raiseVolume(Channel& c, int32_t amount) {
    c.volume += amount;
    if (c.volume > 64) c.volume = 64;
    c.updateFlags |= UpdateVolume;
}
inline void lowerVolume(Channel& c, int32_t amount) {
    c.volume -= amount;
    if (c.volume < 0) c.volume = 0;
    c.updateFlags |= UpdateVolume;
}

// The volume column's panning slides: unlimited here (within the slide limit), limited to
// 0..255 only when the panning reaches the voice.
inline void slidePanning(Channel& c, int32_t amount) {
    c.panning = limitPanning(int64_t{c.panning} + amount);
    c.updateFlags |= UpdatePanning;
}

// What a volume-column byte asks for: its high nibble names the command and its low nibble is
// the parameter, except for 0x10..0x50, which set the volume 0..64.
enum class VolumeCommand : uint8_t {
    None,               // 0x00..0x0F and 0x51..0x5F
    SetVolume,          // 0x10..0x50
    SlideDown,          // 0x6y: y less every tick but tick 0
    SlideUp,            // 0x7y
    FineDown,           // 0x8y: y less on tick 0
    FineUp,             // 0x9y
    VibratoSpeed,       // 0xAy
    Vibrato,            // 0xBy: vibrato of depth y
    SetPanning,         // 0xCy: panning 16y
    PanningSlideLeft,   // 0xDy
    PanningSlideRight,  // 0xEy
    TonePortamento,     // 0xFy: tone portamento of speed 16y (0: the last speed)
};
struct VolumeColumn {
    VolumeCommand command;
    uint8_t parameter;  // the low nibble; the volume itself for SetVolume
};
VolumeColumn readVolumeColumn(uint8_t volume);

// The end of the playable range of a sample.
inline uint64_t playEnd(const Sample& sample) {
    return uint64_t{sample.loopStart} + sample.loopLength;
}

// The pattern at an order position; none for a position outside the song.
const Pattern* patternAt(const Module* module, int32_t orderIndex);
// The cells of the player's current row; none for a pattern without cells.
const Cell* rowCells(const Player& player);
// The channels the sequencer drives: channelCount, at most the 32 of the channel table.
int32_t activeChannels(const Module* module);

// The period of a note (0-based, relative note included) in the song's frequency mode.
int32_t notePeriodOf(const Module* module, uint8_t realNote, int8_t finetune);

// One fade-out step of a released note.
void fadeOut(Channel& channel, const Instrument& instrument);
