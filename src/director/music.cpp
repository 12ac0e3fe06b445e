// The director's side of the music: the sound engine reads the song compiled into the program
// through the memory callbacks, the output is opened and the song loaded at start-up, and the
// song starts playing in frame 1. After that the director never calls the engine again.
#include "data/assets.h"
#include "director/scenes.h"
#include "engine/file_access.h"
#include "engine/module.h"
#include "engine/output.h"

namespace {

// Loaded at start-up and kept for the whole run.
Module* song = nullptr;

}  // namespace

void registerSongFiles() {
    setMemoryImage(songImage, static_cast<int32_t>(songImageSize));
    setFileCallbacks(memoryOpen, memoryClose, memoryRead, memorySeek, memoryTell);
}

StartUp openMusic() {
    if (!openOutput(kOutputRate)) {
        destroyRenderers();
        return StartUp::NoSoundOutput;
    }
    // The demo starts up once; a song of an earlier start-up (in tests) is replaced.
    if (song != nullptr) freeModule(song);
    song = loadModule("snydt");
    if (song == nullptr) {
        destroyRenderers();
        return StartUp::NoSong;
    }
    return StartUp::Started;
}

void startMusic() {
    startPlayback(song);
}
