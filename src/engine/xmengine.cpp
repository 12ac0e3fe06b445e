// The public C interface (xmengine.h) over the engine: songs loaded through the loader, players
// that wrap a Player record with the buffer of the piece being handed out.
//
// A player mixes one piece at a time: the frames of one tick inside one block of its grid, as
// the stream does. A render call hands out what is left of the piece, then mixes the next, so
// the frames do not depend on how the calls cut them, and the position reported is that of the
// piece the last frame came from.
#include "engine/xmengine.h"

#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/file_access.h"
#include "engine/mixer.h"
#include "engine/module.h"
#include "engine/player.h"
#include "engine/sequencer_internal.h"

struct xme_song {
    Module* module;
    // The caller's reference, and one for each player that plays the song.
    std::atomic<int32_t> references;
};

struct xme_player {
    Player core;
    xme_song* song;

    // The piece: frames mixed, of which the first pieceRead have been handed out.
    float* piece;
    int32_t pieceFrames;
    int32_t pieceRead;
    bool pieceStartsRow;
    TickPosition piecePosition;
    bool tickUnmixed;  // a tick was played whose first piece is still to be mixed

    int64_t frame;  // frames into the song of the next frame to hand out
    bool straight;  // no order seek since the start: frame is the straight render's

    // The song's length and the frame at which each order position is first entered, found
    // once a caller asks.
    bool measured;
    int64_t lengthFrames;  // -1: no return within the limits, -2: no memory to find it
    int64_t firstFrames[256];

    xme_row_callback rowCallback;
    void* rowUser;
    char error[256];
};

namespace {

// The limits of the search for a song's length.
constexpr int64_t kLengthLimitSeconds = 24 * 60 * 60;
constexpr int64_t kLengthLimitTicks = 1000000;

// Songs of 2 GiB or more: the loader's positions are 32-bit.
constexpr int64_t kLargestSong = 0x7FFFFFFF;

__attribute__((format(printf, 3, 4))) int32_t fail(xme_player* player, int32_t status,
                                                   const char* format, ...) {
    if (player) {
        va_list arguments;
        va_start(arguments, format);
        std::vsnprintf(player->error, sizeof player->error, format, arguments);
        va_end(arguments);
    }
    return status;
}

// Clears the player's message for a call that starts; false for a null player.
bool begin(xme_player* player) {
    if (!player) return false;
    player->error[0] = '\0';
    return true;
}

// The loaders' ending: the song, or null and the reason in the caller's buffer.
__attribute__((format(printf, 4, 5))) int32_t loadFailed(char* message, size_t size, int32_t status,
                                                         const char* format, ...) {
    if (message && size > 0) {
        va_list arguments;
        va_start(arguments, format);
        std::vsnprintf(message, size, format, arguments);
        va_end(arguments);
    }
    return status;
}

// The song of a load that refused its file (or none), with the reason in the caller's buffer:
// the words that xmrender shows.
int32_t finishLoad(Module* module, const LoadProblem& problem, xme_song** song, char* message,
                   size_t messageSize) {
    if (!module) {
        if (std::strncmp(problem.text, "not an XM file", 14) == 0)
            return loadFailed(message, messageSize, XME_ERROR_FORMAT, "%s", problem.text);
        const int32_t status = std::strcmp(problem.text, "not enough memory to load it") == 0
                                   ? XME_ERROR_MEMORY
                                   : XME_ERROR_FORMAT;
        return loadFailed(message, messageSize, status, "not a playable XM file: %s", problem.text);
    }
    xme_song* loaded = static_cast<xme_song*>(std::calloc(1, sizeof(xme_song)));
    if (!loaded) {
        releaseModule(module);
        return loadFailed(message, messageSize, XME_ERROR_MEMORY, "not enough memory to load it");
    }
    loaded->module = module;
    loaded->references.store(1);
    *song = loaded;
    if (message && messageSize > 0) message[0] = '\0';
    return XME_OK;
}

// Reads the song through the reader into a new xme_song.
int32_t loadFrom(ModuleReader& reader, xme_song** song, char* message, size_t messageSize) {
    LoadProblem problem = {};
    Module* module = static_cast<Module*>(std::calloc(1, sizeof(Module)));
    if (!module) {
        std::snprintf(problem.text, sizeof problem.text, "not enough memory to load it");
    } else if (!readXm(module, &reader, problem)) {
        releaseModule(module);
        module = nullptr;
    }
    return finishLoad(module, problem, song, message, messageSize);
}

// The caller's reading functions as the loader's callbacks; the handle is the xme_io.
int32_t ioRead(void* destination, int32_t count, void* handle) {
    const xme_io* io = static_cast<const xme_io*>(handle);
    const int32_t got = io->read(io->user, destination, count);
    return got < 0 ? 0 : got > count ? count : got;
}
void ioSeek(void* handle, int32_t offset, uint8_t origin) {
    const xme_io* io = static_cast<const xme_io*>(handle);
    io->seek(io->user, offset, origin);
}
int32_t ioTell(void* handle) {
    const xme_io* io = static_cast<const xme_io*>(handle);
    const int64_t position = io->tell(io->user);
    return position < 0 || position > kLargestSong ? 0 : static_cast<int32_t>(position);
}

void releaseSong(xme_song* song) {
    if (song && song->references.fetch_sub(1) == 1) {
        releaseModule(song->module);
        std::free(song);
    }
}

void emptyPiece(xme_player* p) {
    p->pieceFrames = 0;
    p->pieceRead = 0;
    p->pieceStartsRow = false;
}

// Mixes the next piece into the piece buffer; false when the song has ended.
bool mixNextPiece(xme_player* p) {
    Player& core = p->core;
    if (core.ended) return false;
    if (advanceTick(core)) p->tickUnmixed = true;
    if (core.ended) return false;
    const int32_t n = framesBeforeNextLine(core);
    std::memset(p->piece, 0, sizeof(float) * 2 * static_cast<size_t>(n));
    mixTickFrames(core, p->piece, n);
    p->pieceFrames = n;
    p->pieceRead = 0;
    p->pieceStartsRow = p->tickUnmixed && core.playing.startsRow;
    p->piecePosition = core.playing;
    p->tickUnmixed = false;
    return true;
}

xme_position positionOf(const xme_player* p) {
    const TickPosition& t = p->piecePosition;
    xme_position position;
    position.order = t.order;
    position.pattern = t.pattern;
    position.row = t.row;
    position.tick = t.tick;
    position.speed = t.speed;
    position.tempo = t.bpm;
    position.frame = p->frame;
    position.seconds = static_cast<double>(p->frame) / p->core.sampleRate;
    position.loops = p->core.loops;
    position.ended = p->core.ended && p->pieceRead >= p->pieceFrames ? 1 : 0;
    return position;
}

// Back to the start of the song, from silent voices.
void restart(xme_player* p) {
    clearVoices(p->core);
    startSong(p->core, p->song ? p->song->module : nullptr);
    emptyPiece(p);
    p->piecePosition = p->core.playing;
    p->tickUnmixed = false;
    p->frame = 0;
    p->straight = true;
}

// After a seek: the piece that holds the next frame, so that the position tells where the
// seek went.
void settle(xme_player* p) {
    if (p->pieceRead >= p->pieceFrames) mixNextPiece(p);
}

template <typename Sample, typename Convert>
int32_t render(xme_player* player, Sample* frames, int32_t frameCount, Convert convert) {
    if (!begin(player)) return XME_ERROR_ARGUMENT;
    if (!frames) return fail(player, XME_ERROR_ARGUMENT, "no buffer to render into");
    if (frameCount < 0) return fail(player, XME_ERROR_ARGUMENT, "a frame count of %d", frameCount);
    if (!player->song) return fail(player, XME_ERROR_NO_SONG, "the player has no song");
    int32_t done = 0;
    while (done < frameCount) {
        if (player->pieceRead >= player->pieceFrames && !mixNextPiece(player)) break;
        if (player->pieceRead == 0 && player->pieceStartsRow && player->rowCallback) {
            const xme_position position = positionOf(player);
            player->rowCallback(player->rowUser, &position, done);
        }
        int32_t n = player->pieceFrames - player->pieceRead;
        if (n > frameCount - done) n = frameCount - done;
        convert(frames + 2 * static_cast<size_t>(done),
                player->piece + 2 * static_cast<size_t>(player->pieceRead), n);
        player->pieceRead += n;
        player->frame += n;
        done += n;
    }
    if (done < frameCount) {
        std::memset(frames + 2 * static_cast<size_t>(done), 0,
                    sizeof(Sample) * 2 * static_cast<size_t>(frameCount - done));
    }
    return done;
}

void convertToFloat(float* destination, const float* source, int32_t frameCount) {
    for (int32_t k = 0; k < 2 * frameCount; ++k)
        destination[k] = source[k] * (1.0f / 32768.0f);
}

bool measure(xme_player* p) {
    if (!p->measured) {
        p->lengthFrames = measureSong(p->song->module, p->core.sampleRate,
                                      kLengthLimitSeconds * p->core.sampleRate, kLengthLimitTicks,
                                      p->firstFrames);
        p->measured = true;
    }
    return p->lengthFrames >= 0;
}

}  // namespace

extern "C" {

int32_t xme_version(void) {
    return XME_VERSION;
}

const char* xme_version_string(void) {
    return XME_VERSION_STRING;
}

const char* xme_status_text(int32_t status) {
    switch (status) {
        case XME_OK:
            return "success";
        case XME_ERROR_ARGUMENT:
            return "an argument is null or out of range";
        case XME_ERROR_MEMORY:
            return "not enough memory";
        case XME_ERROR_FILE:
            return "the file cannot be opened or read";
        case XME_ERROR_FORMAT:
            return "not a playable XM file";
        case XME_ERROR_NO_SONG:
            return "the player has no song";
        default:
            return "unknown status";
    }
}

int32_t xme_song_load_memory(const void* data, size_t size, xme_song** song, char* message,
                             size_t message_size) {
    if (song) *song = nullptr;
    if ((!data && size > 0) || !song)
        return loadFailed(message, message_size, XME_ERROR_ARGUMENT,
                          "no song data or no place for the song");
    if (size > static_cast<size_t>(kLargestSong))
        return loadFailed(message, message_size, XME_ERROR_FORMAT,
                          "a song of 2 GiB or more cannot be played");
    LoadProblem problem = {};
    Module* module =
        loadModuleImage(static_cast<const uint8_t*>(data), static_cast<int32_t>(size), problem);
    return finishLoad(module, problem, song, message, message_size);
}

int32_t xme_song_load_file(const char* path, xme_song** song, char* message, size_t message_size) {
    if (song) *song = nullptr;
    if (!path || !song)
        return loadFailed(message, message_size, XME_ERROR_ARGUMENT,
                          "no path or no place for the song");
    std::FILE* file = std::fopen(path, "rb");
    if (!file)
        return loadFailed(message, message_size, XME_ERROR_FILE, "cannot open: %s",
                          std::strerror(errno));
    // A read first: a folder opens, but reading it fails, which says more than its size.
    if (std::fgetc(file) == EOF && std::ferror(file)) {
        const int error = errno;
        std::fclose(file);
        return loadFailed(message, message_size, XME_ERROR_FILE, "cannot read: %s",
                          std::strerror(error));
    }
    long size = -1;
    if (std::fseek(file, 0, SEEK_END) == 0) size = std::ftell(file);
    if (size < 0 || std::fseek(file, 0, SEEK_SET) != 0) {
        const int error = errno;
        std::fclose(file);
        return loadFailed(message, message_size, XME_ERROR_FILE, "cannot read: %s",
                          std::strerror(error));
    }
    if (size > kLargestSong) {
        std::fclose(file);
        return loadFailed(message, message_size, XME_ERROR_FORMAT,
                          "a song of 2 GiB or more cannot be played");
    }
    ModuleReader reader = {diskFileCallbacks, file};
    const int32_t status = loadFrom(reader, song, message, message_size);
    const bool readError = std::ferror(file) != 0;
    const int error = errno;
    std::fclose(file);
    if (status != XME_OK && readError) {
        return loadFailed(message, message_size, XME_ERROR_FILE, "cannot read: %s",
                          std::strerror(error));
    }
    return status;
}

int32_t xme_song_load_io(const xme_io* io, xme_song** song, char* message, size_t message_size) {
    if (song) *song = nullptr;
    if (!io || !io->read || !io->seek || !io->tell || !song)
        return loadFailed(message, message_size, XME_ERROR_ARGUMENT,
                          "no reading functions or no place for the song");
    if (io->seek(io->user, 0, XME_SEEK_END) < 0)
        return loadFailed(message, message_size, XME_ERROR_FILE, "the song cannot be read");
    const int64_t size = io->tell(io->user);
    if (size < 0 || io->seek(io->user, 0, XME_SEEK_SET) < 0)
        return loadFailed(message, message_size, XME_ERROR_FILE, "the song cannot be read");
    if (size > kLargestSong)
        return loadFailed(message, message_size, XME_ERROR_FORMAT,
                          "a song of 2 GiB or more cannot be played");
    const FileCallbacks callbacks = {nullptr, nullptr, ioRead, ioSeek, ioTell};
    ModuleReader reader = {callbacks, const_cast<xme_io*>(io)};
    return loadFrom(reader, song, message, message_size);
}

void xme_song_free(xme_song* song) {
    releaseSong(song);
}

int32_t xme_song_get_info(const xme_song* song, xme_song_info* info) {
    if (!song || !info) return XME_ERROR_ARGUMENT;
    const Module& m = *song->module;
    std::memset(info, 0, sizeof *info);
    std::memcpy(info->name, m.name, sizeof info->name);
    std::memcpy(info->tracker, m.trackerName, sizeof info->tracker);
    info->format_version = m.formatVersion;
    info->channels = m.channelCount;
    info->orders = m.songLength;
    info->restart_order = m.restartPosition;
    info->patterns = m.patternSlotCount;
    info->instruments = m.instrumentCount;
    info->linear_frequencies = (m.flags & kLinearFrequencies) ? 1 : 0;
    info->initial_speed = m.defaultSpeed;
    info->initial_tempo = m.defaultBpm;
    return XME_OK;
}

int32_t xme_song_order(const xme_song* song, int32_t order) {
    if (!song || order < 0 || order >= song->module->songLength) return XME_ERROR_ARGUMENT;
    return song->module->orderTable[order];
}

int32_t xme_song_pattern_info(const xme_song* song, int32_t pattern, xme_pattern_info* info) {
    if (!song || !info || pattern < 0 || pattern >= song->module->patternSlotCount)
        return XME_ERROR_ARGUMENT;
    const Pattern& p = song->module->patterns[pattern];
    info->rows = p.rowCount;
    info->empty = p.cells ? 0 : 1;
    return XME_OK;
}

int32_t xme_song_pattern_cell(const xme_song* song, int32_t pattern, int32_t row, int32_t channel,
                              xme_cell* cell) {
    if (!song || !cell || pattern < 0 || pattern >= song->module->patternSlotCount)
        return XME_ERROR_ARGUMENT;
    const Module& m = *song->module;
    const Pattern& p = m.patterns[pattern];
    if (row < 0 || row >= p.rowCount || channel < 0 || channel >= m.channelCount)
        return XME_ERROR_ARGUMENT;
    std::memset(cell, 0, sizeof *cell);
    if (!p.cells) return XME_OK;
    const Cell& c = p.cells[static_cast<int64_t>(row) * m.channelCount + channel];
    // The loader keeps a key off as 255; the file and the interface say 97.
    cell->note = c.note == kKeyOffNote ? XME_NOTE_KEY_OFF : c.note;
    cell->instrument = c.instrument;
    cell->volume = c.volume;
    cell->effect = c.effect;
    cell->parameter = c.parameter;
    return XME_OK;
}

int32_t xme_song_instrument_info(const xme_song* song, int32_t instrument,
                                 xme_instrument_info* info) {
    if (!song || !info || instrument < 1 || instrument > song->module->instrumentCount)
        return XME_ERROR_ARGUMENT;
    const Instrument& ins = song->module->instruments[instrument - 1];
    std::memset(info, 0, sizeof *info);
    std::memcpy(info->name, ins.name, sizeof info->name);
    info->samples = ins.sampleCount;
    info->fadeout = ins.fadeout;
    info->vibrato_type = ins.vibratoType;
    info->vibrato_sweep = ins.vibratoSweep;
    info->vibrato_depth = ins.vibratoDepth;
    info->vibrato_rate = ins.vibratoRate;
    const Envelope* envelopes[2] = {&ins.volumeEnvelope, &ins.panningEnvelope};
    xme_envelope* targets[2] = {&info->volume_envelope, &info->panning_envelope};
    for (int e = 0; e < 2; ++e) {
        const Envelope& from = *envelopes[e];
        xme_envelope& to = *targets[e];
        to.on = (from.type & kEnvelopeOn) ? 1 : 0;
        to.sustain_on = (from.type & kEnvelopeSustain) ? 1 : 0;
        to.loop_on = (from.type & kEnvelopeLoop) ? 1 : 0;
        to.point_count = from.pointCount;
        to.sustain_point = from.sustainPoint;
        to.loop_start = from.loopStart;
        to.loop_end = from.loopEnd;
        for (int k = 0; k < kEnvelopePoints; ++k) {
            to.points[k].tick = from.points[k].x;
            to.points[k].value = from.points[k].y;
        }
    }
    std::memcpy(info->note_samples, ins.noteSampleMap, sizeof info->note_samples);
    return XME_OK;
}

int32_t xme_song_sample_info(const xme_song* song, int32_t instrument, int32_t sample,
                             xme_sample_info* info) {
    if (!song || !info || instrument < 1 || instrument > song->module->instrumentCount)
        return XME_ERROR_ARGUMENT;
    const Instrument& ins = song->module->instruments[instrument - 1];
    if (sample < 1 || sample > ins.sampleCount) return XME_ERROR_ARGUMENT;
    const Sample& s = *ins.samples[sample - 1];
    std::memset(info, 0, sizeof *info);
    std::memcpy(info->name, s.name, sizeof info->name);
    info->length = s.length;
    info->loop = s.loopMode == kForwardLoop    ? XME_LOOP_FORWARD
                 : s.loopMode == kPingPongLoop ? XME_LOOP_PING_PONG
                                               : XME_LOOP_NONE;
    info->loop_start = info->loop != XME_LOOP_NONE ? s.loopStart : 0;
    info->loop_length = info->loop != XME_LOOP_NONE ? s.loopLength : 0;
    info->bits = s.fileBits;
    info->volume = s.volume;
    info->finetune = s.finetune;
    info->panning = s.panning;
    info->relative_note = s.relativeNote;
    return XME_OK;
}

int32_t xme_player_create(int32_t sample_rate, xme_player** player) {
    if (player) *player = nullptr;
    if (!player || sample_rate < XME_LOWEST_RATE || sample_rate > XME_HIGHEST_RATE)
        return XME_ERROR_ARGUMENT;
    xme_player* p = static_cast<xme_player*>(std::calloc(1, sizeof(xme_player)));
    if (!p) return XME_ERROR_MEMORY;
    initPlayer(p->core, sample_rate);
    p->core.repeats = 0;
    p->piece = static_cast<float*>(
        std::calloc(2 * static_cast<size_t>(p->core.blockFrames), sizeof(float)));
    if (!p->piece) {
        std::free(p);
        return XME_ERROR_MEMORY;
    }
    restart(p);
    *player = p;
    return XME_OK;
}

void xme_player_free(xme_player* player) {
    if (!player) return;
    releaseSong(player->song);
    std::free(player->piece);
    std::free(player);
}

const char* xme_player_error(const xme_player* player) {
    return player ? player->error : "no player";
}

int32_t xme_player_start(xme_player* player, xme_song* song) {
    if (!begin(player)) return XME_ERROR_ARGUMENT;
    if (song) song->references.fetch_add(1);
    releaseSong(player->song);
    player->song = song;
    player->measured = false;
    restart(player);
    return XME_OK;
}

int32_t xme_render_s16(xme_player* player, int16_t* frames, int32_t frame_count) {
    return render(player, frames, frame_count, convertToPcm16);
}

int32_t xme_render_float(xme_player* player, float* frames, int32_t frame_count) {
    return render(player, frames, frame_count, convertToFloat);
}

int32_t xme_player_position(const xme_player* player, xme_position* position) {
    if (!player || !position) return XME_ERROR_ARGUMENT;
    if (!player->song) return XME_ERROR_NO_SONG;
    *position = positionOf(player);
    return XME_OK;
}

int32_t xme_player_set_row_callback(xme_player* player, xme_row_callback callback, void* user) {
    if (!begin(player)) return XME_ERROR_ARGUMENT;
    player->rowCallback = callback;
    player->rowUser = user;
    return XME_OK;
}

int32_t xme_player_seek_order(xme_player* player, int32_t order) {
    if (!begin(player)) return XME_ERROR_ARGUMENT;
    if (!player->song) return fail(player, XME_ERROR_NO_SONG, "the player has no song");
    const Module& m = *player->song->module;
    if (order < 0 || order >= m.songLength) {
        return fail(player, XME_ERROR_ARGUMENT, "order %d is not in the song's %d orders", order,
                    m.songLength);
    }
    Player& core = player->core;
    // As a position jump: tick 0 of the order's first row comes next, the notes playing go on.
    core.nextOrder = order;
    core.nextRow = 0;
    core.tick = 0;
    core.patternDelayTicks = 0;
    core.tickSamplesLeft = 0;
    std::memset(core.ordersPlayed, 0, sizeof core.ordersPlayed);
    core.ended = false;
    emptyPiece(player);
    player->straight = false;
    if (measure(player) && player->firstFrames[order] >= 0)
        player->frame = player->firstFrames[order];
    settle(player);
    return XME_OK;
}

int32_t xme_player_seek_frame(xme_player* player, int64_t frame) {
    if (!begin(player)) return XME_ERROR_ARGUMENT;
    if (!player->song) return fail(player, XME_ERROR_NO_SONG, "the player has no song");
    if (frame < 0) return fail(player, XME_ERROR_ARGUMENT, "a negative frame");
    if (!player->straight || frame < player->frame) restart(player);
    const int32_t pieceLeft = player->pieceFrames - player->pieceRead;
    if (frame - player->frame < pieceLeft) {
        player->pieceRead += static_cast<int32_t>(frame - player->frame);
        player->frame = frame;
        return XME_OK;
    }
    player->frame += pieceLeft;
    emptyPiece(player);
    // The pieces before the one that holds the frame move the song on without being mixed.
    Player& core = player->core;
    while (player->frame < frame) {
        if (advanceTick(core)) player->tickUnmixed = true;
        if (core.ended) break;
        const int32_t n = framesBeforeNextLine(core);
        if (player->frame + n > frame) {
            mixNextPiece(player);
            player->pieceRead = static_cast<int32_t>(frame - player->frame);
            player->frame = frame;
            break;
        }
        mixTickFrames(core, nullptr, n);
        player->tickUnmixed = false;
        player->piecePosition = core.playing;
        player->frame += n;
    }
    settle(player);
    return XME_OK;
}

int32_t xme_player_seek_seconds(xme_player* player, double seconds) {
    if (!begin(player)) return XME_ERROR_ARGUMENT;
    if (!(seconds >= 0.0) || seconds > 1e12)
        return fail(player, XME_ERROR_ARGUMENT, "a time of %g seconds", seconds);
    return xme_player_seek_frame(
        player, std::llround(seconds * static_cast<double>(player->core.sampleRate)));
}

int32_t xme_player_set_repeats(xme_player* player, int32_t repeats) {
    if (!begin(player)) return XME_ERROR_ARGUMENT;
    if (repeats < XME_REPEAT_FOREVER)
        return fail(player, XME_ERROR_ARGUMENT, "a repeat count of %d", repeats);
    Player& core = player->core;
    core.repeats = repeats == XME_REPEAT_FOREVER ? kRepeatForever : repeats;
    if (core.ended && (core.repeats == kRepeatForever || core.loops <= core.repeats))
        core.ended = false;
    return XME_OK;
}

int32_t xme_player_song_length(xme_player* player, int64_t* frames, double* seconds) {
    if (!begin(player)) return XME_ERROR_ARGUMENT;
    if (!player->song) return fail(player, XME_ERROR_NO_SONG, "the player has no song");
    if (!measure(player)) {
        if (player->lengthFrames == -2)
            return fail(player, XME_ERROR_MEMORY, "not enough memory to play the song through");
        return fail(player, XME_ERROR_FORMAT,
                    "the song does not come back to an order position within 24 hours or a "
                    "million ticks");
    }
    if (frames) *frames = player->lengthFrames;
    if (seconds) *seconds = static_cast<double>(player->lengthFrames) / player->core.sampleRate;
    return XME_OK;
}

int32_t xme_player_mute_channel(xme_player* player, int32_t channel, int32_t muted) {
    if (!begin(player)) return XME_ERROR_ARGUMENT;
    if (channel < 0 || channel >= kChannelCount)
        return fail(player, XME_ERROR_ARGUMENT, "channel %d is not 0 to 31", channel);
    const uint32_t bit = uint32_t{1} << channel;
    player->core.mutedChannels =
        muted ? player->core.mutedChannels | bit : player->core.mutedChannels & ~bit;
    return XME_OK;
}

int32_t xme_player_channel_info(const xme_player* player, int32_t channel, xme_channel_info* info) {
    if (!player || !info) return XME_ERROR_ARGUMENT;
    if (!player->song) return XME_ERROR_NO_SONG;
    if (channel < 0 || channel >= activeChannels(player->song->module)) return XME_ERROR_ARGUMENT;
    const Channel& c = player->core.channels[channel];
    const Voice* voice = c.voice;
    const bool sounding = voice && voice->sample;
    std::memset(info, 0, sizeof *info);
    info->note = sounding ? c.keyNote + 1 : 0;
    info->instrument = sounding ? c.instrument + 1 : 0;
    // 127 is a note at full volume with every volume of the song at its highest.
    const int32_t level = sounding ? voice->mixVolume : 0;
    info->level = level >= 127 ? 64 : level * 64 / 127;
    info->panning = c.panning < 0 ? 0 : c.panning > 255 ? 255 : c.panning;
    info->muted = static_cast<int32_t>(player->core.mutedChannels >> channel & 1);
    return XME_OK;
}

}  // extern "C"
