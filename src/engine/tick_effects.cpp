// The ticks after tick 0 of a row: envelope and fade-out steps, the sliding half of the volume
// column and the running half of every effect, with the waveform steps they share with tick 0.
#include <cmath>

#include "engine/player.h"
#include "engine/sequencer.h"
#include "engine/sequencer_internal.h"

namespace {

// Vibrato and tremolo waveforms at phase p (-32..31), 0..255.
int32_t sineAt(int32_t p) {
    // The constant is the single-precision number just below pi/64, so the peak is 255.
    const float angle = static_cast<float>(2 * p) * 0.049087375f;
    return static_cast<int32_t>(std::fabs(std::sin(static_cast<double>(angle)) * 256.0));
}

// The same from the player's table of the 64 phases.
int32_t sineWave(const Player& player, int32_t p) {
    return p >= -32 && p < 32 ? player.vibratoSine[p + 32] : sineAt(p);
}

int32_t rampWave(int32_t p) {
    const int32_t b = static_cast<uint8_t>(8 * p);
    return p >= 0 ? b : 255 - b;
}

// Moves a vibrato or tremolo phase on through -32..31.
int8_t advancePhase(int8_t position, uint8_t speed) {
    int32_t p = static_cast<int8_t>(static_cast<uint8_t>(position + speed));
    if (p > 31) p -= 64;
    return static_cast<int8_t>(p);
}

void advanceVibrato(Channel& c) {
    c.vibratoPos = advancePhase(c.vibratoPos, c.vibratoSpeed);
}

void volumeSlide(Channel& c, uint8_t memory) {
    const int32_t up = memory >> 4;
    if (up != 0) {
        raiseVolume(c, up);
    } else {
        lowerVolume(c, memory & 0x0F);
    }
}

int32_t retriggeredVolume(int32_t volume, uint8_t mode) {
    switch (mode) {
        case 1:
            return volume - 1;
        case 2:
            return volume - 2;
        case 3:
            return volume - 4;
        case 4:
            return volume - 8;
        case 5:
            return volume - 16;
        case 6:
            return 2 * volume / 3;
        case 7:
            return volume >> 1;
        case 9:
            return volume + 1;
        case 10:
            return volume + 2;
        case 11:
            return volume + 4;
        case 12:
            return volume + 8;
        case 13:
            return volume + 16;
        case 14:
            return 3 * volume / 2;
        case 15:
            return 2 * volume;
        default:
            return volume;  // 8 (and 0, which never gets here)
    }
}

void multiRetrig(const Player& p, Channel& c) {
    if (c.retrigInterval == 0 || p.tick % c.retrigInterval != 0) return;
    if (c.retrigVolumeMode == 0) {
        c.updateFlags |= StartNote;
        return;
    }
    int32_t volume = retriggeredVolume(c.volume, c.retrigVolumeMode);
    if (volume < 0) volume = 0;
    if (volume > 64) volume = 64;
    c.volume = volume;
    c.updateFlags |= UpdateVolume | StartNote;
}

void arpeggio(const Player& p, Channel& c, const Sample& sample, uint8_t parameter) {
    const int32_t r = p.tick % 3;
    if (r != 0) {
        const uint8_t n = r == 1 ? parameter >> 4 : parameter & 0x0F;
        if (p.module->flags & kLinearFrequencies) {
            c.periodOffset = 64 * n;
        } else {
            const int8_t finetune = finetuneOf(p, sample);
            c.periodOffset = amigaPeriod(static_cast<uint8_t>(c.realNote + n), finetune) -
                             amigaPeriod(c.realNote, finetune);
        }
    }
    c.updateFlags |= UpdateFrequency;
}

void volumeColumnTick(const Player& p, Channel& c, uint8_t v) {
    const VolumeColumn column = readVolumeColumn(v);
    const uint8_t y = column.parameter;
    switch (column.command) {
        case VolumeCommand::SlideDown:
            lowerVolume(c, y);
            break;
        case VolumeCommand::SlideUp:
            raiseVolume(c, y);
            break;
        case VolumeCommand::Vibrato:
            c.vibratoDepth = y;
            vibrato(p, c);
            advanceVibrato(c);
            break;
        case VolumeCommand::PanningSlideLeft:
            slidePanning(c, -y);
            break;
        case VolumeCommand::PanningSlideRight:
            slidePanning(c, y);
            break;
        case VolumeCommand::TonePortamento:
            tonePortamento(c);
            break;
        default:  // the others act on tick 0 only
            break;
    }
}

void extendedTick(const Player& p, Channel& c, const Cell& cell, const Sample& sample) {
    const uint8_t x = cell.parameter >> 4;
    const uint8_t y = cell.parameter & 0x0F;
    switch (static_cast<ExtendedEffect>(x)) {
        case ExtendedEffect::Retrigger:
            if (y != 0 && p.tick % y == 0)
                c.updateFlags |= UpdateFrequency | UpdateVolume | StartNote;
            break;
        case ExtendedEffect::NoteCut:
            if (p.tick == y) {
                c.volume = 0;
                c.updateFlags |= UpdateVolume;
            }
            break;
        case ExtendedEffect::NoteDelay:
            if (p.tick == y) {
                resetInstrument(c, sample);
                c.period = c.notePeriod;
                c.updateFlags |= UpdateFrequency;
                if (cell.volume != 0) applyVolumeColumn(c, cell.volume);
                c.updateFlags |= StartNote;
            } else {
                c.updateFlags &= static_cast<uint8_t>(~kVoiceRequests);
            }
            break;
        default:
            break;
    }
}

void tickEffect(Player& p, Channel& c, const Cell& cell, const Sample& sample) {
    const uint8_t parameter = cell.parameter;
    switch (static_cast<Effect>(cell.effect)) {
        case Effect::Arpeggio:
            if (parameter != 0) arpeggio(p, c, sample, parameter);
            break;
        case Effect::PortamentoUp:
            c.period = limitPeriod(int64_t{c.period} - 4 * c.portaUpMemory);
            c.periodOffset = 0;
            if (c.period < 56) c.period = 56;
            c.updateFlags |= UpdateFrequency;
            break;
        case Effect::PortamentoDown:
            c.period = limitPeriod(int64_t{c.period} + 4 * c.portaDownMemory);
            c.periodOffset = 0;
            c.updateFlags |= UpdateFrequency;
            break;
        case Effect::TonePortamento:
            c.periodOffset = 0;
            tonePortamento(c);
            break;
        case Effect::Vibrato:
            vibrato(p, c);
            advanceVibrato(c);
            break;
        case Effect::TonePortamentoVolumeSlide:
            c.periodOffset = 0;
            tonePortamento(c);
            volumeSlide(c, c.volumeSlideMemory);
            break;
        case Effect::VibratoVolumeSlide:
            vibrato(p, c);
            advanceVibrato(c);
            volumeSlide(c, c.volumeSlideMemory);
            break;
        case Effect::Tremolo:
            tremolo(p, c);
            break;
        case Effect::VolumeSlide:
            volumeSlide(c, c.volumeSlideMemory);
            break;
        case Effect::Extended:
            extendedTick(p, c, cell, sample);
            break;
        case Effect::GlobalVolumeSlide: {
            const uint8_t memory = p.globalVolumeSlideMemory;
            if (memory >> 4) {
                p.globalVolume += memory >> 4;
                if (p.globalVolume > 64) p.globalVolume = 64;
            } else {
                p.globalVolume -= memory & 0x0F;
                if (p.globalVolume < 0) p.globalVolume = 0;
            }
            break;
        }
        case Effect::PanningSlide: {
            const uint8_t memory = c.panningSlideMemory;
            if (memory >> 4) {
                c.panning += memory >> 4;
                if (c.panning > 255) c.panning = 255;
            } else {
                c.panning -= memory & 0x0F;
                if (c.panning < 0) c.panning = 0;
            }
            c.updateFlags |= UpdatePanning;
            break;
        }
        case Effect::MultiRetrig:
            multiRetrig(p, c);
            break;
        case Effect::Tremor:
            tremor(c);
            break;
        default:
            break;
    }
}

}  // namespace

void fadeOut(Channel& c, const Instrument& instrument) {
    c.fadeoutVolume -= instrument.fadeout;
    if (c.fadeoutVolume < 0) c.fadeoutVolume = 0;
    c.updateFlags |= UpdateVolume;
}

void tonePortamento(Channel& c) {
    const int32_t speed = 4 * c.portaSpeed;
    if (c.period < c.portaTarget) {
        c.period = c.portaTarget - c.period > speed ? c.period + speed : c.portaTarget;
    } else if (c.period > c.portaTarget) {
        c.period = c.period - c.portaTarget > speed ? c.period - speed : c.portaTarget;
    }
    c.updateFlags |= UpdateFrequency;
}

void fillVibratoSine(int32_t* table) {
    for (int32_t q = -32; q < 32; ++q)
        table[q + 32] = sineAt(q);
}

void vibrato(const Player& player, Channel& c) {
    const int32_t p = c.vibratoPos;
    int32_t value = 255;  // square: waveforms 2 and 3
    switch (c.waveControl & 0x03) {
        case 0:
            value = sineWave(player, p);
            break;
        case 1:
            value = rampWave(p);
            break;
        default:
            break;
    }
    const int32_t m = (value * c.vibratoDepth >> 5) & ~3;
    c.periodOffset = p >= 0 ? -m : m;
    c.updateFlags |= UpdateFrequency;
}

void tremolo(const Player& player, Channel& c) {
    const int32_t p = c.tremoloPos;
    int32_t value = 0;
    switch ((c.waveControl >> 4) & 0x03) {
        case 1:
            value = rampWave(p);
            break;
        case 2:
            value = 255;
            break;
        default:
            value = sineWave(player, p);
            break;  // 0 and 3
    }
    int32_t offset = value * c.tremoloDepth >> 6;
    if (p >= 0) {
        if (c.volume + offset > 64) offset = 64 - c.volume;
    } else {
        if (c.volume - offset < 0) offset = c.volume;
        offset = -offset;
    }
    c.volumeOffset = offset;
    c.tremoloPos = advancePhase(c.tremoloPos, c.tremoloSpeed);
    c.updateFlags |= UpdateVolume;
}

void tremor(Channel& c) {
    if (c.tremorCount >= c.tremorOn) c.volumeOffset = -c.volume;
    c.tremorCount += 1;
    // A count left beyond the cycle by an earlier, longer Txy starts the cycle again at once
    // rather than running on to 255 with the note muted.
    if (c.tremorCount >= c.tremorOn + c.tremorOff) c.tremorCount = 0;
    c.updateFlags |= UpdateVolume;
}

void processTickEffects(Player& p) {
    const Cell* cells = rowCells(p);
    if (!cells) return;
    const int32_t channels = activeChannels(p.module);
    for (int32_t i = 0; i < channels; ++i) {
        Channel& c = p.channels[i];
        const Cell& cell = cells[i];
        const InstrumentAndSample found = resolveInstrument(p.module, c);
        const Instrument& instrument = *found.instrument;
        const Sample& sample = *found.sample;

        c.volumeOffset = 0;
        c.periodOffset = 0;
        c.updateFlags = 0;
        stepEnvelopes(c, instrument);
        if (c.keyOff) fadeOut(c, instrument);
        volumeColumnTick(p, c, cell.volume);
        tickEffect(p, c, cell, sample);
        autoVibrato(p, c, instrument);
        updateVoice(p, c, sample);
    }
}
