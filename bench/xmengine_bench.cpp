// The public interface's costs: rendering in calls of a game's or a demo's buffer size, a seek
// to a time, and the memory that a player and a loaded song take (the bytes malloc hands out
// for them, against the song file's size).
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <vector>

#include "data/assets.h"
#include "engine/xmengine.h"
#include "xm_busy_song.h"

namespace {

struct BenchSong {
    const char* name;
    std::vector<uint8_t> image;
};

const std::vector<BenchSong>& songs() {
    static const std::vector<BenchSong> all = {
        {"demo song", std::vector<uint8_t>(songImage, songImage + songImageSize)},
        {"busy 32 channels", busySong()},
    };
    return all;
}

xme_song* load(const BenchSong& song) {
    xme_song* loaded = nullptr;
    xme_song_load_memory(song.image.data(), song.image.size(), &loaded, nullptr, 0);
    return loaded;
}

// A player at 44100 Hz that plays the song for ever, freed with it.
struct LoopingPlayer {
    xme_song* song;
    xme_player* player = nullptr;
    explicit LoopingPlayer(const BenchSong& bench) : song(load(bench)) {
        xme_player_create(44100, &player);
        xme_player_start(player, song);
        xme_player_set_repeats(player, XME_REPEAT_FOREVER);
    }
    ~LoopingPlayer() {
        xme_player_free(player);
        xme_song_free(song);
    }
    LoopingPlayer(const LoopingPlayer&) = delete;
    LoopingPlayer& operator=(const LoopingPlayer&) = delete;
};

size_t heapInUse() {
    return mallinfo2().uordblks;
}

// Frames of 44100 Hz stereo in calls of 1024 frames, the song looping.
void renderThroughTheInterface(benchmark::State& state) {
    const BenchSong& song = songs()[size_t(state.range(0))];
    LoopingPlayer looping(song);
    xme_player* player = looping.player;
    std::vector<int16_t> buffer(2 * 1024);
    for (auto _ : state) {
        xme_render_s16(player, buffer.data(), 1024);
        benchmark::DoNotOptimize(buffer.data());
    }
    state.counters["x_realtime"] =
        benchmark::Counter(double(state.iterations()) * 1024 / 44100, benchmark::Counter::kIsRate);
    state.SetLabel(song.name);
}
BENCHMARK(renderThroughTheInterface)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// A seek to 60 s from the start: the song played through without mixing up to there.
void seekSixtySeconds(benchmark::State& state) {
    const BenchSong& song = songs()[size_t(state.range(0))];
    LoopingPlayer looping(song);
    xme_player* player = looping.player;
    for (auto _ : state) {
        xme_player_seek_frame(player, 0);
        xme_player_seek_seconds(player, 60.0);
    }
    state.SetLabel(song.name);
}
BENCHMARK(seekSixtySeconds)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// The bytes of one player at 44100 Hz, and of each song loaded beside its file.
void memoryOfPlayersAndSongs(benchmark::State& state) {
    size_t playerBytes = 0, songBytes = 0;
    const BenchSong& song = songs()[size_t(state.range(0))];
    for (auto _ : state) {
        const size_t before = heapInUse();
        xme_player* player = nullptr;
        xme_player_create(44100, &player);
        playerBytes = heapInUse() - before;
        const size_t beforeSong = heapInUse();
        xme_song* loaded = load(song);
        songBytes = heapInUse() - beforeSong;
        xme_song_free(loaded);
        xme_player_free(player);
    }
    state.counters["player_bytes"] = double(playerBytes);
    state.counters["song_bytes"] = double(songBytes);
    state.counters["file_bytes"] = double(song.image.size());
    state.SetLabel(song.name);
}
BENCHMARK(memoryOfPlayersAndSongs)->Arg(0)->Arg(1)->Iterations(1);

}  // namespace
