// The mixer. Each voice is mixed in segments: runs of frames in which no loop point or sample
// end is passed and no ramp ends, found with one division before the segment, so the inner
// loops (mix_loops.h) only interpolate, scale, accumulate and step.
//
// The mixer is safe on any voice, not only on the ones the sequencer makes; the cases that a
// sequencer never produces are settled so that no value outside a sample's data is ever read:
// - a negative position plays from the start of the sample;
// - a step of 0 (or a negative one) holds the voice at its position; a step of 256 values
//   or more is taken as the largest step below 256;
// - a segment never reads outside the values 0 .. length + 7: one that would is cut there; a
//   voice moving backward then turns as at its loop start, a voice standing backward beyond
//   its data ends;
// - a ping-pong reflection that lands below value 0 lands on 0, and a position far outside
//   the loop is folded back at once, as the reflections would do one by one;
// - a position less than 2^-24 values short of its boundary is one frame from it, not none;
// - a sample whose loop is empty or lies beyond its length ends the voice; a voice moving
//   backward through a forward loop turns forward at the loop start.
#include "engine/mixer.h"

#include <cstring>

#include "engine/player.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr int64_t kLargestStep = (int64_t{256} << 32) - 1;
constexpr int64_t kFar = int64_t{1} << 56;  // 2^24 values

int64_t positionOf(const Voice& v) {
    return static_cast<int64_t>(
        static_cast<uint64_t>(static_cast<uint32_t>(v.positionWhole)) << 32 | v.positionFraction);
}

// A position is never stored below value 0: a backward segment whose frame count rounded up
// may end a hair below a loop start of 0, and a reflection there may land just below it.
void storePosition(Voice& v, int64_t position) {
    if (position < 0) position = 0;
    v.positionWhole = static_cast<int32_t>(position >> 32);
    v.positionFraction = static_cast<uint32_t>(position);
}

int64_t stepOf(const Voice& v) {
    int64_t step = static_cast<int64_t>(
        static_cast<uint64_t>(static_cast<uint32_t>(v.stepWhole)) << 32 | v.stepFraction);
    if (v.stepWhole < 0) return 0;
    return step > kLargestStep ? kLargestStep : step;
}

void endVoice(Voice& v) {
    v.sample = nullptr;
    v.positionWhole = 0;
    v.positionFraction = 0;
}

// Nearest integer, halves away from zero.
int32_t roundToInt(float x) {
    int32_t whole = static_cast<int32_t>(x);
    float rest = x - static_cast<float>(whole);
    if (rest >= 0.5f) return whole + 1;
    if (rest <= -0.5f) return whole - 1;
    return whole;
}

// The last position whose two values lie inside data[0 .. length + 7].
int64_t lastPositionInside(const Sample& s) {
    return static_cast<int64_t>((uint64_t{s.length} + 6) << 32 | 0xFFFFFFFFu);
}

// Frames from position on whose two values lie inside data[0 .. length + 7], moving by step
// in the given direction; at most limit.
int32_t framesInsideData(const Sample& s, int64_t position, int64_t step, bool forward,
                         int32_t limit) {
    const int64_t last = lastPositionInside(s);
    if (position < 0 || position > last) return 0;
    if (step == 0) return limit;
    const int64_t room = forward ? last - position : position;
    const int64_t frames = room / step + 1;
    return frames < limit ? static_cast<int32_t>(frames) : limit;
}

// A position at or past a forward loop's end, brought back into the loop by whole loops.
int64_t wrapForward(const Sample& s, int64_t position) {
    const uint64_t p = static_cast<uint64_t>(position);
    uint32_t whole = static_cast<uint32_t>(p >> 32);
    const uint32_t loopEnd = s.loopStart + s.loopLength;
    if (whole >= loopEnd) {
        const uint32_t beyond = whole - loopEnd;  // mostly less than a loop: no division
        whole = s.loopStart + (beyond < s.loopLength ? beyond : beyond % s.loopLength);
    }
    return static_cast<int64_t>(uint64_t{whole} << 32 | (p & 0xFFFFFFFFu));
}

// The loop rule at a boundary: forward loops wrap, ping-pong loops reflect, anything else ends
// the voice.
void passBoundary(Voice& v, const Sample& s, int64_t position) {
    const uint64_t start = uint64_t{s.loopStart} << 32;
    const uint64_t end = (uint64_t{s.loopStart} + s.loopLength) << 32;
    const uint64_t twice = uint64_t{s.loopLength} << 33;
    if (s.loopMode == kForwardLoop) {
        // Only a voice moving backward can have stepped below value 0: it turns at 0.
        v.direction = kVoiceForward;
        storePosition(v, wrapForward(s, position < 0 ? 0 : position));
        return;
    }
    if (s.loopMode != kPingPongLoop) {
        endVoice(v);
        return;
    }
    // A voice moving backward may have stepped below value 0; the reflection at the loop start
    // mirrors that overshoot like any other (the 64-bit arithmetic wraps and comes back).
    uint64_t q = static_cast<uint64_t>(position);
    if (v.direction == kVoiceForward) {
        // Whole double reflections (end, then start) move the position back by twice the loop.
        if (q >= end + twice) q -= (q - end) / twice * twice;
        q = 2 * end - q - 1;
        v.direction = kVoiceBackward;
        if (static_cast<int64_t>(q) < static_cast<int64_t>(start)) {
            q = 2 * start - q - 1;
            v.direction = kVoiceForward;
        }
    } else {
        if (static_cast<int64_t>(q) < static_cast<int64_t>(start) && start - q > twice) {
            q += (start - q - 1) / twice * twice;
        }
        q = 2 * start - q - 1;
        v.direction = kVoiceForward;
        if (static_cast<int64_t>(q) >= static_cast<int64_t>(end)) {
            q = 2 * end - q - 1;
            v.direction = kVoiceBackward;
        }
    }
    storePosition(v, static_cast<int64_t>(q));
}

// a / b rounded up, for b > 0 and a < 2^48; in 32 bits where both fit, the quicker division.
uint64_t ceilingQuotient(uint64_t a, uint64_t b) {
    if ((a | b) <= 0x7FFFFFFFu) {
        return (static_cast<uint32_t>(a) + static_cast<uint32_t>(b) - 1) / static_cast<uint32_t>(b);
    }
    return (a + b - 1) / b;
}

// A run of frames of one voice in which no loop point or sample end is passed, no ramp ends
// and no value outside the data is read.
struct Segment {
    int32_t frames;
    bool atBoundary;  // it reaches or passes the boundary: the loop rule follows
    bool leftData;    // it was cut where the data ends
};

// The frames until the position reaches or passes the boundary (the loop end moving forward,
// the loop start moving backward), counted with 24 fractional bits; at most remaining. A
// distance of 2^24 values or more does not limit the segment.
Segment framesToBoundary(const Sample& s, int64_t position, int64_t step, bool forward,
                         int32_t remaining) {
    const uint64_t loopEnd = uint64_t{s.loopStart} + s.loopLength;
    const int64_t distance = forward ? static_cast<int64_t>(loopEnd << 32) - position
                                     : position - static_cast<int64_t>(uint64_t{s.loopStart} << 32);
    if (distance <= 0) return Segment{0, true, false};
    if (distance < kFar) {
        const uint64_t distance24 = static_cast<uint64_t>(distance) >> 8;
        const uint64_t step24 = static_cast<uint64_t>(step) >> 8;
        if (step24 != 0) {
            // A distance below 2^-24 values still takes a frame: counted as none, the position
            // would stay short of a forward loop's end, which the loop rule then leaves alone,
            // for ever.
            const uint64_t frames = distance24 == 0 ? 1 : ceilingQuotient(distance24, step24);
            if (frames <= static_cast<uint64_t>(remaining)) {
                return Segment{static_cast<int32_t>(frames), true, false};
            }
        }
    }
    return Segment{remaining, false, false};
}

// Carries on with the running ramp while the levels stay those it leads to; otherwise sets up
// a new ramp of rampFrames frames from the levels in effect to the wanted ones, or none when
// they are equal.
void updateRamp(Voice& v, int32_t rampFrames, float rampReciprocal) {
    if (v.rampRemaining > 0 && v.leftLevel == v.rampLeftTarget &&
        v.rightLevel == v.rampRightTarget) {
        return;
    }
    v.rampLeftTarget = v.leftLevel;
    v.rampRightTarget = v.rightLevel;
    const int32_t left = v.leftLevel - (v.currentLeft >> 8);
    const int32_t right = v.rightLevel - (v.currentRight >> 8);
    v.rampLeftDelta =
        left != 0 ? static_cast<float>(left) * (1.0f / 255.0f) * rampReciprocal : 0.0f;
    v.rampRightDelta =
        right != 0 ? static_cast<float>(right) * (1.0f / 255.0f) * rampReciprocal : 0.0f;
    v.rampRemaining = (left != 0 || right != 0) && rampFrames > 0 ? rampFrames : 0;
}

// A running ramp ends the segment where it ends; the segment then stops short of the boundary.
void endAtRamp(const Voice& v, Segment& segment) {
    if (v.rampRemaining > 0 && v.rampRemaining < segment.frames) {
        segment.frames = v.rampRemaining;
        segment.atBoundary = false;
    }
}

// Cuts the segment where one of its frames would read outside the data.
void keepInsideData(const Sample& s, int64_t position, int64_t step, bool forward,
                    Segment& segment) {
    if (segment.frames <= 0) return;
    // The frames run one way: when the last one reads inside the data, all of them do, and
    // framesInsideData's division is not needed (mostly so, as most segments end at a loop
    // end, inside the data).
    const int64_t last = lastPositionInside(s);
    int64_t reach;
    if (position >= 0 && position <= last &&
        !__builtin_mul_overflow(static_cast<int64_t>(segment.frames - 1), step, &reach) &&
        reach <= (forward ? last - position : position)) {
        return;
    }
    const int32_t inside = framesInsideData(s, position, step, forward, segment.frames);
    if (inside < segment.frames) {
        segment.frames = inside;
        segment.atBoundary = false;
        segment.leftData = true;
    }
}

// The gains of a voice without a ramp, for the whole of one mixing call: its levels stay as
// they are until the sequencer's next tick.
struct PlainGains {
    float left;
    float right;
    bool silent;  // level 0 on both sides
};

// The frames of a dry mix: the voice moves on by step for each frame, and a running ramp's
// gains move by their deltas frame after frame, as the ramp loops move them, but nothing is
// read or added.
int64_t advanceUnmixed(int32_t frames, int64_t position, int64_t signedStep, float& left,
                       float& right, float leftDelta, float rightDelta) {
    for (int32_t k = 0; k < frames; ++k) {
        left += leftDelta;
        right += rightDelta;
    }
    return static_cast<int64_t>(static_cast<uint64_t>(position) +
                                static_cast<uint64_t>(frames) * static_cast<uint64_t>(signedStep));
}

// Mixes the segment's frames into out and returns the position after them. While a ramp runs,
// the gains move by its deltas every frame, and the levels reached are kept for the next
// segment; a finished ramp lands exactly on its levels. A voice at level 0 on both sides with
// no ramp only moves on: adding its values times a gain of 0 would change no frame (the frames
// start at +0 and a sum is -0 only when both terms are).
int64_t mixSegment(Voice& v, const MixLoops& loops, const PlainGains& gains, float* out,
                   int32_t frames, const int16_t* data, int64_t position, int64_t signedStep) {
    if (v.rampRemaining <= 0) {
        if (gains.silent || !out) {
            return static_cast<int64_t>(static_cast<uint64_t>(position) +
                                        static_cast<uint64_t>(frames) *
                                            static_cast<uint64_t>(signedStep));
        }
        return loops.plain(out, frames, data, position, signedStep, gains.left, gains.right);
    }
    float left = static_cast<float>(v.currentLeft) / 256.0f / 255.0f;
    float right = static_cast<float>(v.currentRight) / 256.0f / 255.0f;
    if (out) {
        position = loops.ramp(out, frames, data, position, signedStep, left, right, v.rampLeftDelta,
                              v.rampRightDelta);
    } else {
        position = advanceUnmixed(frames, position, signedStep, left, right, v.rampLeftDelta,
                                  v.rampRightDelta);
    }
    v.currentLeft = roundToInt(left * 255.0f * 256.0f);
    v.currentRight = roundToInt(right * 255.0f * 256.0f);
    v.rampRemaining -= frames;
    if (v.rampRemaining == 0) {
        v.rampLeftDelta = 0.0f;
        v.rampRightDelta = 0.0f;
        v.currentLeft = v.leftLevel * 256;
        v.currentRight = v.rightLevel * 256;
    }
    return position;
}

// After a segment: the loop rule at a boundary, the end of a voice standing backward beyond
// its data, or else the position kept for the next segment.
void finishSegment(Voice& v, const Sample& s, const Segment& segment, int64_t position) {
    if (segment.atBoundary) {
        passBoundary(v, s, position);
    } else if (segment.leftData && segment.frames == 0) {
        endVoice(v);
    } else {
        storePosition(v, position);
    }
}

// The common case of a voice moving forward through a forward loop with no ramp: segment after
// segment to the loop end, each followed by the wrap to the loop start, with nothing else to
// look at between them. The segments, the frames and the positions are the ones of the general
// path below. Returns the frames left for the general path: none, unless a segment has to be
// cut where the data ends.
int32_t mixForwardLoop(Voice& v, const Sample& s, const MixLoops& loops, const PlainGains& gains,
                       int64_t step, float*& out, int32_t remaining) {
    int64_t position = positionOf(v);
    if (position < 0) position = 0;
    while (remaining > 0) {
        Segment segment = framesToBoundary(s, position, step, true, remaining);
        keepInsideData(s, position, step, true, segment);
        if (segment.leftData) break;
        if (gains.silent || !out) {
            position += segment.frames * step;
        } else {
            position =
                loops.plain(out, segment.frames, s.data, position, step, gains.left, gains.right);
        }
        if (out) out += 2 * static_cast<int64_t>(segment.frames);
        remaining -= segment.frames;
        if (!segment.atBoundary) break;
        position = wrapForward(s, position);
    }
    storePosition(v, position);
    return remaining;
}

// Segment after segment. Within one call the sample, the step and the wanted levels stay as
// they are (only the position, the direction, the ramp and the end of the voice move), so they
// are looked at once. With no out, the voice only moves on.
void mixVoice(const Player& p, Voice& v, float* out, int32_t frameCount) {
    const MixLoops& loops = *p.mixLoops;
    const Sample& s = *v.sample;
    const uint64_t loopEnd = uint64_t{s.loopStart} + s.loopLength;
    if (!s.data || s.length == 0 || s.loopLength == 0 || loopEnd > s.length) {
        endVoice(v);
        return;
    }
    const int64_t step = stepOf(v);
    const PlainGains gains = {static_cast<float>(v.leftLevel) / 255.0f,
                              static_cast<float>(v.rightLevel) / 255.0f,
                              v.leftLevel == 0 && v.rightLevel == 0};
    int32_t remaining = frameCount;
    while (remaining > 0 && v.sample) {
        const bool forward = v.direction == kVoiceForward;
        updateRamp(v, p.rampFrames, p.rampReciprocal);
        if (forward && s.loopMode == kForwardLoop && v.rampRemaining <= 0) {
            remaining = mixForwardLoop(v, s, loops, gains, step, out, remaining);
            if (remaining == 0) return;  // otherwise a segment cut at the data's end, below
        }
        int64_t position = positionOf(v);
        if (position < 0) position = 0;

        Segment segment = framesToBoundary(s, position, step, forward, remaining);
        endAtRamp(v, segment);
        keepInsideData(s, position, step, forward, segment);
        position = mixSegment(v, loops, gains, out, segment.frames, s.data, position,
                              forward ? step : -step);
        if (out) out += 2 * static_cast<int64_t>(segment.frames);
        remaining -= segment.frames;
        finishSegment(v, s, segment, position);
    }
}

}  // namespace

void useMixLoops(Player& player, const MixLoops& loops) {
    if (loops.plain && loops.ramp) player.mixLoops = &loops;
}

void clearVoices(Player& player) {
    std::memset(player.voices, 0, sizeof player.voices);
    for (int32_t i = 0; i < kVoiceCount; ++i) {
        player.voices[i].index = i;
        player.voices[i].stepWhole = 1;
    }
}

void mixVoices(Player& player, float* frames, int32_t frameCount) {
    if (frameCount < 1) return;
    for (int i = 0; i < kMixedVoiceCount; ++i) {
        Voice& voice = player.voices[i];
        if (!voice.sample) continue;
        // Voice i and voice i + 32 are the two voices of channel i.
        const bool muted = player.mutedChannels >> (i % kChannelCount) & 1;
        mixVoice(player, voice, muted ? nullptr : frames, frameCount);
    }
}

void convertToPcm16(int16_t* destination, const float* source, int32_t frameCount) {
    if (!destination || !source || frameCount <= 0) return;
    int16_t* __restrict out = destination;
    const float* __restrict in = source;
    const int32_t count = 2 * frameCount;
    int32_t k = 0;
#if defined(__SSE2__)
    // Clipped first to the 16-bit limits, which are whole numbers, then rounded to the nearest
    // integer with halves to even by the conversion (the rounding mode of every float
    // operation here): what rounding first and clipping after gives. The minimum and maximum
    // keep a NaN, which the conversion turns into the lowest integer and the packing into
    // -32768.
    const __m128 highest = _mm_set1_ps(32767.0f);
    const __m128 lowest = _mm_set1_ps(-32768.0f);
    for (; k + 8 <= count; k += 8) {
        const __m128 a = _mm_max_ps(lowest, _mm_min_ps(highest, _mm_loadu_ps(in + k)));
        const __m128 b = _mm_max_ps(lowest, _mm_min_ps(highest, _mm_loadu_ps(in + k + 4)));
        const __m128i packed = _mm_packs_epi32(_mm_cvtps_epi32(a), _mm_cvtps_epi32(b));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k), packed);
    }
#endif
    for (; k < count; ++k) {
        // Adding 1.5 × 2^23 leaves no fraction bits: the sum is rounded to the nearest integer
        // with halves to even, the rounding mode of every float operation here. Rounding first
        // and clipping after gives what clipping first would, since the limits are whole
        // numbers.
        const float rounded = (in[k] + 12582912.0f) - 12582912.0f;
        const bool high = rounded > 32767.0f;
        const bool low = !(rounded >= -32768.0f);  // also NaN
        const int32_t value = static_cast<int32_t>(high || low ? 0.0f : rounded);
        out[k] = static_cast<int16_t>(high ? 32767 : low ? -32768 : value);
    }
}
