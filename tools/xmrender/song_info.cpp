#include "song_info.h"

#include <string>

namespace {

const char* loopName(int32_t loop) {
    switch (loop) {
        case XME_LOOP_FORWARD:
            return "forward loop";
        case XME_LOOP_PING_PONG:
            return "ping-pong loop";
        default:
            return "no loop";
    }
}

const char* vibratoName(int32_t type) {
    static const char* const names[] = {"sine", "square", "ramp down", "ramp up"};
    return type >= 0 && type < 4 ? names[type] : "none (unknown type)";
}

void printEnvelope(std::FILE* out, const char* name, const xme_envelope& envelope) {
    std::fprintf(out, "    %s envelope: ", name);
    if (!envelope.on) {
        std::fprintf(out, "off\n");
        return;
    }
    for (int k = 0; k < envelope.point_count; ++k) {
        std::fprintf(out, "%s(%d,%d)", k ? " " : "", envelope.points[k].tick,
                     envelope.points[k].value);
    }
    if (envelope.sustain_on) std::fprintf(out, ", sustain at point %d", envelope.sustain_point);
    if (envelope.loop_on)
        std::fprintf(out, ", loop points %d..%d", envelope.loop_start, envelope.loop_end);
    std::fprintf(out, "\n");
}

}  // namespace

void printSongInfo(std::FILE* out, const xme_song* song) {
    xme_song_info m;
    xme_song_get_info(song, &m);
    std::fprintf(out, "Title:        \"%s\"\n", m.name);
    std::fprintf(out, "Tracker:      \"%s\", format version %d.%02d\n", m.tracker,
                 m.format_version >> 8, m.format_version & 0xFF);
    std::fprintf(out, "Channels:     %d\n", m.channels);
    std::fprintf(out, "Frequencies:  %s\n", m.linear_frequencies ? "linear" : "Amiga");
    std::fprintf(out, "Tempo:        speed %d, %d BPM\n", m.initial_speed, m.initial_tempo);
    std::fprintf(out, "Song length:  %d positions, restart at %d\n", m.orders, m.restart_order);
    std::fprintf(out, "Order list:  ");
    for (int i = 0; i < m.orders; ++i) {
        if (i > 0 && i % 16 == 0) std::fprintf(out, "\n             ");
        std::fprintf(out, " %3d", xme_song_order(song, i));
    }
    std::fprintf(out, "\nPatterns:     %d\n", m.patterns);
    for (int i = 0; i < m.patterns; ++i) {
        xme_pattern_info p;
        xme_song_pattern_info(song, i, &p);
        std::fprintf(out, "  %3d: %3d rows%s\n", i, p.rows, p.empty ? ", empty" : "");
    }
    std::fprintf(out, "Instruments:  %d\n", m.instruments);
    for (int i = 1; i <= m.instruments; ++i) {
        xme_instrument_info ins;
        xme_song_instrument_info(song, i, &ins);
        if (ins.samples == 0) {
            std::fprintf(out, "  %3d: no samples\n", i);
            continue;
        }
        std::fprintf(out, "  %3d: %d sample%s, fade-out %d, ", i, ins.samples,
                     ins.samples == 1 ? "" : "s", ins.fadeout);
        if (ins.vibrato_depth == 0) {
            std::fprintf(out, "no vibrato\n");
        } else {
            std::fprintf(out, "vibrato %s depth %d sweep %d rate %d\n",
                         vibratoName(ins.vibrato_type), ins.vibrato_depth, ins.vibrato_sweep,
                         ins.vibrato_rate);
        }
        printEnvelope(out, "volume", ins.volume_envelope);
        printEnvelope(out, "panning", ins.panning_envelope);
        for (int s = 1; s <= ins.samples; ++s) {
            xme_sample_info sample;
            xme_song_sample_info(song, i, s, &sample);
            std::fprintf(out, "    sample %2d: %u values, %s", s, sample.length,
                         loopName(sample.loop));
            if (sample.loop != XME_LOOP_NONE) {
                std::fprintf(out, " %u..%u", sample.loop_start,
                             sample.loop_start + sample.loop_length);
            }
            std::fprintf(out, ", volume %d, finetune %d, panning %d, relative note %d\n",
                         sample.volume, sample.finetune, sample.panning, sample.relative_note);
        }
    }
}
