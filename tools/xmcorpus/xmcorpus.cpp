// xmcorpus DIR: writes the small XM images of the loader tests into DIR, one file each, as the
// seed corpus of the loader's fuzzer, and beside them busy_32_channels.xm, the song of 32
// channels that the render checks and the speed benchmarks play, and the songs of the player's
// checks: every_effect.xm, first_tune.xm and second_tune.xm.
#include <cstdio>
#include <string>

#include "xm_busy_song.h"
#include "xm_corpus.h"
#include "xm_player_songs.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: xmcorpus DIR\n");
        return 2;
    }
    auto songs = seedCorpus();
    songs.emplace_back("busy_32_channels", busySong());
    songs.emplace_back("every_effect", notationSong());
    songs.emplace_back("first_tune", playerTune("First tune", 8, 0));
    songs.emplace_back("second_tune", playerTune("Second tune", 6, 5));
    for (const auto& [name, image] : songs) {
        const std::string path = std::string(argv[1]) + "/" + name + ".xm";
        std::FILE* file = std::fopen(path.c_str(), "wb");
        if (!file || std::fwrite(image.data(), 1, image.size(), file) != image.size()) {
            std::fprintf(stderr, "xmcorpus: cannot write %s\n", path.c_str());
            if (file) std::fclose(file);
            return 1;
        }
        std::fclose(file);
    }
    return 0;
}
