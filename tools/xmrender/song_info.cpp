#include "song_info.h"

#include <string>

namespace {

// A fixed-size text field of the file, cut at its first zero, with unprintable bytes shown
// as '?' and trailing blanks removed.
std::string textField(const uint8_t* bytes, int size) {
    std::string text;
    for (int i = 0; i < size && bytes[i] != 0; ++i)
        text += bytes[i] >= 32 && bytes[i] < 127 ? static_cast<char>(bytes[i]) : '?';
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

const char* loopName(uint8_t loopMode) {
    switch (loopMode) {
        case kForwardLoop:
            return "forward loop";
        case kPingPongLoop:
            return "ping-pong loop";
        default:
            return "no loop";
    }
}

const char* vibratoName(uint8_t type) {
    static const char* const names[] = {"sine", "square", "ramp down", "ramp up"};
    return type < 4 ? names[type] : "none (unknown type)";
}

void printEnvelope(std::FILE* out, const char* name, const EnvelopePoint* points, int count,
                   uint8_t type, uint8_t sustain, uint8_t loopStart, uint8_t loopEnd) {
    std::fprintf(out, "    %s envelope: ", name);
    if (!(type & kEnvelopeOn)) {
        std::fprintf(out, "off\n");
        return;
    }
    for (int k = 0; k < count; ++k)
        std::fprintf(out, "%s(%d,%d)", k ? " " : "", points[k].x, points[k].y);
    if (type & kEnvelopeSustain) std::fprintf(out, ", sustain at point %d", sustain);
    if (type & kEnvelopeLoop) std::fprintf(out, ", loop points %d..%d", loopStart, loopEnd);
    std::fprintf(out, "\n");
}

}  // namespace

void printSongInfo(std::FILE* out, const uint8_t* head, const Module& m) {
    const std::string title = textField(head + 17, 20);
    const std::string tracker = textField(head + 38, 20);
    const int version = head[58] | head[59] << 8;
    std::fprintf(out, "Title:        \"%s\"\n", title.c_str());
    std::fprintf(out, "Tracker:      \"%s\", format version %d.%02d\n", tracker.c_str(),
                 version >> 8, version & 0xFF);
    std::fprintf(out, "Channels:     %d\n", m.channelCount);
    std::fprintf(out, "Frequencies:  %s\n", (m.flags & kLinearFrequencies) ? "linear" : "Amiga");
    std::fprintf(out, "Tempo:        speed %d, %d BPM\n", m.defaultSpeed, m.defaultBpm);
    std::fprintf(out, "Song length:  %d positions, restart at %d\n", m.songLength,
                 m.restartPosition);
    std::fprintf(out, "Order list:  ");
    for (int i = 0; i < m.songLength; ++i) {
        if (i > 0 && i % 16 == 0) std::fprintf(out, "\n             ");
        std::fprintf(out, " %3d", m.orderTable[i]);
    }
    std::fprintf(out, "\nPatterns:     %d\n", m.patternSlotCount);
    for (int i = 0; i < m.patternSlotCount; ++i) {
        const Pattern& p = m.patterns[i];
        std::fprintf(out, "  %3d: %3d rows%s\n", i, p.rowCount, p.cells ? "" : ", empty");
    }
    std::fprintf(out, "Instruments:  %d\n", m.instrumentCount);
    for (int i = 0; i < m.instrumentCount; ++i) {
        const Instrument& ins = m.instruments[i];
        if (ins.sampleCount == 0) {
            std::fprintf(out, "  %3d: no samples\n", i + 1);
            continue;
        }
        std::fprintf(out, "  %3d: %d sample%s, fade-out %d, ", i + 1, ins.sampleCount,
                     ins.sampleCount == 1 ? "" : "s", ins.fadeout);
        if (ins.vibratoDepth == 0) {
            std::fprintf(out, "no vibrato\n");
        } else {
            std::fprintf(out, "vibrato %s depth %d sweep %d rate %d\n",
                         vibratoName(ins.vibratoType), ins.vibratoDepth, ins.vibratoSweep,
                         ins.vibratoRate);
        }
        printEnvelope(out, "volume", ins.volumeEnvelope, ins.volumePointCount, ins.volumeType,
                      ins.volumeSustainPoint, ins.volumeLoopStart, ins.volumeLoopEnd);
        printEnvelope(out, "panning", ins.panningEnvelope, ins.panningPointCount, ins.panningType,
                      ins.panningSustainPoint, ins.panningLoopStart, ins.panningLoopEnd);
        for (int s = 0; s < ins.sampleCount; ++s) {
            const Sample& sample = *ins.samples[s];
            std::fprintf(out, "    sample %2d: %u values, %s", s + 1, sample.length,
                         loopName(sample.loopMode));
            if (sample.loopMode == kForwardLoop || sample.loopMode == kPingPongLoop) {
                std::fprintf(out, " %u..%u", sample.loopStart,
                             sample.loopStart + sample.loopLength);
            }
            std::fprintf(out, ", volume %d, finetune %d, panning %d, relative note %d\n",
                         sample.volume, sample.finetune, sample.panning, sample.relativeNote);
        }
    }
}
