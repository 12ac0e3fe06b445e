// The mixer's inner loops, portable and SSE2 (mix_loops.h says what a frame computes).
#include "engine/mix_loops.h"

#include <cstring>

#if defined(__SSE2__) && defined(__x86_64__)
#include <immintrin.h>
#endif

namespace {

constexpr float kFractionScale = 1.0f / 2147483648.0f;  // 2^-31

inline float interpolate(const int16_t* data, int64_t position) {
    const int32_t whole = static_cast<int32_t>(position >> 32);
    const float a = data[whole];
    const float b = data[whole + 1];
    const float f = static_cast<float>(static_cast<uint32_t>(position) >> 1) * kFractionScale;
    return a + f * (b - a);
}

// Constant gains: two frames per pass.
int64_t mixPlainPortable(float* out, int32_t frames, const int16_t* data, int64_t position,
                         int64_t step, float left, float right) {
    int32_t k = 0;
    for (; k + 2 <= frames; k += 2) {
        const float v0 = interpolate(data, position);
        position += step;
        const float v1 = interpolate(data, position);
        position += step;
        out[0] += v0 * left;
        out[1] += v0 * right;
        out[2] += v1 * left;
        out[3] += v1 * right;
        out += 4;
    }
    if (k < frames) {
        const float v0 = interpolate(data, position);
        position += step;
        out[0] += v0 * left;
        out[1] += v0 * right;
    }
    return position;
}

int64_t mixRampPortable(float* out, int32_t frames, const int16_t* data, int64_t position,
                        int64_t step, float& left, float& right, float leftDelta,
                        float rightDelta) {
    float l = left, r = right;
    for (int32_t k = 0; k < frames; ++k) {
        const float v = interpolate(data, position);
        position += step;
        out[0] += v * l;
        out[1] += v * r;
        l += leftDelta;
        r += rightDelta;
        out += 2;
    }
    left = l;
    right = r;
    return position;
}

#if defined(__SSE2__) && defined(__x86_64__)

// The two values a frame interpolates between, a in the low and b in the high 16 bits.
inline uint64_t valuePair(const int16_t* data, int64_t position) {
    uint32_t pair;
    std::memcpy(&pair, data + static_cast<int32_t>(position >> 32), sizeof pair);
    return pair;
}

// The interpolated values of four frames from position on (lane k: frame k), and the
// position after them. fractions holds the low 32 bits of the four positions.
inline __m128 interpolateFour(const int16_t* data, int64_t& position, int64_t step,
                              __m128i fractions) {
    // The pairs are joined two by two in general registers, which have time to spare, and
    // only then moved to a vector.
    const uint64_t pairs01 = valuePair(data, position) | valuePair(data, position + step) << 32;
    const uint64_t pairs23 =
        valuePair(data, position + 2 * step) | valuePair(data, position + 3 * step) << 32;
    position += 4 * step;
    const __m128i pairs = _mm_unpacklo_epi64(_mm_cvtsi64_si128(static_cast<int64_t>(pairs01)),
                                             _mm_cvtsi64_si128(static_cast<int64_t>(pairs23)));
    // a × 1 + b × 0 and a × -1 + b × 1 from the 16-bit halves: a and b - a, exact, as
    // float(b) - float(a) is.
    const __m128 a = _mm_cvtepi32_ps(_mm_madd_epi16(pairs, _mm_set1_epi32(0x00000001)));
    const __m128 difference = _mm_cvtepi32_ps(_mm_madd_epi16(pairs, _mm_set1_epi32(0x0001FFFF)));
    const __m128 f =
        _mm_mul_ps(_mm_cvtepi32_ps(_mm_srli_epi32(fractions, 1)), _mm_set1_ps(kFractionScale));
    return _mm_add_ps(a, _mm_mul_ps(f, difference));
}

// The low 32 bits of the positions of frames 0..3, which step by the low 32 bits of the step
// whatever the carries into the whole part.
inline __m128i fractionsOfFour(int64_t position, int64_t step) {
    const uint32_t p = static_cast<uint32_t>(position);
    const uint32_t s = static_cast<uint32_t>(step);
    return _mm_setr_epi32(static_cast<int32_t>(p), static_cast<int32_t>(p + s),
                          static_cast<int32_t>(p + 2 * s), static_cast<int32_t>(p + 3 * s));
}

int64_t mixPlainSse2(float* out, int32_t frames, const int16_t* data, int64_t position,
                     int64_t step, float left, float right) {
    const __m128 gains = _mm_setr_ps(left, right, left, right);
    __m128i fractions = fractionsOfFour(position, step);
    const __m128i fractionStep =
        _mm_set1_epi32(static_cast<int32_t>(4 * static_cast<uint32_t>(step)));
    int32_t k = 0;
    for (; k + 4 <= frames; k += 4) {
        const __m128 v = interpolateFour(data, position, step, fractions);
        fractions = _mm_add_epi32(fractions, fractionStep);
        // Frames 0 and 1, then 2 and 3, as left, right pairs.
        const __m128 first = _mm_mul_ps(_mm_unpacklo_ps(v, v), gains);
        const __m128 second = _mm_mul_ps(_mm_unpackhi_ps(v, v), gains);
        _mm_storeu_ps(out, _mm_add_ps(_mm_loadu_ps(out), first));
        _mm_storeu_ps(out + 4, _mm_add_ps(_mm_loadu_ps(out + 4), second));
        out += 8;
    }
    return mixPlainPortable(out, frames - k, data, position, step, left, right);
}

int64_t mixRampSse2(float* out, int32_t frames, const int16_t* data, int64_t position, int64_t step,
                    float& left, float& right, float leftDelta, float rightDelta) {
    int32_t k = 0;
    if (frames >= 4) {
        // The gains of frames k, k + 1 (firstGains) and k + 2, k + 3 (secondGains) as left,
        // right pairs. A lane moves on by two frames by adding the deltas twice: the very
        // additions that the gains of one frame after another make.
        const __m128 deltas = _mm_setr_ps(leftDelta, rightDelta, leftDelta, rightDelta);
        const float nextLeft = left + leftDelta;
        const float nextRight = right + rightDelta;
        __m128 firstGains = _mm_setr_ps(left, right, nextLeft, nextRight);
        __m128 secondGains = _mm_add_ps(_mm_add_ps(firstGains, deltas), deltas);
        __m128i fractions = fractionsOfFour(position, step);
        const __m128i fractionStep =
            _mm_set1_epi32(static_cast<int32_t>(4 * static_cast<uint32_t>(step)));
        for (; k + 4 <= frames; k += 4) {
            const __m128 v = interpolateFour(data, position, step, fractions);
            fractions = _mm_add_epi32(fractions, fractionStep);
            const __m128 first = _mm_mul_ps(_mm_unpacklo_ps(v, v), firstGains);
            const __m128 second = _mm_mul_ps(_mm_unpackhi_ps(v, v), secondGains);
            _mm_storeu_ps(out, _mm_add_ps(_mm_loadu_ps(out), first));
            _mm_storeu_ps(out + 4, _mm_add_ps(_mm_loadu_ps(out + 4), second));
            out += 8;
            firstGains = _mm_add_ps(_mm_add_ps(secondGains, deltas), deltas);
            secondGains = _mm_add_ps(_mm_add_ps(firstGains, deltas), deltas);
        }
        left = _mm_cvtss_f32(firstGains);
        right = _mm_cvtss_f32(_mm_shuffle_ps(firstGains, firstGains, _MM_SHUFFLE(1, 1, 1, 1)));
    }
    return mixRampPortable(out, frames - k, data, position, step, left, right, leftDelta,
                           rightDelta);
}

#endif

#if defined(__SSE2__) && defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define MIX_LOOPS_AVX2 1

__attribute__((target("avx2"))) inline int32_t valuePairAvx2(const int16_t* data,
                                                             int64_t position) {
    int32_t pair;
    std::memcpy(&pair, data + (position >> 32), sizeof pair);
    return pair;
}

// The frames of eight value pairs (lane k: frame k), scaled by the gains: frames 0..3 as left,
// right pairs in first, 4..7 in second.
struct EightFrames {
    __m256 first;
    __m256 second;
};
__attribute__((target("avx2"))) inline EightFrames eightFrames(__m256i pairs, __m256i fractions,
                                                               __m256 gains) {
    const __m256 a = _mm256_cvtepi32_ps(_mm256_madd_epi16(pairs, _mm256_set1_epi32(1)));
    const __m256 difference =
        _mm256_cvtepi32_ps(_mm256_madd_epi16(pairs, _mm256_set1_epi32(0x0001FFFF)));
    const __m256 f = _mm256_mul_ps(_mm256_cvtepi32_ps(_mm256_srli_epi32(fractions, 1)),
                                   _mm256_set1_ps(kFractionScale));
    const __m256 v = _mm256_add_ps(a, _mm256_mul_ps(f, difference));
    // Frames 0, 1 | 4, 5 and 2, 3 | 6, 7 as left, right pairs, then put in order.
    const __m256 pairsLow = _mm256_unpacklo_ps(v, v);
    const __m256 pairsHigh = _mm256_unpackhi_ps(v, v);
    return {_mm256_mul_ps(_mm256_permute2f128_ps(pairsLow, pairsHigh, 0x20), gains),
            _mm256_mul_ps(_mm256_permute2f128_ps(pairsLow, pairsHigh, 0x31), gains)};
}

// Eight frames a pass, and the last one to seven frames in one masked pass. The pairs go
// straight from memory into the lanes, which costs fewer instructions than joining them first.
__attribute__((target("avx2"))) int64_t mixPlainAvx2(float* out, int32_t frames,
                                                     const int16_t* data, int64_t position,
                                                     int64_t step, float left, float right) {
    const __m256 gains = _mm256_setr_ps(left, right, left, right, left, right, left, right);
    const uint32_t p = static_cast<uint32_t>(position);
    const uint32_t s = static_cast<uint32_t>(step);
    __m256i fractions =
        _mm256_setr_epi32(static_cast<int32_t>(p), static_cast<int32_t>(p + s),
                          static_cast<int32_t>(p + 2 * s), static_cast<int32_t>(p + 3 * s),
                          static_cast<int32_t>(p + 4 * s), static_cast<int32_t>(p + 5 * s),
                          static_cast<int32_t>(p + 6 * s), static_cast<int32_t>(p + 7 * s));
    const __m256i fractionStep = _mm256_set1_epi32(static_cast<int32_t>(8 * s));
    int32_t k = 0;
    for (; k + 8 <= frames; k += 8) {
        __m128i low = _mm_cvtsi32_si128(valuePairAvx2(data, position));
        low = _mm_insert_epi32(low, valuePairAvx2(data, position + step), 1);
        low = _mm_insert_epi32(low, valuePairAvx2(data, position + 2 * step), 2);
        low = _mm_insert_epi32(low, valuePairAvx2(data, position + 3 * step), 3);
        __m128i high = _mm_cvtsi32_si128(valuePairAvx2(data, position + 4 * step));
        high = _mm_insert_epi32(high, valuePairAvx2(data, position + 5 * step), 1);
        high = _mm_insert_epi32(high, valuePairAvx2(data, position + 6 * step), 2);
        high = _mm_insert_epi32(high, valuePairAvx2(data, position + 7 * step), 3);
        position += 8 * step;
        const __m256i pairs = _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1);
        const EightFrames mixed = eightFrames(pairs, fractions, gains);
        fractions = _mm256_add_epi32(fractions, fractionStep);
        _mm256_storeu_ps(out, _mm256_add_ps(_mm256_loadu_ps(out), mixed.first));
        _mm256_storeu_ps(out + 8, _mm256_add_ps(_mm256_loadu_ps(out + 8), mixed.second));
        out += 16;
    }
    if (k < frames) {
        // The lanes beyond the frames left read the last frame's pair again, which lies in
        // the data, and are neither read from out nor written to it.
        const int32_t rest = frames - k;
        alignas(32) int32_t pairs[8];
        for (int32_t j = 0; j < 8; ++j)
            pairs[j] = valuePairAvx2(data, position + (j < rest ? j : rest - 1) * step);
        position += rest * step;
        const EightFrames mixed = eightFrames(
            _mm256_load_si256(reinterpret_cast<const __m256i*>(pairs)), fractions, gains);
        const __m256i lanes = _mm256_setr_epi32(0, 0, 1, 1, 2, 2, 3, 3);
        const __m256i firstMask = _mm256_cmpgt_epi32(_mm256_set1_epi32(rest), lanes);
        const __m256i secondMask = _mm256_cmpgt_epi32(_mm256_set1_epi32(rest - 4), lanes);
        _mm256_maskstore_ps(out, firstMask,
                            _mm256_add_ps(_mm256_maskload_ps(out, firstMask), mixed.first));
        _mm256_maskstore_ps(out + 8, secondMask,
                            _mm256_add_ps(_mm256_maskload_ps(out + 8, secondMask), mixed.second));
    }
    // The upper halves are cleared before SSE code runs again, which would otherwise wait on
    // them.
    _mm256_zeroupper();
    return position;
}

#endif

}  // namespace

const MixLoops portableMixLoops = {mixPlainPortable, mixRampPortable};

#if defined(__SSE2__) && defined(__x86_64__)
const MixLoops sse2MixLoops = {mixPlainSse2, mixRampSse2};
#else
const MixLoops sse2MixLoops = {nullptr, nullptr};
#endif

const MixLoops& avx2MixLoops() {
    static const MixLoops none = {nullptr, nullptr};
#if defined(MIX_LOOPS_AVX2)
    // Ramps are bound by the chain of gain additions, one a frame, so eight lanes would not
    // mix them faster: they keep the SSE2 loop.
    static const MixLoops avx2 = {mixPlainAvx2, mixRampSse2};
    __builtin_cpu_init();
    if (__builtin_cpu_supports("avx2")) return avx2;
#endif
    return none;
}

const MixLoops& fastestMixLoops() {
    if (avx2MixLoops().plain) return avx2MixLoops();
    if (sse2MixLoops.plain) return sse2MixLoops;
    return portableMixLoops;
}
