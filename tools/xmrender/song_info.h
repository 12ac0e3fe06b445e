// The song header, order list, instruments and samples of a loaded song, as text.
#pragma once
#include <cstdint>
#include <cstdio>

#include "engine/module.h"

// The first bytes of an XM file: signature, title, tracker name, version and header size.
constexpr int kFileHeadBytes = 64;

void printSongInfo(std::FILE* out, const uint8_t* fileHead, const Module& module);
