// The player record's life, the tick driver with its end-of-song check, and the mixing of a
// tick's frames on the block grid.
#include "engine/player.h"

#include <cstdlib>
#include <cstring>

#include "engine/sequencer_internal.h"

void initPlayer(Player& player, int32_t sampleRate) {
    player.mixLoops = &fastestMixLoops();
    player.repeats = kRepeatForever;
    fillVibratoSine(player.vibratoSine);
    fillAutoVibratoSine(player.autoVibratoSine);
    setPlayerRate(player, sampleRate);
}

Player* createPlayer(int32_t sampleRate) {
    Player* player = static_cast<Player*>(std::calloc(1, sizeof(Player)));
    if (player) initPlayer(*player, sampleRate);
    return player;
}

void freePlayer(Player* player) {
    std::free(player);
}

void setPlayerRate(Player& player, int32_t sampleRate) {
    player.sampleRate = sampleRate;
    player.blockFrames = blockFramesAt(sampleRate);
    player.rampFrames = rampFramesAt(sampleRate);
    player.rampReciprocal = 1.0f / static_cast<float>(player.rampFrames);
    clearVoices(player);
}

void startSong(Player& player, const Module* module) {
    player.module = module;
    player.framesMixed = 0;
    std::memset(player.ordersPlayed, 0, sizeof player.ordersPlayed);
    player.ordersPlayed[0] = true;
    player.loops = 0;
    player.tickReturned = false;
    player.ended = false;
    if (module) resetPlayback(player);
}

int32_t setTempo(Player& player, int32_t tempo) {
    if (tempo < 1) tempo = 1;
    player.bpm = tempo;
    const double frames = (1000.0f / (static_cast<double>(tempo) * static_cast<double>(0.4f))) *
                          static_cast<double>(player.sampleRate) * static_cast<double>(0.001f);
    player.samplesPerTick = frames >= 1.0 ? static_cast<int32_t>(frames) : 1;
    return player.samplesPerTick;
}

bool advanceTick(Player& p) {
    if (p.tickSamplesLeft > 0 || !p.module) return false;
    // A tick 0 with an order position decided enters that position: the song returns when it
    // was played before.
    const bool entersOrder = p.tick == 0 && p.nextOrder >= 0;
    const int32_t tick = p.tick;
    playTick(p);
    if (p.tickListener) p.tickListener(p, p.tickListenerUser);
    // Read after the tick: a tempo change made by the tick governs its own length.
    p.tickSamplesLeft = p.samplesPerTick > 0 ? p.samplesPerTick : 1;

    const Pattern* pattern = patternAt(p.module, p.orderIndex);
    p.playing = TickPosition{p.orderIndex, pattern ? p.module->orderTable[p.orderIndex] : -1,
                             p.row,        tick,
                             p.speed,      p.bpm,
                             tick == 0};
    p.tickReturned = false;
    if (entersOrder && p.orderIndex >= 0 && p.orderIndex < 256) {
        if (p.ordersPlayed[p.orderIndex]) {
            // A new round starts here: the next return is the next time round.
            p.tickReturned = true;
            p.loops += 1;
            std::memset(p.ordersPlayed, 0, sizeof p.ordersPlayed);
            if (p.repeats != kRepeatForever && p.loops > p.repeats) p.ended = true;
        }
        p.ordersPlayed[p.orderIndex] = true;
    }
    return true;
}

int32_t framesBeforeNextLine(const Player& p) {
    const int32_t toLine =
        p.blockFrames - static_cast<int32_t>(p.framesMixed % static_cast<int64_t>(p.blockFrames));
    return p.tickSamplesLeft < toLine ? p.tickSamplesLeft : toLine;
}

int32_t mixTickFrames(Player& p, float* out, int32_t frameCount) {
    int32_t n = framesBeforeNextLine(p);
    if (n > frameCount) n = frameCount;
    if (n <= 0) return 0;
    mixVoices(p, out, n);
    p.tickSamplesLeft -= n;
    p.framesMixed += n;
    return n;
}

int64_t measureSong(const Module* module, int32_t sampleRate, int64_t limitFrames,
                    int64_t limitTicks, int64_t* firstFrames) {
    if (firstFrames) {
        for (int32_t i = 0; i < 256; ++i)
            firstFrames[i] = -1;
    }
    if (!module) return -1;
    Player* p = createPlayer(sampleRate);
    if (!p) return -1;
    p->repeats = 0;
    startSong(*p, module);
    if (firstFrames) firstFrames[0] = 0;
    // The sequencer alone: the voices it sets up are never mixed, which changes no position.
    int64_t frame = 0;
    int64_t length = -1;
    for (int64_t ticks = 0; ticks < limitTicks && frame < limitFrames; ++ticks) {
        advanceTick(*p);
        if (p->ended) {
            length = frame;
            break;
        }
        if (firstFrames && p->playing.startsRow && p->orderIndex >= 0 && p->orderIndex < 256 &&
            firstFrames[p->orderIndex] < 0) {
            firstFrames[p->orderIndex] = frame;
        }
        frame += p->tickSamplesLeft;
        p->tickSamplesLeft = 0;
    }
    freePlayer(p);
    return length;
}
