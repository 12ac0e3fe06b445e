// The song, an XM image made by tools/song/make_song.py from tools/song/score.txt.
#include "data/assets.h"

extern const unsigned char asset_song[];
extern const unsigned asset_song_size;

const uint8_t* const songImage = asset_song;
const uint32_t songImageSize = asset_song_size;
