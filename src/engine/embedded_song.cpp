// The demo's memory image: the song compiled into the program. In a file of its own so that
// only a program that plays the song links it.
#include "data/assets.h"
#include "engine/file_access.h"

void useEmbeddedSong() {
    setMemoryImage(songImage, static_cast<int32_t>(songImageSize));
}
