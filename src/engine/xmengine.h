/* xmengine: an XM (Extended Module) song player for programs to embed.

   The contract
   ------------
   A song is loaded once (from memory, a path or the caller's own reading functions) into an
   xme_song, which nothing changes while it plays: any number of players may play one song.
   A player (xme_player) holds everything that playing changes: the song position, the
   channels, the voices, the output rate. It renders interleaved stereo frames, 16-bit or
   float, into the caller's buffer, in calls of any size; the frames are the same whatever the
   sizes of the calls. Rendering allocates nothing and takes no lock.

   Threads: a player is used by one thread at a time; different players may run on different
   threads at once, playing the same song or others. The row callback runs on the thread that
   renders, inside xme_render_*.

   Failures: every function that can fail returns a status, XME_OK (0) or a negative XME_ERROR_
   code, and never crashes on a null pointer, a zero or absurd size or rate, or a player with no
   song. xme_status_text gives a status's general meaning; xme_player_error gives the message of
   a player's most recent failure; the loaders write theirs into the caller's message buffer.
   Nothing is thrown across this interface.

   Timing: the output is exact and deterministic. A seek to a time gives the frames that a
   straight render gives from that time on, sample for sample.

   Build as C99 or C++; link with pkg-config's xmengine or CMake's xmengine::xmengine. */
#ifndef XMENGINE_H
#define XMENGINE_H

#include <stddef.h>
#include <stdint.h>

#define XME_VERSION_MAJOR 1
#define XME_VERSION_MINOR 0
#define XME_VERSION_PATCH 0
/* The version as one number, major × 10000 + minor × 100 + patch, for comparisons. */
#define XME_VERSION (XME_VERSION_MAJOR * 10000 + XME_VERSION_MINOR * 100 + XME_VERSION_PATCH)
#define XME_VERSION_STRING "1.0.0"

#if defined(_WIN32) && defined(XME_SHARED)
#define XME_API __declspec(dllimport)
#elif defined(__GNUC__)
#define XME_API __attribute__((visibility("default")))
#else
#define XME_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- Statuses ---------------------------------------------------------------------------- */

enum {
    XME_OK = 0,
    XME_ERROR_ARGUMENT = -1, /* a null pointer, or a number outside its range */
    XME_ERROR_MEMORY = -2,   /* an allocation failed */
    XME_ERROR_FILE = -3,     /* the file could not be opened or read */
    XME_ERROR_FORMAT = -4,   /* not an XM file, or one that is cut short or inconsistent */
    XME_ERROR_NO_SONG = -5   /* the player has no song to play */
};

/* XME_VERSION of the library that runs, which may be newer than the header compiled with. */
XME_API int32_t xme_version(void);
XME_API const char* xme_version_string(void);

/* What a status means, in a few words; never null. */
XME_API const char* xme_status_text(int32_t status);

/* ---- Songs ------------------------------------------------------------------------------- */

typedef struct xme_song xme_song;

/* The loaders set *song to the loaded song, or to null on failure. message, when not null,
   receives a line that says why a file cannot be played ("pattern 3 is cut short (...)"), cut
   to message_size bytes with its terminating zero; it is empty after a success. */
XME_API int32_t xme_song_load_memory(const void* data, size_t size, xme_song** song, char* message,
                                     size_t message_size);
XME_API int32_t xme_song_load_file(const char* path, xme_song** song, char* message,
                                   size_t message_size);

/* The caller's own reading functions. read returns the bytes delivered (0 at the end, negative
   on an error); seek moves to offset from XME_SEEK_SET, _CUR or _END and returns 0, or
   negative on an error; tell returns the position, or negative. Songs of 2 GiB or more are
   refused. The functions are called only during xme_song_load_io. */
enum { XME_SEEK_SET = 0, XME_SEEK_CUR = 1, XME_SEEK_END = 2 };
typedef struct xme_io {
    int32_t (*read)(void* user, void* destination, int32_t count);
    int32_t (*seek)(void* user, int64_t offset, int32_t whence);
    int64_t (*tell)(void* user);
    void* user;
} xme_io;
XME_API int32_t xme_song_load_io(const xme_io* io, xme_song** song, char* message,
                                 size_t message_size);

/* Lets go of the song. Players that play it keep it until they play another or are freed;
   the song goes with the last of them. Null is allowed. */
XME_API void xme_song_free(xme_song* song);

typedef struct xme_song_info {
    char name[21];              /* the title; unprintable bytes as '?', trailing blanks removed */
    char tracker[21];           /* the program that wrote the file, likewise */
    int32_t format_version;     /* 0x0104 for version 1.04 */
    int32_t channels;           /* 1..32 */
    int32_t orders;             /* entries of the order list, 1..256 */
    int32_t restart_order;      /* where the song goes on after its last order */
    int32_t patterns;           /* 0..256 */
    int32_t instruments;        /* 0..128 */
    int32_t linear_frequencies; /* 1: linear frequency table, 0: Amiga periods */
    int32_t initial_speed;      /* ticks a row */
    int32_t initial_tempo;      /* beats a minute: a tick lasts 2.5 / tempo seconds */
} xme_song_info;
XME_API int32_t xme_song_get_info(const xme_song* song, xme_song_info* info);

/* The pattern number at an order position (0 .. orders - 1), or a negative status. */
XME_API int32_t xme_song_order(const xme_song* song, int32_t order);

typedef struct xme_pattern_info {
    int32_t rows;  /* 0..256 */
    int32_t empty; /* 1: no cells are stored (0 rows, or not in the file: 64 empty rows) */
} xme_pattern_info;
XME_API int32_t xme_song_pattern_info(const xme_song* song, int32_t pattern,
                                      xme_pattern_info* info);

/* One cell of a pattern, as the file gives it. note: 0 none, 1..96 C-0..B-7, 97 key off.
   instrument: 0 none, 1..128. volume: the volume column byte. effect: 0..35 (A is 10). */
typedef struct xme_cell {
    uint8_t note;
    uint8_t instrument;
    uint8_t volume;
    uint8_t effect;
    uint8_t parameter;
} xme_cell;
#define XME_NOTE_KEY_OFF 97
XME_API int32_t xme_song_pattern_cell(const xme_song* song, int32_t pattern, int32_t row,
                                      int32_t channel, xme_cell* cell);

typedef struct xme_envelope {
    int32_t on;         /* 0 or 1; the settings below are as the file gives them either way */
    int32_t sustain_on; /* the sustain point holds until the note is released */
    int32_t loop_on;
    int32_t point_count; /* 0..12 */
    int32_t sustain_point;
    int32_t loop_start;
    int32_t loop_end;
    struct {
        int32_t tick;  /* 0..65535 */
        int32_t value; /* 0..64 */
    } points[12];
} xme_envelope;

typedef struct xme_instrument_info {
    char name[23];         /* unprintable bytes as '?', trailing blanks removed */
    int32_t samples;       /* 0..16 */
    int32_t fadeout;       /* volume taken away each tick after a release, of 65536 */
    int32_t vibrato_type;  /* 0 sine, 1 square, 2 ramp down, 3 ramp up, others none */
    int32_t vibrato_sweep; /* ticks to full depth */
    int32_t vibrato_depth;
    int32_t vibrato_rate;
    xme_envelope volume_envelope;
    xme_envelope panning_envelope;
    uint8_t note_samples[96]; /* the sample (0-based) each note plays */
} xme_instrument_info;
/* instrument counts from 1, as the pattern cells do. */
XME_API int32_t xme_song_instrument_info(const xme_song* song, int32_t instrument,
                                         xme_instrument_info* info);

enum { XME_LOOP_NONE = 0, XME_LOOP_FORWARD = 1, XME_LOOP_PING_PONG = 2 };
typedef struct xme_sample_info {
    char name[23];
    uint32_t length;      /* in values */
    uint32_t loop_start;  /* in values */
    uint32_t loop_length; /* in values; 0 without a loop */
    int32_t loop;         /* XME_LOOP_ */
    int32_t bits;         /* 8 or 16, as the file stores it */
    int32_t volume;       /* 0..64 */
    int32_t finetune;     /* -128..127 */
    int32_t panning;      /* 0..255 */
    int32_t relative_note;
} xme_sample_info;
/* instrument counts from 1, sample from 1. */
XME_API int32_t xme_song_sample_info(const xme_song* song, int32_t instrument, int32_t sample,
                                     xme_sample_info* info);

/* ---- Players ----------------------------------------------------------------------------- */

typedef struct xme_player xme_player;

#define XME_LOWEST_RATE 8000
#define XME_HIGHEST_RATE 192000

/* A player that renders at sample_rate Hz (8000..192000), with no song yet. */
XME_API int32_t xme_player_create(int32_t sample_rate, xme_player** player);
/* Null is allowed. */
XME_API void xme_player_free(xme_player* player);

/* The message of the player's most recent failure, or "" when its last call succeeded; never
   null, also for a null player. */
XME_API const char* xme_player_error(const xme_player* player);

/* Plays the song from its start, from silent voices, with the player's mutes, repeat count
   and row callback kept. The player holds the song until it starts another or is freed; a
   null song leaves the player with none. */
XME_API int32_t xme_player_start(xme_player* player, xme_song* song);

/* Renders up to frame_count stereo frames (left, right) into frames: 2 × frame_count values.
   Returns the frames rendered, fewer than frame_count only where the song ends (see
   xme_player_set_repeats), the rest of the buffer then silent; 0 once it has ended; or a
   negative status. 16-bit values are rounded and clipped; float values are the same mix
   divided by 32768, not clipped. */
XME_API int32_t xme_render_s16(xme_player* player, int16_t* frames, int32_t frame_count);
XME_API int32_t xme_render_float(xme_player* player, float* frames, int32_t frame_count);

/* Where the song is: the tick that the last frame rendered belongs to (before any frame is
   rendered: the start of the song). */
typedef struct xme_position {
    int32_t order; /* position in the order list */
    int32_t pattern;
    int32_t row;
    int32_t tick;   /* of the row, from 0 */
    int32_t speed;  /* ticks a row */
    int32_t tempo;  /* beats a minute */
    int64_t frame;  /* frames into the song: rendered since its start, or set by a seek */
    double seconds; /* frame / sample rate */
    int32_t loops;  /* times the song has come back to an order it had played */
    int32_t ended;  /* 1 once the song has ended: rendering gives no more frames */
} xme_position;
XME_API int32_t xme_player_position(const xme_player* player, xme_position* position);

/* Called on the rendering thread at the first tick of every row played, before the row's
   first frame is written: frame_offset is where that frame goes in the buffer of the render
   call under way. A null callback stops the calls. */
typedef void (*xme_row_callback)(void* user, const xme_position* position, int32_t frame_offset);
XME_API int32_t xme_player_set_row_callback(xme_player* player, xme_row_callback callback,
                                            void* user);

/* Moves to the start of an order position, as a position jump in the song would: the notes
   playing go on. The position's frame becomes the time at which a straight render first
   reaches that order, where it does. */
XME_API int32_t xme_player_seek_order(xme_player* player, int32_t order);
/* Moves to a time: the frames rendered afterwards are those a straight render gives from
   there on (the song played from its start, without mixing, up to that frame; a seek forward
   goes on from where the player is). That takes about 0.1 ms for a second of music, less than
   half of mixing it. seconds is rounded to the nearest frame. A time beyond the song's end ends
   it there. */
XME_API int32_t xme_player_seek_seconds(xme_player* player, double seconds);
XME_API int32_t xme_player_seek_frame(xme_player* player, int64_t frame);

/* How the song ends. 0 (the default): where it first comes back to an order position it has
   played. n > 0: at its (n + 1)th such return, the song heard n more times. XME_REPEAT_FOREVER:
   never. Takes effect from the next frame rendered; a song that has ended goes on when the
   count allows more. */
#define XME_REPEAT_FOREVER (-1)
XME_API int32_t xme_player_set_repeats(xme_player* player, int32_t repeats);

/* The song's length before it first comes back to an order position it has played, at the
   player's rate, found by playing it through without mixing (up to 24 hours of music or a
   million ticks; a song that runs on longer gives XME_ERROR_FORMAT). Either pointer may be
   null. */
XME_API int32_t xme_player_song_length(xme_player* player, int64_t* frames, double* seconds);

/* Mutes or unmutes a channel (0..31): its notes go on playing unheard. */
XME_API int32_t xme_player_mute_channel(xme_player* player, int32_t channel, int32_t muted);

/* What a channel plays at the position reported by xme_player_position. */
typedef struct xme_channel_info {
    int32_t note;       /* the note last started, 1..96 as in cells; 0 none */
    int32_t instrument; /* 1..128; 0 none */
    int32_t level;      /* 0..64: the loudness of its sound (volume, envelope, fade-out and
                           global volume), 64 at full volume, 0 when silent or ended */
    int32_t panning;    /* as the song sets it, 0..255, 128 the middle */
    int32_t muted;
} xme_channel_info;
XME_API int32_t xme_player_channel_info(const xme_player* player, int32_t channel,
                                        xme_channel_info* info);

#ifdef __cplusplus
}
#endif

#endif /* XMENGINE_H */
