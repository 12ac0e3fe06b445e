#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/mixer.h"
#include "engine/player.h"

namespace {

// A sample laid out as the loader lays it out: its values, then 8 values that are zero but
// for the loop guard. The data is allocated to the value, so that AddressSanitizer sees any
// read beyond it.
struct TestSample {
    std::unique_ptr<int16_t[]> data;
    Sample sample = {};

    TestSample(const std::vector<int16_t>& values, uint8_t loopMode = kNoLoop,
               uint32_t loopStart = 0, uint32_t loopLength = 0)
        : data(new int16_t[values.size() + 8]()) {
        std::memcpy(data.get(), values.data(), values.size() * 2);
        sample.data = data.get();
        sample.length = uint32_t(values.size());
        sample.loopMode = loopMode;
        sample.bits = 16;
        sample.loopStart = loopMode == kNoLoop ? 0 : loopStart;
        sample.loopLength = loopMode == kNoLoop ? sample.length : loopLength;
        const uint32_t end = sample.loopStart + sample.loopLength;
        if (loopMode == kForwardLoop) data[end] = data[loopStart];
        if (loopMode == kPingPongLoop) data[end] = data[end - 1];
    }
};

// The player whose voices the tests mix, at 44100 Hz, and its voices.
Player& player() {
    static Player* const shared = createPlayer(44100);
    return *shared;
}
Voice& voiceAt(int32_t index) {
    return player().voices[index];
}

// The first N voices of the player, from or into an array.
template <size_t N>
void copyVoicesIn(const Voice (&from)[N]) {
    for (size_t i = 0; i < N; ++i)
        voiceAt(int32_t(i)) = from[i];
}
template <size_t N>
void copyVoicesOut(Voice (&to)[N]) {
    for (size_t i = 0; i < N; ++i)
        to[i] = voiceAt(int32_t(i));
}

std::vector<int16_t> ramp(int count, int scale) {
    std::vector<int16_t> v;
    for (int k = 0; k < count; ++k)
        v.push_back(int16_t((k * scale) % 30000 - 15000));
    return v;
}

class Mixer : public ::testing::Test {
  protected:
    void SetUp() override { clearVoices(player()); }
    // Voice 0 playing the sample at the given step and levels, already at those levels.
    Voice& play(const TestSample& t, double step, int left = 255, int right = 255) {
        Voice& v = voiceAt(0);
        v.sample = &t.sample;
        v.direction = kVoiceForward;
        setStep(v, step);
        v.leftLevel = left;
        v.rightLevel = right;
        v.currentLeft = left * 256;
        v.currentRight = right * 256;
        return v;
    }
    static void setStep(Voice& v, double step) {
        const int64_t fixed = int64_t(std::llround(step * 4294967296.0));
        v.stepWhole = int32_t(fixed >> 32);
        v.stepFraction = uint32_t(fixed);
    }
    // Mixes count frames in calls of at most piece frames; returns the frames.
    std::vector<float> mix(int count, int piece = 884) {
        std::vector<float> out(2 * size_t(count), 0.0f);
        for (int done = 0; done < count; done += piece) {
            mixVoices(player(), out.data() + 2 * done, std::min(piece, count - done));
        }
        return out;
    }
};

TEST_F(Mixer, OneShotAddsItsValuesAfterTheFadeInAndThenEnds) {
    const std::vector<int16_t> values = ramp(300, 97);
    TestSample t(values);
    Voice& v = play(t, 1.0, 255, 0);
    v.currentLeft = v.currentRight = 0;
    const std::vector<float> out = mix(400, 100);
    for (int k = 128; k < 300; ++k) {
        ASSERT_EQ(out[2 * k], float(values[k])) << k;
        ASSERT_EQ(out[2 * k + 1], 0.0f) << k;
    }
    for (int k = 300; k < 400; ++k)
        ASSERT_EQ(out[2 * k], 0.0f) << k;
    // During the fade-in, the gain grows by the same amount every frame.
    for (int k = 1; k < 128; ++k) {
        EXPECT_NEAR(out[2 * k] / values[k], k / 128.0, 1e-5) << k;
    }
    EXPECT_EQ(v.sample, nullptr);
    EXPECT_EQ(v.positionWhole, 0);
    EXPECT_EQ(v.positionFraction, 0u);
    EXPECT_EQ(v.currentLeft, 255 * 256);
}

TEST_F(Mixer, RampRisesLinearlyToItsLevelAcrossCalls) {
    TestSample t(std::vector<int16_t>(64, 10000), kForwardLoop, 0, 64);
    Voice& v = play(t, 1.0, 255, 0);
    v.currentLeft = 0;
    std::vector<float> out = mix(64, 64);
    EXPECT_EQ(v.rampRemaining, 64);
    EXPECT_NEAR(v.currentLeft, 32640, 2);
    const std::vector<float> rest = mix(64 + 10, 30);
    out.insert(out.end(), rest.begin(), rest.end());
    for (int k = 0; k < 128; ++k)
        EXPECT_NEAR(out[2 * k], 10000.0 * k / 128, 0.05) << k;
    for (int k = 128; k < 138; ++k)
        EXPECT_EQ(out[2 * k], 10000.0f) << k;
    EXPECT_EQ(v.currentLeft, 65280);
    EXPECT_EQ(v.rampRemaining, 0);
    EXPECT_EQ(v.rampLeftDelta, 0.0f);
}

TEST_F(Mixer, ChangedLevelRestartsTheRampFromTheLevelReached) {
    TestSample t(std::vector<int16_t>(16, 10000), kForwardLoop, 0, 16);
    Voice& v = play(t, 1.0, 255, 0);
    v.currentLeft = 0;
    mix(64);
    const int32_t reached = v.currentLeft;
    v.leftLevel = 0;
    const std::vector<float> out = mix(200, 50);
    // A new ramp of the full length from the level reached, by the whole levels it lies
    // apart from the new one; it ends exactly on the new level.
    const double start = reached / 256.0 / 255.0;
    const double delta = (reached >> 8) / 255.0 / 128.0;
    for (int k = 0; k < 128; ++k) {
        EXPECT_NEAR(out[2 * k], 10000 * (start - k * delta), 0.05) << k;
    }
    for (int k = 128; k < 200; ++k)
        EXPECT_EQ(out[2 * k], 0.0f) << k;
    EXPECT_EQ(v.currentLeft, 0);
}

TEST_F(Mixer, LevelEqualToTheWholeCurrentLevelStartsNoRamp) {
    TestSample t(std::vector<int16_t>(8, 255), kForwardLoop, 0, 8);
    Voice& v = play(t, 1.0, 100, 7);
    v.currentLeft = 100 * 256 + 200;  // 100.78
    v.currentRight = 7 * 256 + 3;
    const std::vector<float> out = mix(10);
    EXPECT_EQ(v.rampRemaining, 0);
    EXPECT_EQ(out[0], 255 * (100.0f / 255.0f));
    EXPECT_EQ(out[1], 255 * (7.0f / 255.0f));
    EXPECT_EQ(v.currentLeft, 100 * 256 + 200);
}

TEST_F(Mixer, ForwardLoopOf83ValuesRepeatsEvery83Frames) {
    const std::vector<int16_t> values = ramp(83, 331);
    TestSample t(values, kForwardLoop, 0, 83);
    play(t, 1.0);
    const std::vector<float> out = mix(83 * 20);
    for (int k = 0; k < 83 * 20; ++k)
        ASSERT_EQ(out[2 * k], float(values[k % 83])) << k;
    EXPECT_EQ(voiceAt(0).positionWhole, 0);
}

TEST_F(Mixer, FractionalStepInterpolatesTowardTheLoopStartAcrossTheEnd) {
    const std::vector<int16_t> values = ramp(83, 331);
    TestSample t(values, kForwardLoop, 0, 83);
    play(t, 0.5);
    const std::vector<float> out = mix(83 * 2 * 3);
    // Frame 165 sits at 82.5, between the last value and the guard copy of the first.
    const float a = values[82], b = values[0];
    EXPECT_EQ(out[2 * 165], a + 0.5f * (b - a));
    EXPECT_EQ(out[2 * 166], float(values[0]));
    EXPECT_EQ(out[2 * (166 + 165)], a + 0.5f * (b - a));
}

TEST_F(Mixer, PingPongLoopTurnsAtBothEndsForALongTime) {
    std::vector<int16_t> values = ramp(20, 1777);
    const uint32_t start = 5, length = 9;
    TestSample t(values, kPingPongLoop, start, length);
    const double step = 0.7071;
    Voice& v = play(t, step);
    v.positionWhole = 7;
    const int frames = 200000;
    const std::vector<float> out = mix(frames);
    // The ideal path, about 15700 turns long: the unfolded position reflected into
    // [start, end].
    const int64_t fixedStep = std::llround(step * 4294967296.0);
    for (int k = 0; k < frames; ++k) {
        const int64_t unfolded = (int64_t{7} << 32) + k * fixedStep - (int64_t{start} << 32);
        const int64_t period = int64_t{2 * length} << 32;
        int64_t u = unfolded % period;
        const int64_t position = (int64_t{start} << 32) + (u < (period / 2) ? u : period - u);
        const int32_t whole = int32_t(position >> 32);
        const float f = float(uint32_t(position) >> 1) * (1.0f / 2147483648.0f);
        const float a = t.data[whole];
        const float b = t.data[whole + 1];
        ASSERT_NEAR(out[2 * k], a + f * (b - a), 1.0) << k;
    }
    EXPECT_GE(v.positionWhole, int32_t(start) - 1);
    EXPECT_LE(v.positionWhole, int32_t(start + length));
}

TEST_F(Mixer, PositionAHairShortOfTheLoopEndMovesOn) {
    // 92 / 2^32 values short of the end: the 24-bit boundary division gives 0 frames, after
    // which the forward loop rule would leave the position where it is.
    TestSample t({5, 6, 7, 8}, kForwardLoop, 0, 4);
    Voice& v = play(t, 4.27);
    v.positionWhole = 3;
    v.positionFraction = 0xFFFFFFFFu - 91;
    const std::vector<float> out = mix(1024);
    EXPECT_EQ(out[0], 8.0f + (5.0f - 8.0f) * (float(0x7FFFFFFF - 45) / 2147483648.0f));
    EXPECT_NE(out[2 * 1023], 0.0f);
    TestSample p({5, 6, 7, 8}, kPingPongLoop, 1, 3);
    Voice& w = play(p, 0.5);
    w.positionWhole = 1;
    w.positionFraction = 50;  // just past the loop start, moving backward
    w.direction = kVoiceBackward;
    mix(1024);
    EXPECT_GE(w.positionWhole, 0);
}

TEST_F(Mixer, StepOfTwoOverFiveValuesEndsAfterThreeFrames) {
    TestSample t({100, 200, 300, 400, 500});
    play(t, 2.0);
    const std::vector<float> out = mix(6);
    EXPECT_EQ(out[0], 100.0f);
    EXPECT_EQ(out[2], 300.0f);
    EXPECT_EQ(out[4], 500.0f);
    EXPECT_EQ(out[6], 0.0f);
    EXPECT_EQ(voiceAt(0).sample, nullptr);
}

TEST_F(Mixer, OnlyTheFirst64VoicesAreMixedAndNothingForNoFrames) {
    TestSample t({1000, 1000, 1000, 1000}, kForwardLoop, 0, 4);
    play(t, 1.0);
    voiceAt(64) = voiceAt(0);
    voiceAt(0).sample = nullptr;
    EXPECT_EQ(mix(4)[0], 0.0f);
    voiceAt(63) = voiceAt(64);
    EXPECT_EQ(mix(4)[0], 1000.0f);
    float frame[2] = {0, 0};
    mixVoices(player(), frame, 0);
    EXPECT_EQ(voiceAt(63).positionWhole, 0);
    EXPECT_EQ(voiceAt(63).positionFraction, 0u);
}

TEST_F(Mixer, EmptySampleEndsTheVoiceAtOnce) {
    voiceAt(5).sample = emptySample();
    voiceAt(5).leftLevel = 255;
    const std::vector<float> out = mix(10);
    for (float f : out)
        EXPECT_EQ(f, 0.0f);
    EXPECT_EQ(voiceAt(5).sample, nullptr);
}

// The cases a sequencer never produces: the voice must stay inside its data (AddressSanitizer
// watches the reads) and the mixer must not hang.
TEST_F(Mixer, NegativePositionsPlayFromTheStart) {
    TestSample t({10, 20, 30, 40});
    Voice& v = play(t, 1.0);
    v.positionWhole = -3;
    const std::vector<float> out = mix(5);
    EXPECT_EQ(out[0], 10.0f);
    EXPECT_EQ(out[2], 20.0f);
    EXPECT_EQ(out[6], 40.0f);
    EXPECT_EQ(out[8], 0.0f);
    Voice& w = play(t, 1.0);
    w.positionWhole = std::numeric_limits<int32_t>::min();
    w.direction = kVoiceBackward;
    mix(10);
}

TEST_F(Mixer, StepOfZeroHoldsTheVoice) {
    TestSample t({10, 20, 30, 40}, kForwardLoop, 0, 4);
    Voice& v = play(t, 0.0);
    v.positionWhole = 2;
    const std::vector<float> out = mix(50);
    for (int k = 0; k < 50; ++k)
        EXPECT_EQ(out[2 * k], 30.0f);
    EXPECT_EQ(v.positionWhole, 2);
    v.stepWhole = -5;  // negative: held as well
    EXPECT_EQ(mix(3)[4], 30.0f);
    v.stepWhole = 0;
    v.stepFraction = 100;  // below the 24 fractional bits of the boundary division
    mix(10000);
    EXPECT_EQ(v.positionWhole, 2);
}

TEST_F(Mixer, HugeStepsStayInsideTheData) {
    for (uint8_t mode : {kNoLoop, kForwardLoop, kPingPongLoop}) {
        for (int32_t whole : {255, 256, 300, 70000, 0x7FFFFFFF}) {
            TestSample t(ramp(37, 1000), mode, 3, 30);
            Voice& v = play(t, 0.0);
            v.stepWhole = whole;
            v.stepFraction = 0xFFFFFFFF;
            mix(5000, 1000);
            if (v.sample) {
                EXPECT_GE(v.positionWhole, 0);
                EXPECT_LE(v.positionWhole, 37);
            }
        }
    }
}

TEST_F(Mixer, PingPongReflectionsNeverLandBelowTheData) {
    // A loop that starts at value 0, played at steps whose boundary counts round either way.
    for (double step : {0.3, 0.999999, 1.0000001, 2.5, 7.77, 13.0}) {
        TestSample t({100, 200, 300, 400, 500, 600}, kPingPongLoop, 0, 4);
        Voice& v = play(t, step);
        for (int call = 0; call < 200; ++call) {
            mix(97);
            ASSERT_NE(v.sample, nullptr);
            ASSERT_GE(v.positionWhole, 0) << step;
            ASSERT_LE(v.positionWhole, 4 + int(step) + 1) << step;
        }
    }
}

TEST_F(Mixer, PingPongMirrorsABackwardOvershootBelowValueZero) {
    // A backward step that carries the position below value 0 is mirrored at the loop start
    // like any other overshoot: 2 × start − position − 2^-32, exactly.
    const float fraction = float(0x3FFFFFFFu >> 1) * (1.0f / 2147483648.0f);
    {
        TestSample t({100, 200, 300, 400, 500, 600}, kPingPongLoop, 0, 4);
        Voice& v = play(t, 0.75);
        v.positionWhole = 0;
        v.positionFraction = 0x80000000u;  // 0.5, moving backward: next at -0.25
        v.direction = kVoiceBackward;
        const std::vector<float> out = mix(2);
        EXPECT_EQ(out[2], 100.0f + fraction * (200.0f - 100.0f));  // at 0.25 - 2^-32
        EXPECT_EQ(v.direction, 1);
        EXPECT_EQ(v.positionWhole, 0);
        EXPECT_EQ(v.positionFraction, 0x3FFFFFFFu + 0xC0000000u);
    }
    {
        TestSample t({100, 200, 300, 400, 500, 600}, kPingPongLoop, 1, 3);
        Voice& v = play(t, 1.5);
        v.positionWhole = 1;
        v.positionFraction = 0x40000000u;  // 1.25, moving backward: next at -0.25
        v.direction = kVoiceBackward;
        const std::vector<float> out = mix(2);
        EXPECT_EQ(out[2], 300.0f + fraction * (400.0f - 300.0f));  // at 2.25 - 2^-32
        EXPECT_EQ(v.direction, 1);
        EXPECT_EQ(v.positionWhole, 3);
        EXPECT_EQ(v.positionFraction, 0xBFFFFFFFu);
    }
}

TEST_F(Mixer, PositionsFarOutsideTheLoopAreFoldedBackAtOnce) {
    TestSample t(ramp(50, 100), kPingPongLoop, 10, 3);
    Voice& v = play(t, 1.0);
    v.positionWhole = 0x7FFFFF00;  // far beyond the data, moving forward
    mix(1000);
    EXPECT_GE(v.positionWhole, 9);
    EXPECT_LE(v.positionWhole, 13);
    v.positionWhole = 0x40000000;
    v.direction = kVoiceBackward;  // moving backward from beyond the data: the voice ends
    mix(10);
    EXPECT_EQ(v.sample, nullptr);
}

TEST_F(Mixer, InconsistentSamplesEndTheVoice) {
    TestSample beyond({1, 2, 3, 4}, kForwardLoop, 2, 2);
    beyond.sample.loopLength = 5;  // past the data
    play(beyond, 1.0);
    mix(10);
    EXPECT_EQ(voiceAt(0).sample, nullptr);
    TestSample empty({1, 2, 3, 4}, kForwardLoop, 2, 2);
    empty.sample.loopLength = 0;
    play(empty, 1.0);
    mix(10);
    EXPECT_EQ(voiceAt(0).sample, nullptr);
    // A forward loop met moving backward turns forward at its start.
    TestSample forward({1, 2, 3, 4, 5, 6}, kForwardLoop, 2, 3);
    Voice& v = play(forward, 1.0);
    v.positionWhole = 4;
    v.direction = kVoiceBackward;
    mix(3);
    EXPECT_EQ(v.direction, 1);
    EXPECT_GE(v.positionWhole, 2);
}

// Random voices over samples of every kind: positions inside, at and beyond the data, steps
// from none to the largest, both directions, levels of 0, odd and negative, ramps running,
// starting and ending. Mixed in calls of random length, with levels changed between calls.
int64_t pick(std::mt19937& random, int64_t low, int64_t high) {
    return std::uniform_int_distribution<int64_t>(low, high)(random);
}

void setRandomLevels(Voice& v, std::mt19937& random) {
    const int64_t kind = pick(random, 0, 5);
    v.leftLevel = kind == 0 ? 0 : int32_t(pick(random, -20, 400));
    v.rightLevel = kind == 0 ? 0 : kind == 1 ? v.leftLevel : int32_t(pick(random, 0, 255));
}

struct RandomVoices {
    std::vector<std::unique_ptr<TestSample>> samples;
    Voice voices[kMixedVoiceCount];
    std::mt19937 random;

    int64_t pick(int64_t low, int64_t high) { return ::pick(random, low, high); }

    explicit RandomVoices(uint32_t seed) : random(seed) {
        for (int s = 0; s < 12; ++s) {
            const int length = s == 0 ? 1 : int(pick(1, s < 6 ? 40 : 5000));
            std::vector<int16_t> values(static_cast<size_t>(length));
            for (int16_t& x : values)
                x = int16_t(pick(-32768, 32767));
            const uint8_t mode = s % 3 == 0 ? kNoLoop : s % 3 == 1 ? kForwardLoop : kPingPongLoop;
            const uint32_t start = uint32_t(pick(0, length - 1));
            samples.push_back(std::make_unique<TestSample>(values, mode, start,
                                                           uint32_t(pick(1, length - start))));
        }
        for (Voice& v : voices) {
            v = Voice{};
            if (pick(0, 9) == 0) continue;
            const Sample& s = samples[size_t(pick(0, 11))]->sample;
            v.sample = &s;
            v.positionWhole = int32_t(pick(-3, int64_t(s.length) + 10));
            v.positionFraction = uint32_t(random());
            const int64_t kind = pick(0, 9);
            v.stepWhole = kind < 5 ? 0 : kind < 8 ? int32_t(pick(1, 4)) : int32_t(pick(-1, 400));
            v.stepFraction = kind == 4 ? 0 : uint32_t(random());
            v.direction = pick(0, 3) == 0 ? kVoiceBackward : kVoiceForward;
            setRandomLevels(v, random);
            v.currentLeft = int32_t(pick(-300, 300) * 256 + pick(0, 255));
            v.currentRight = int32_t(pick(0, 255) * 256);
            if (pick(0, 1)) {  // a ramp already running toward the wanted levels
                v.rampLeftTarget = v.leftLevel;
                v.rampRightTarget = v.rightLevel;
                v.rampRemaining = int32_t(pick(1, 128));
                v.rampLeftDelta = float(pick(-1000, 1000)) / 65536.0f;
                v.rampRightDelta = float(pick(-1000, 1000)) / 65536.0f;
            }
        }
    }
    // The frames mixed by the loops given, starting from these voices; the voices' state is
    // left in the player. Unmixed, the voices only move on and the frames stay silent.
    std::vector<float> mixWith(const MixLoops& loops, uint32_t seed, bool unmixed = false) {
        copyVoicesIn(voices);
        useMixLoops(player(), loops);
        std::mt19937 calls(seed);
        std::vector<float> out(2 * 20000, 0.0f);
        for (size_t done = 0; done < 20000;) {
            const size_t n = std::min<size_t>(20000 - done, calls() % 700 + 1);
            mixVoices(player(), unmixed ? nullptr : out.data() + 2 * done, int32_t(n));
            done += n;
            for (int i = 0; i < kVoiceCount; ++i)
                if (calls() % 4 == 0) setRandomLevels(voiceAt(i), calls);
        }
        useMixLoops(player(), fastestMixLoops());
        return out;
    }
};

// Voices 0..63 of the player against a.
void expectSameVoices(const Voice* a) {
    for (int i = 0; i < kMixedVoiceCount; ++i) {
        SCOPED_TRACE(i);
        const Voice& b = voiceAt(i);
        EXPECT_EQ(a[i].sample, b.sample);
        EXPECT_EQ(a[i].positionWhole, b.positionWhole);
        EXPECT_EQ(a[i].positionFraction, b.positionFraction);
        EXPECT_EQ(a[i].direction, b.direction);
        EXPECT_EQ(a[i].currentLeft, b.currentLeft);
        EXPECT_EQ(a[i].currentRight, b.currentRight);
        EXPECT_EQ(a[i].rampRemaining, b.rampRemaining);
    }
}

TEST_F(Mixer, SimdLoopsGiveTheBytesOfThePortableLoops) {
    const std::pair<const char*, const MixLoops*> simd[] = {{"SSE2", &sse2MixLoops},
                                                            {"AVX2", &avx2MixLoops()}};
    for (const auto& [name, loops] : simd) {
        if (!loops->plain) {
            std::printf("no %s loops in this build or processor\n", name);
            continue;
        }
        for (uint32_t seed = 1; seed <= 40; ++seed) {
            SCOPED_TRACE(std::string(name) + " seed " + std::to_string(seed));
            RandomVoices set(seed);
            const std::vector<float> portable = set.mixWith(portableMixLoops, seed);
            Voice portableVoices[kMixedVoiceCount];
            copyVoicesOut(portableVoices);
            const std::vector<float> fast = set.mixWith(*loops, seed);
            ASSERT_EQ(std::memcmp(portable.data(), fast.data(), portable.size() * sizeof(float)),
                      0);
            expectSameVoices(portableVoices);
        }
    }
}

// A voice at level 0 is not mixed, only moved on: it must arrive where an audible one does.
TEST_F(Mixer, SilentVoicesMoveAsAudibleOnesDo) {
    for (uint32_t seed = 100; seed < 110; ++seed) {
        SCOPED_TRACE(seed);
        RandomVoices set(seed);
        for (Voice& v : set.voices) {
            v.rampRemaining = 0;
            v.leftLevel = v.rightLevel = v.currentLeft = v.currentRight = 0;
        }
        copyVoicesIn(set.voices);
        std::vector<float> out = mix(5000, 613);
        EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](float x) { return x == 0.0f; }));
        Voice silent[kMixedVoiceCount];
        copyVoicesOut(silent);
        for (Voice& v : set.voices) {
            v.leftLevel = 1;
            v.currentLeft = 256;
        }
        copyVoicesIn(set.voices);
        mix(5000, 613);
        for (int i = 0; i < kVoiceCount; ++i)
            voiceAt(i).currentLeft = 0;
        expectSameVoices(silent);
    }
}

// Voices moved on without mixing, as a seek and a muted channel move them, arrive where mixed
// ones do: loops, turns, ends and ramps alike.
TEST_F(Mixer, UnmixedVoicesMoveAsMixedOnesDo) {
    for (uint32_t seed = 200; seed < 220; ++seed) {
        SCOPED_TRACE(seed);
        RandomVoices set(seed);
        set.mixWith(fastestMixLoops(), seed);
        Voice mixed[kMixedVoiceCount];
        copyVoicesOut(mixed);
        const std::vector<float> out = set.mixWith(fastestMixLoops(), seed, true);
        EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](float x) { return x == 0.0f; }));
        expectSameVoices(mixed);
    }
}

// A muted channel's two voices (i and i + 32) add nothing; the others sound as before.
TEST_F(Mixer, MutedChannelsAreNotHeard) {
    const std::vector<int16_t> values = ramp(500, 31);
    TestSample t(values, kForwardLoop, 0, 500);
    play(t, 0.75);
    voiceAt(35) = voiceAt(0);
    const std::vector<float> both = mix(1000);
    clearVoices(player());
    play(t, 0.75);
    const std::vector<float> alone = mix(1000);
    clearVoices(player());
    play(t, 0.75);
    voiceAt(35) = voiceAt(0);
    player().mutedChannels = 1u << 3;
    const std::vector<float> muted = mix(1000);
    player().mutedChannels = 0;
    EXPECT_NE(both, alone);
    EXPECT_EQ(muted, alone);
}

TEST(Pcm16, RoundsHalvesToEvenAndClips) {
    const float in[] = {32767.5f,
                        -40000.0f,
                        2.5f,
                        3.5f,
                        -2.5f,
                        -3.5f,
                        0.49999997f,
                        -0.5f,
                        40000.0f,
                        -32768.5f,
                        1.5f,
                        32766.5f,
                        std::numeric_limits<float>::infinity(),
                        -std::numeric_limits<float>::infinity(),
                        std::numeric_limits<float>::quiet_NaN(),
                        0.0f};
    const int16_t expected[] = {32767, -32768, 2, 4,     -2,    -4,     0,      0,
                                32767, -32768, 2, 32766, 32767, -32768, -32768, 0};
    int16_t out[16];
    std::fill(std::begin(out), std::end(out), int16_t(123));
    convertToPcm16(out, in, 8);
    for (int k = 0; k < 16; ++k)
        EXPECT_EQ(out[k], expected[k]) << k;
    int16_t untouched = 9;
    convertToPcm16(&untouched, in, 0);
    convertToPcm16(nullptr, in, 1);
    convertToPcm16(&untouched, nullptr, 1);
    EXPECT_EQ(untouched, 9);
}

// The conversion as first written: clip, then round halves to even.
int16_t clippedThenRounded(float x) {
    x = x > 32767.0f ? 32767.0f : x;
    x = x >= -32768.0f ? x : -32768.0f;
    return static_cast<int16_t>((x + 12582912.0f) - 12582912.0f);
}

TEST(Pcm16, EqualsClippingThenRoundingForFloatsOfEveryKind) {
    // A spread of bit patterns over every exponent and sign (NaNs and infinities included),
    // and every half step across the 16-bit range and beyond its limits.
    std::vector<float> in;
    for (uint64_t bits = 0; bits < (uint64_t{1} << 32); bits += 65537) {
        float x;
        const uint32_t b = uint32_t(bits);
        std::memcpy(&x, &b, 4);
        in.push_back(x);
    }
    for (int32_t h = -2 * 33000; h <= 2 * 33000; ++h)
        in.push_back(float(h) * 0.5f);
    if (in.size() % 2) in.push_back(0.0f);
    std::vector<int16_t> out(in.size());
    convertToPcm16(out.data(), in.data(), int32_t(in.size() / 2));
    for (size_t k = 0; k < in.size(); ++k)
        ASSERT_EQ(out[k], clippedThenRounded(in[k])) << in[k];
}

}  // namespace
