// The mixer's inner loops: the frames of one voice inside one segment (no loop point, sample
// end or ramp end within it), interpolated from the sample, scaled by the gains and added to
// the float frames. They come as portable C++ and, on x86-64, as SSE2 that works on four
// frames at a time and AVX2 (taken where the processor has it) on eight. All give the same
// bytes: every frame goes through the same float operations in the same order (no fused
// multiply-add), and positions step in exact integer arithmetic.
//
// Per frame, with the position p in 32.32 fixed point:
//   a = data[p >> 32], b = data[(p >> 32) + 1], f = float((p & 0xFFFFFFFF) >> 1) × 2^-31
//   value = a + f × (b − a)
//   out[0] += value × left, out[1] += value × right, then p += step
// and while ramping, after each frame: left += leftDelta, right += rightDelta.
#pragma once
#include <cstdint>

// Constant gains. Returns the position after the frames.
using MixPlainLoop = int64_t (*)(float* out, int32_t frames, const int16_t* data, int64_t position,
                                 int64_t step, float left, float right);
// Gains that move by the deltas after every frame; left and right come back as the gains
// after the last frame. Returns the position after the frames.
using MixRampLoop = int64_t (*)(float* out, int32_t frames, const int16_t* data, int64_t position,
                                int64_t step, float& left, float& right, float leftDelta,
                                float rightDelta);

struct MixLoops {
    MixPlainLoop plain;
    MixRampLoop ramp;
};

extern const MixLoops portableMixLoops;
// The SSE2 loops; null members where the build is not for x86-64.
extern const MixLoops sse2MixLoops;
// The AVX2 plain loop with the SSE2 ramp loop; null members where the build or the processor
// has no AVX2.
const MixLoops& avx2MixLoops();
// The fastest loops of this build and processor: the ones the mixer takes unless told.
const MixLoops& fastestMixLoops();
