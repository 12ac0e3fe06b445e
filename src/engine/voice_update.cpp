// Envelopes, instrument vibrato, periods and frequencies, and the hand-over of a channel to
// its mixing voice. The float constants and the truncations fix every period, level and step
// to the same value on every compiler and machine: int-by-float products are rounded to float,
// sin and pow are the double functions of the C library, and nothing is contracted into fused
// multiply-adds.
#include <cmath>
#include <cstring>
#include <initializer_list>

#include "engine/mixer.h"
#include "engine/player.h"
#include "engine/sequencer.h"
#include "engine/sequencer_internal.h"

namespace {

// Envelope values are 0..64; a point above that is taken as 64, so that no value leaves the
// range (and y × 65536 stays within 32 bits).
int32_t pointValue(const EnvelopePoint& point) {
    return point.y > 64 ? 64 : point.y;
}

// The 16.16 increment per tick from point k to point k + 1; 0 when both lie at one tick.
int32_t segmentStep(const EnvelopePoint* points, int32_t k) {
    const int32_t width = points[k + 1].x - points[k].x;
    if (width == 0) return 0;
    return (pointValue(points[k + 1]) * 65536 - pointValue(points[k]) * 65536) / width;
}

int32_t storedPoints(uint8_t pointCount) {
    return pointCount < kEnvelopePoints ? pointCount : kEnvelopePoints;
}

// P(e) of the Amiga periods: 13.375 × 2^(e / 12).
int32_t amigaPower(int32_t e) {
    const float exponent = static_cast<float>(e) * 0.083333336f;
    return static_cast<int32_t>(std::pow(2.0, static_cast<double>(exponent)) * 13.375);
}

Voice& alternateOf(Player& p, const Voice& voice) {
    const int32_t index = voice.index;
    return p.voices[index < 32 ? index + 32 : index - 32];
}

int32_t limitedPanning(int64_t q) {
    return q < 0 ? 0 : q > 255 ? 255 : static_cast<int32_t>(q);
}

// The linear mode's frequency: 8363 Hz at period 4608 (units 0), twice that an octave (768
// units) higher.
int32_t linearFrequency(int32_t units) {
    const float exponent = static_cast<float>(units) * 0.0013020834f;
    const double f = 8363 * std::pow(2.0, static_cast<double>(exponent));
    // Periods far below any note give frequencies beyond 32 bits: the mixer's largest step is
    // reached long before.
    return f >= 2147483647.0 ? 2147483647 : static_cast<int32_t>(f);
}

// The power is most of the cost of a tick, and most channels ask for the same frequency tick
// after tick (instrument vibrato asks every tick, at any depth): the player keeps the
// frequencies of recent units, in slots by a hash of the units.
int32_t rememberedLinearFrequency(Player& p, int32_t units) {
    RememberedFrequency& slot = p.frequencies[(static_cast<uint32_t>(units) * 2654435761u) >> 26];
    if (!slot.known || slot.units != units) slot = {units, linearFrequency(units), true};
    return slot.frequency;
}

// The period played is held within the slides' limits; in the linear mode the offset is
// taken away from the period, in the Amiga mode added to it.
int32_t noteFrequency(Player& p, const Channel& c) {
    if (p.module->flags & kLinearFrequencies) {
        return rememberedLinearFrequency(p, 4608 - limitPeriod(int64_t{c.period} - c.periodOffset));
    }
    return 14317056 / limitPeriod(int64_t{c.period} + c.periodOffset);
}

// The instrument vibrato's sine at phase p, 64 at the peak; the phases 0..255 it runs through
// are worked out once.
int32_t sineAt(int32_t p) {
    // The constant is the single-precision number just below pi/128.
    const float angle = static_cast<float>(p) * 0.024543688f;
    return static_cast<int32_t>(std::sin(static_cast<double>(angle)) * 64.0);
}

int32_t autoVibratoSine(const Player& player, int32_t p) {
    return p >= 0 && p < 256 ? player.autoVibratoSine[p] : sineAt(p);
}

void setStep(Voice& v, int32_t frequency, int32_t sampleRate) {
    const int32_t b = frequency < 100 ? 100 : frequency;
    if (sampleRate <= 0) return;
    v.stepWhole = b / sampleRate;
    v.stepFraction =
        static_cast<uint32_t>((static_cast<uint64_t>(b % sampleRate) << 32) / sampleRate);
}

}  // namespace

void stepEnvelope(Channel& channel, EnvelopeState& state, const Envelope& envelope,
                  uint8_t updateBit) {
    const EnvelopePoint* points = envelope.points;
    const int32_t count = storedPoints(envelope.pointCount);
    int32_t k = state.point;
    // A point is reached when the tick arrives at its x. A point whose x lies behind the tick
    // (x positions that do not grow) counts as reached at once, so that the value never runs
    // on past it.
    if (k >= 0 && k < count && state.tick >= points[k].x) {
        if ((envelope.type & kEnvelopeLoop) && k == envelope.loopEnd &&
            envelope.loopStart < count) {
            k = state.point = envelope.loopStart;
            state.tick = points[k].x;
        }
        if (k == count - 1) {
            state.value = pointValue(points[k]);
            state.done = 1;
            channel.updateFlags |= updateBit;
            return;
        }
        if ((envelope.type & kEnvelopeSustain) && k == envelope.sustainPoint && !channel.keyOff) {
            state.value = pointValue(points[k]);
            channel.updateFlags |= updateBit;
            return;
        }
        state.step = segmentStep(points, k);
        state.fixed = pointValue(points[k]) * 65536;
        state.point = k + 1;
    } else if (k >= 0 && k < count) {
        state.fixed += state.step;
    }
    state.value = state.fixed >> 16;
    state.tick += 1;
    channel.updateFlags |= updateBit;
}

void stepEnvelopes(Channel& channel, const Instrument& instrument) {
    if ((instrument.volumeEnvelope.type & kEnvelopeOn) && !channel.volumeEnvelope.done) {
        stepEnvelope(channel, channel.volumeEnvelope, instrument.volumeEnvelope, UpdateVolume);
    }
    if ((instrument.panningEnvelope.type & kEnvelopeOn) && !channel.panningEnvelope.done) {
        stepEnvelope(channel, channel.panningEnvelope, instrument.panningEnvelope, UpdatePanning);
    }
}

void setVolumeEnvelopePosition(Channel& c, const Instrument& instrument, int32_t position) {
    const Envelope& envelope = instrument.volumeEnvelope;
    EnvelopeState& state = c.volumeEnvelope;
    if (!(envelope.type & kEnvelopeOn)) return;
    const int32_t count = storedPoints(envelope.pointCount);
    if (count < 1) return;
    const EnvelopePoint* points = envelope.points;
    int32_t j = 0;
    while (j < count - 1 && position > points[j + 1].x)
        ++j;
    if (j >= count - 1) {
        state.value = pointValue(points[count - 1]);
        state.done = 1;
        return;
    }
    // A position before the segment's first point (a first point after tick 0, or x
    // positions that do not grow) counts as that point, so that the value neither reaches
    // back beyond the point nor overshoots the next one.
    const int32_t start = position > points[j].x ? position : points[j].x;
    state.done = 0;
    state.tick = start;
    state.step = segmentStep(points, j);
    state.point = j + 1;
    state.fixed = pointValue(points[j]) * 65536 + (start - points[j].x) * state.step;
    state.value = state.fixed >> 16;
}

void fillAutoVibratoSine(int32_t* table) {
    for (int32_t q = 0; q < 256; ++q)
        table[q] = sineAt(q);
}

void autoVibrato(const Player& player, Channel& c, const Instrument& instrument) {
    const int32_t p = c.autoVibratoPos;
    int32_t v = 0;  // types above 3 have no waveform: no vibrato
    switch (instrument.vibratoType) {
        case 0:
            v = autoVibratoSine(player, p);
            break;
        case 1:
            v = p < 128 ? 64 : -64;
            break;
        case 2:
            v = (128 - (p + 128) % 256) >> 1;
            break;
        case 3:
            v = (128 - (384 - p) % 256) >> 1;
            break;
        default:
            break;
    }
    int32_t a = instrument.vibratoDepth * v;
    if (instrument.vibratoSweep != 0) a = c.autoVibratoSweep * a / instrument.vibratoSweep;
    c.periodOffset += a >> 6;
    c.autoVibratoSweep += 1;
    if (c.autoVibratoSweep > instrument.vibratoSweep) c.autoVibratoSweep = instrument.vibratoSweep;
    c.autoVibratoPos += instrument.vibratoRate;
    if (c.autoVibratoPos > 255) c.autoVibratoPos -= 256;
    c.updateFlags |= UpdateFrequency;
}

int32_t amigaPeriod(uint8_t note, int8_t finetune) {
    const int32_t base = amigaPower(132 - note);
    if (finetune >= 0 || note == 0) {
        const int32_t up = amigaPower(131 - note);
        return base + (base - up) * finetune / -128;
    }
    const int32_t down = amigaPower(133 - note);
    return base + (base - down) * -finetune / -128;
}

int32_t notePeriodOf(const Module* m, uint8_t realNote, int8_t finetune) {
    if (m->flags & kLinearFrequencies) return 7680 - 64 * realNote - finetune / 2;
    return amigaPeriod(realNote, finetune);
}

void updateVoice(Player& p, Channel& c, const Sample& sample) {
    if (!c.voice) return;
    if (c.period + c.periodOffset == 0) c.updateFlags &= static_cast<uint8_t>(~UpdateFrequency);

    if (c.updateFlags & StartNote) {
        if (c.voice->sample) {
            // The old note goes on in the other voice of the pair and fades out there.
            Voice& old = *c.voice;
            Voice& next = alternateOf(p, old);
            const int32_t nextIndex = next.index;
            std::memcpy(&next, &old, sizeof(Voice));
            next.index = nextIndex;
            old.mixVolume = 0;
            old.volume = 0;
            old.leftLevel = 0;
            old.rightLevel = 0;
            c.voice = &next;
        }
        Voice& v = *c.voice;
        v.sample = &sample;
        if (static_cast<uint32_t>(v.startOffset) >= playEnd(sample)) v.startOffset = 0;
        v.positionWhole = v.startOffset;
        v.positionFraction = 0;
        v.direction = kVoiceForward;
        v.startOffset = 0;
        v.currentLeft = 0;
        v.currentRight = 0;
        v.rampRemaining = 0;
    }
    Voice& v = *c.voice;

    if (c.updateFlags & UpdateVolume) {
        // (volume + offset) × envelope × fade-out × global volume × 255 / 2^35.
        const float product = static_cast<float>(c.volume + c.volumeOffset) *
                              static_cast<float>(c.volumeEnvelope.value) *
                              static_cast<float>(c.fadeoutVolume) *
                              static_cast<float>(p.globalVolume);
        const int32_t level = static_cast<int32_t>(product * 7.4214768e-9f);
        v.mixVolume = level;
        v.volume = level;
        v.leftLevel = level * v.mixPanning / 255;
        v.rightLevel = (255 - v.mixPanning) * level / 255;
    }

    if (c.updateFlags & UpdatePanning) {
        const int64_t panning = c.panning;
        const int64_t distance = panning > 128 ? panning - 128 : 128 - panning;
        const int32_t q =
            limitedPanning(panning + (c.panningEnvelope.value - 32) * ((128 - distance) / 32));
        v.mixPanning = q;
        v.panning = q;
        v.leftLevel = v.mixVolume * q / 255;
        v.rightLevel = (255 - q) * v.mixVolume / 255;
    }

    if (c.updateFlags & UpdateFrequency) {
        const int32_t f = noteFrequency(p, c);
        v.frequency = f;
        setStep(v, f, p.sampleRate);
    }

    if (c.updateFlags & RewindVoice) {
        v.positionWhole = 0;
        v.positionFraction = 0;
        v.startOffset = 0;
    }
}
