// The tick driver and tick 0 of a row: the song position, the five fields of each cell, notes
// and instruments, the volume column and the tick-0 half of every effect.
#include <cstring>

#include "engine/mixer.h"
#include "engine/player.h"
#include "engine/sequencer.h"
#include "engine/sequencer_internal.h"

const Instrument emptyInstrument = {};

namespace {

bool isTonePortamento(Effect effect) {
    return effect == Effect::TonePortamento || effect == Effect::TonePortamentoVolumeSlide;
}

bool isNote(uint8_t note) {
    return note != 0 && note != kKeyOffNote;
}

// Notes C-0 to A#9, 0-based and moved by the sample's relative note, are the ones trackers
// play. Beyond them the periods wrap (realNote is a byte) or reach 0 and below, which would
// step the voice thousands of values a frame.
constexpr int32_t kHighestNote = 118;

bool isPlayable(int32_t realNote) {
    return realNote >= 0 && realNote <= kHighestNote;
}

void sampleOffset(Channel& c, const Sample& sample, uint8_t parameter) {
    if (parameter != 0) c.sampleOffsetMemory = parameter;
    const uint32_t offset = static_cast<uint32_t>(c.sampleOffsetMemory) * 256;
    if (offset < playEnd(sample)) {
        if (c.voice) c.voice->startOffset = static_cast<int32_t>(offset);
    } else {
        c.updateFlags = static_cast<uint8_t>((c.updateFlags & ~StartNote) | RewindVoice);
    }
}

// The channel's volume, period and panning before the row changed them: note delay puts
// them back until the delayed note starts.
struct KeptSound {
    int32_t volume;
    int32_t period;
    int32_t panning;
};

void extendedEffect(Player& p, Channel& c, const Sample& sample, const KeptSound& kept, uint8_t x,
                    uint8_t y) {
    switch (static_cast<ExtendedEffect>(x)) {
        case ExtendedEffect::FinePortamentoUp:
            if (y != 0) c.finePortaUpMemory = y;
            c.period = limitPeriod(int64_t{c.period} - 4 * c.finePortaUpMemory);
            break;
        case ExtendedEffect::FinePortamentoDown:
            if (y != 0) c.finePortaDownMemory = y;
            c.period = limitPeriod(int64_t{c.period} + 4 * c.finePortaDownMemory);
            break;
        case ExtendedEffect::VibratoWaveform:
            c.waveControl = static_cast<uint8_t>((c.waveControl & 0xF0) | y);
            break;
        case ExtendedEffect::SetFinetune:  // for every later note of the sample, on any channel
            if (sample.number >= 0) p.finetunes[sample.number] = static_cast<int8_t>(y);
            break;
        case ExtendedEffect::PatternLoop:
            if (y == 0) {
                c.loopRow = p.row;
            } else {
                if (c.loopCount == 0) {
                    c.loopCount = y;
                } else {
                    c.loopCount -= 1;
                }
                if (c.loopCount != 0) p.loopJumpRow = c.loopRow;
            }
            break;
        case ExtendedEffect::TremoloWaveform:
            c.waveControl = static_cast<uint8_t>((c.waveControl & 0x0F) | y << 4);
            break;
        case ExtendedEffect::SetPanning:
            c.panning = 16 * y;
            c.updateFlags |= UpdatePanning;
            break;
        case ExtendedEffect::FineVolumeUp:
            if (y != 0) c.fineVolumeMemory = y;
            raiseVolume(c, c.fineVolumeMemory);
            break;
        case ExtendedEffect::FineVolumeDown:
            if (y != 0) c.fineVolumeMemory = y;
            lowerVolume(c, c.fineVolumeMemory);
            break;
        case ExtendedEffect::NoteDelay:  // the old sound goes on until the note's tick
            c.volume = kept.volume;
            c.period = kept.period;
            c.panning = kept.panning;
            c.updateFlags &= static_cast<uint8_t>(~kVoiceRequests);
            break;
        case ExtendedEffect::PatternDelay:
            p.patternDelayTicks = p.speed * y;
            break;
        default:  // glissando control, retrigger, note cut and 0, F: nothing at tick 0
            break;
    }
}

void rowEffect(Player& p, Channel& c, const Cell& cell, const Instrument& instrument,
               const Sample& sample, const KeptSound& kept) {
    const Module* m = p.module;
    const uint8_t parameter = cell.parameter;
    const uint8_t x = parameter >> 4;
    const uint8_t y = parameter & 0x0F;
    switch (static_cast<Effect>(cell.effect)) {
        case Effect::PortamentoUp:
            if (parameter != 0) c.portaUpMemory = parameter;
            break;
        case Effect::PortamentoDown:
            if (parameter != 0) c.portaDownMemory = parameter;
            break;
        case Effect::TonePortamento:
            if (parameter != 0) c.portaSpeed = parameter;
            c.portaTarget = c.notePeriod;
            c.updateFlags &= static_cast<uint8_t>(~(UpdateFrequency | StartNote));
            break;
        case Effect::Vibrato:
            if (x != 0) c.vibratoSpeed = x;
            if (y != 0) c.vibratoDepth = y;
            vibrato(p, c);
            break;
        case Effect::TonePortamentoVolumeSlide:
            c.portaTarget = c.notePeriod;
            if (parameter != 0) c.volumeSlideMemory = parameter;
            c.updateFlags &= static_cast<uint8_t>(~(UpdateFrequency | StartNote));
            break;
        case Effect::VibratoVolumeSlide:
            if (parameter != 0) c.volumeSlideMemory = parameter;
            vibrato(p, c);
            break;
        case Effect::Tremolo:
            if (x != 0) c.tremoloSpeed = x;
            if (y != 0) c.tremoloDepth = y;
            break;
        case Effect::SetPanning:
            c.panning = parameter;
            c.updateFlags |= UpdatePanning;
            break;
        case Effect::SampleOffset:
            sampleOffset(c, sample, parameter);
            break;
        case Effect::VolumeSlide:
            if (parameter != 0) c.volumeSlideMemory = parameter;
            break;
        case Effect::PositionJump:
            p.nextRow = 0;
            p.nextOrder = parameter < m->songLength ? parameter : 0;
            p.positionJumped = true;
            break;
        case Effect::SetVolume:  // without a limit
            c.volume = parameter;
            c.updateFlags |= UpdateVolume;
            break;
        case Effect::PatternBreak: {
            const int32_t row = 10 * x + y;
            p.nextRow = row > 63 ? 0 : row;
            if (!p.positionJumped) p.nextOrder = p.orderIndex + 1;
            if (p.nextOrder >= m->songLength) p.nextOrder = 0;
            break;
        }
        case Effect::Extended:
            extendedEffect(p, c, sample, kept, x, y);
            break;
        case Effect::SetSpeedOrTempo:
            if (parameter < 32) {
                p.speed = parameter;
            } else {
                setTempo(p, parameter);
            }
            break;
        case Effect::SetGlobalVolume:
            p.globalVolume = parameter > 64 ? 64 : parameter;
            c.updateFlags |= UpdateVolume;
            break;
        case Effect::GlobalVolumeSlide:
            if (parameter != 0) p.globalVolumeSlideMemory = parameter;
            break;
        case Effect::SetEnvelopePosition:
            if (instrument.volumeEnvelope.type & kEnvelopeOn) {
                setVolumeEnvelopePosition(c, instrument, parameter);
            }
            break;
        case Effect::PanningSlide:
            if (parameter != 0) {
                c.panningSlideMemory = parameter;
                c.updateFlags |= UpdatePanning;
            }
            break;
        case Effect::MultiRetrig:
            if (parameter != 0) {
                c.retrigVolumeMode = x;
                c.retrigInterval = y;
            }
            break;
        case Effect::Tremor:
            if (parameter != 0) {
                c.tremorOn = static_cast<uint8_t>(x + 1);
                c.tremorOff = static_cast<uint8_t>(y + 1);
            }
            tremor(c);
            break;
        case Effect::ExtraFinePortamento:
            if (x == 1) {
                if (y != 0) c.extraFineUpMemory = y;
                c.period = limitPeriod(int64_t{c.period} - c.extraFineUpMemory);
            } else if (x == 2) {
                if (y != 0) c.extraFineDownMemory = y;
                c.period = limitPeriod(int64_t{c.period} + c.extraFineDownMemory);
            }
            break;
        default:  // arpeggio, key off (handled with the note) and numbers without an effect
            break;
    }
}

void readCell(Player& p, Channel& c, const Cell& stored) {
    const Module* m = p.module;
    Cell cell = stored;
    const Effect effect = static_cast<Effect>(cell.effect);
    const bool portamento = isTonePortamento(effect);
    if (cell.instrument != 0 && !portamento)
        c.instrument = static_cast<uint8_t>(cell.instrument - 1);
    const uint8_t previousKeyNote = c.keyNote;
    if (isNote(cell.note) && !portamento) c.keyNote = static_cast<uint8_t>(cell.note - 1);
    InstrumentAndSample found = resolveInstrument(m, c);
    // A note that the relative note of the sample it would play moves outside the playable
    // range is no note, as in trackers: the cell reads as the same cell without it, so the
    // sound playing goes on and the instrument, volume column and effect act on it.
    if (isNote(cell.note) && !isPlayable(cell.note + found.sample->relativeNote - 1)) {
        cell.note = 0;
        c.keyNote = previousKeyNote;
        found = resolveInstrument(m, c);
    }
    const Instrument& instrument = *found.instrument;
    const Sample& sample = *found.sample;

    const KeptSound kept = {c.volume, c.period, c.panning};

    // The last tremolo offset stays in the volume when the tremolo ends.
    if (static_cast<Effect>(c.lastEffect) == Effect::Tremolo && effect != Effect::Tremolo) {
        c.volume += c.volumeOffset;
    }
    c.lastEffect = cell.effect;
    c.volumeOffset = 0;
    c.updateFlags = 0;

    if (isNote(cell.note)) {
        c.realNote = static_cast<uint8_t>(cell.note + sample.relativeNote - 1);
        c.notePeriod = notePeriodOf(m, c.realNote, finetuneOf(p, sample));
        if (!portamento) c.period = c.notePeriod;
        c.updateFlags = StartNote;
    }
    c.periodOffset = 0;
    c.updateFlags |= UpdateFrequency | UpdateVolume;

    if (cell.instrument != 0) resetInstrument(c, sample);
    if (cell.volume != 0) applyVolumeColumn(c, cell.volume);
    if (cell.note == kKeyOffNote || effect == Effect::KeyOff) c.keyOff = 1;

    stepEnvelopes(c, instrument);
    // A released note without a volume envelope falls silent.
    if (!(instrument.volumeEnvelope.type & kEnvelopeOn) && c.keyOff) c.volumeEnvelope.value = 0;
    if (c.keyOff) fadeOut(c, instrument);

    rowEffect(p, c, cell, instrument, sample, kept);

    autoVibrato(p, c, instrument);
    updateVoice(p, c, sample);
}

}  // namespace

const Pattern* patternAt(const Module* m, int32_t orderIndex) {
    if (!m->patterns || orderIndex < 0 || orderIndex >= m->songLength || orderIndex > 255) {
        return nullptr;
    }
    const int32_t number = m->orderTable[orderIndex];
    return number < m->patternSlotCount ? &m->patterns[number] : nullptr;
}

const Cell* rowCells(const Player& p) {
    const Pattern* pattern = patternAt(p.module, p.orderIndex);
    if (!pattern || !pattern->cells || p.row < 0 || p.row >= pattern->rowCount) return nullptr;
    return pattern->cells + static_cast<int64_t>(p.row) * p.module->channelCount;
}

int32_t activeChannels(const Module* m) {
    return m->channelCount < kChannelCount ? m->channelCount : kChannelCount;
}

InstrumentAndSample resolveInstrument(const Module* module, const Channel& channel) {
    if (static_cast<int16_t>(channel.instrument) >= module->instrumentCount ||
        !module->instruments) {
        return {&emptyInstrument, emptySample()};
    }
    const Instrument& instrument = module->instruments[channel.instrument];
    const Sample* sample = emptySample();
    if (channel.keyNote < 96) {
        const uint8_t number = instrument.noteSampleMap[channel.keyNote];
        if (number < kMaxSamplesPerInstrument && instrument.samples[number]) {
            sample = instrument.samples[number];
        }
    }
    return {&instrument, sample};
}

int8_t finetuneOf(const Player& player, const Sample& sample) {
    return sample.number >= 0 ? player.finetunes[sample.number] : sample.finetune;
}

void resetInstrument(Channel& c, const Sample& sample) {
    c.volume = sample.volume;
    c.panning = sample.panning;
    c.volumeEnvelope.value = 64;
    c.volumeEnvelope.point = 0;
    c.volumeEnvelope.tick = 0;
    c.volumeEnvelope.step = 0;
    c.panningEnvelope.value = 32;
    c.panningEnvelope.point = 0;
    c.panningEnvelope.tick = 0;
    c.panningEnvelope.step = 0;
    c.keyOff = 0;
    c.fadeoutVolume = 65536;
    c.volumeEnvelope.done = 0;
    c.panningEnvelope.done = 0;
    c.autoVibratoSweep = 0;
    c.autoVibratoPos = 0;
    // Waveforms 4..7 keep their phase across notes.
    if ((c.waveControl & 0x0F) < 4) c.vibratoPos = 0;
    if ((c.waveControl >> 4) < 4) c.tremoloPos = 0;
    c.updateFlags |= UpdateVolume | UpdatePanning;
    c.tremorCount = 0;
}

VolumeColumn readVolumeColumn(uint8_t volume) {
    constexpr VolumeCommand kByHighNibble[16] = {
        VolumeCommand::None,
        VolumeCommand::SetVolume,
        VolumeCommand::SetVolume,
        VolumeCommand::SetVolume,
        VolumeCommand::SetVolume,
        VolumeCommand::SetVolume,
        VolumeCommand::SlideDown,
        VolumeCommand::SlideUp,
        VolumeCommand::FineDown,
        VolumeCommand::FineUp,
        VolumeCommand::VibratoSpeed,
        VolumeCommand::Vibrato,
        VolumeCommand::SetPanning,
        VolumeCommand::PanningSlideLeft,
        VolumeCommand::PanningSlideRight,
        VolumeCommand::TonePortamento,
    };
    if (volume >= 0x10 && volume <= 0x50) return {VolumeCommand::SetVolume, uint8_t(volume - 0x10)};
    if (volume > 0x50 && volume < 0x60) return {VolumeCommand::None, 0};
    return {kByHighNibble[volume >> 4], static_cast<uint8_t>(volume & 0x0F)};
}

void applyVolumeColumn(Channel& c, uint8_t v) {
    const VolumeColumn column = readVolumeColumn(v);
    const uint8_t y = column.parameter;
    switch (column.command) {
        case VolumeCommand::SetVolume:
            c.volume = y;
            c.updateFlags |= UpdateVolume;
            break;
        // On tick 0 the slides act as the fine slides do; the ticks after it slide again.
        case VolumeCommand::SlideDown:
        case VolumeCommand::FineDown:
            lowerVolume(c, y);
            break;
        case VolumeCommand::SlideUp:
        case VolumeCommand::FineUp:
            raiseVolume(c, y);
            break;
        case VolumeCommand::VibratoSpeed:
            c.vibratoSpeed = y;
            break;
        case VolumeCommand::Vibrato:
            c.vibratoDepth = y;
            break;
        case VolumeCommand::SetPanning:
            c.panning = y * 16;
            c.updateFlags |= UpdatePanning;
            break;
        case VolumeCommand::PanningSlideLeft:
            slidePanning(c, -y);
            break;
        case VolumeCommand::PanningSlideRight:
            slidePanning(c, y);
            break;
        case VolumeCommand::TonePortamento:
            if (y != 0) c.portaSpeed = static_cast<uint8_t>(y * 16);
            c.updateFlags &= static_cast<uint8_t>(~StartNote);
            c.portaTarget = c.notePeriod;
            break;
        case VolumeCommand::None:
            break;
    }
}

void resetPlayback(Player& p) {
    const Module* module = p.module;
    p.globalVolume = module->initialGlobalVolume;
    p.globalVolumeSlideMemory = 0;
    p.nextOrder = -1;
    p.nextRow = -1;
    p.speed = module->defaultSpeed;
    p.row = 0;
    p.orderIndex = 0;
    p.tickSamplesLeft = 0;
    p.tick = 0;
    p.patternDelayTicks = 0;
    p.loopJumpRow = -1;
    p.positionJumped = false;
    setTempo(p, module->defaultBpm);
    p.playing = TickPosition{0, module->orderTable[0], 0, 0, p.speed, p.bpm, false};

    const int32_t channels = activeChannels(module);
    for (int32_t i = 0; i < channels; ++i) {
        p.channels[i] = Channel{};
        p.channels[i].voice = &p.voices[i];
    }
    std::memset(p.finetunes, 0, sizeof p.finetunes);
    for (int32_t i = 0; i < module->instrumentCount; ++i) {
        const Instrument& instrument = module->instruments[i];
        for (int32_t s = 0; s < instrument.sampleCount; ++s) {
            const Sample& sample = *instrument.samples[s];
            if (sample.number >= 0) p.finetunes[sample.number] = sample.finetune;
        }
    }
}

void processRow(Player& p) {
    p.nextOrder = -1;
    p.nextRow = -1;
    p.positionJumped = false;
    p.loopJumpRow = -1;
    const Cell* cells = rowCells(p);
    if (!cells) return;
    const int32_t channels = activeChannels(p.module);
    for (int32_t i = 0; i < channels; ++i)
        readCell(p, p.channels[i], cells[i]);
}

void playTick(Player& p) {
    const Module* module = p.module;
    if (!module) return;
    if (p.tick != 0) {
        processTickEffects(p);
    } else {
        if (p.nextOrder >= 0) p.orderIndex = p.nextOrder;
        if (p.nextRow >= 0) p.row = p.nextRow;
        // A break or jump to a row the pattern does not have starts it at row 0.
        const Pattern* pattern = patternAt(module, p.orderIndex);
        if (!pattern || p.row >= pattern->rowCount) p.row = 0;

        processRow(p);

        if (p.nextRow < 0) {
            p.nextRow = p.loopJumpRow >= 0 ? p.loopJumpRow : p.row + 1;
            pattern = patternAt(module, p.orderIndex);
            if (!pattern || p.nextRow >= pattern->rowCount) {
                int32_t next = p.orderIndex + 1;
                if (next >= module->songLength) next = module->restartPosition;
                // A restart position beyond the song restarts it from the beginning.
                if (next < 0 || next >= module->songLength) next = 0;
                p.nextOrder = next;
                p.nextRow = 0;
            }
        }
    }
    p.tick += 1;
    if (p.tick >= p.speed + p.patternDelayTicks) {
        p.tick = 0;
        p.patternDelayTicks = 0;
    }
}
