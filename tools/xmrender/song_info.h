// The song header, order list, instruments and samples of a loaded song, as text.
#pragma once
#include <cstdio>

#include "xmengine.h"

void printSongInfo(std::FILE* out, const xme_song* song);
