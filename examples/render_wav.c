/* render_wav SONG.xm OUT.wav: the song at 44100 Hz, 16-bit stereo, until it first comes back
   to an order it has played (at most 10 minutes), with a line for every order it plays. */
#include <stdio.h>
#include <xmengine.h>

static void put(FILE* file, unsigned long value, int bytes) { /* little-endian */
    for (; bytes > 0; --bytes, value >>= 8)
        fputc((int)(value & 0xFF), file);
}

static void wav_header(FILE* file, unsigned long frames) {
    fputs("RIFF", file), put(file, 36 + 4 * frames, 4), fputs("WAVEfmt ", file);
    put(file, 16, 4), put(file, 1, 2), put(file, 2, 2), put(file, 44100, 4);
    put(file, 4 * 44100, 4), put(file, 4, 2), put(file, 16, 2);
    fputs("data", file), put(file, 4 * frames, 4);
}

static void on_row(void* user, const xme_position* at, int32_t offset) {
    int32_t* order = (int32_t*)user;
    (void)offset;
    if (at->order != *order)
        printf("%7.2f s  order %d, pattern %d\n", at->seconds, at->order, at->pattern);
    *order = at->order;
}

int main(int argc, char** argv) {
    char message[256];
    int16_t frames[2 * 4096];
    unsigned long total = 0, limit = 600UL * 44100, k;
    int32_t order = -1, n = 1;
    xme_song* song;
    xme_player* player;
    FILE* out;
    if (argc != 3) return fprintf(stderr, "usage: render_wav SONG.xm OUT.wav\n"), 2;
    if (xme_song_load_file(argv[1], &song, message, sizeof message) != XME_OK)
        return fprintf(stderr, "render_wav: %s: %s\n", argv[1], message), 1;
    if (xme_player_create(44100, &player) != XME_OK || !(out = fopen(argv[2], "wb")))
        return fprintf(stderr, "render_wav: cannot write %s\n", argv[2]), 1;
    xme_player_start(player, song); /* the player holds the song now */
    xme_song_free(song);
    xme_player_set_row_callback(player, on_row, &order);
    wav_header(out, 0);
    while (n > 0 && total < limit) {
        n = xme_render_s16(player, frames, limit - total < 4096 ? (int32_t)(limit - total) : 4096);
        for (k = 0; n > 0 && k < 2 * (unsigned long)n; ++k)
            put(out, (unsigned short)frames[k], 2);
        total += n > 0 ? (unsigned long)n : 0;
    }
    rewind(out), wav_header(out, total);
    xme_player_free(player);
    return fclose(out) == 0 ? 0 : 1;
}
