// The public interface (xmengine.h) as a program uses it: players side by side and on threads,
// exact seeks, the position and the row callback against the sequencer's own rows, loads
// through all three paths, and calls that must fail without harm.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "data/assets.h"
#include "engine/xmengine.h"
#include "song_player.h"
#include "xm_busy_song.h"

namespace {

using Pcm = std::vector<int16_t>;

struct TestSong {
    xme_song* song = nullptr;
    explicit TestSong(const std::vector<uint8_t>& image) {
        char message[256];
        EXPECT_EQ(xme_song_load_memory(image.data(), image.size(), &song, message, sizeof message),
                  XME_OK)
            << message;
    }
    ~TestSong() { xme_song_free(song); }
};

struct TestPlayer {
    xme_player* player = nullptr;
    explicit TestPlayer(xme_song* song, int32_t rate = 44100,
                        int32_t repeats = XME_REPEAT_FOREVER) {
        EXPECT_EQ(xme_player_create(rate, &player), XME_OK);
        EXPECT_EQ(xme_player_start(player, song), XME_OK);
        EXPECT_EQ(xme_player_set_repeats(player, repeats), XME_OK);
    }
    ~TestPlayer() { xme_player_free(player); }
    // frames frames in calls of the given sizes, taken in turn; in one call without sizes.
    Pcm render(int32_t frames, std::vector<int32_t> calls = {}) {
        if (calls.empty()) calls.push_back(std::max(frames, 1));
        Pcm pcm(2 * size_t(frames));
        for (int32_t done = 0, k = 0; done < frames; ++k) {
            const int32_t n = std::min(calls[k % calls.size()], frames - done);
            EXPECT_EQ(xme_render_s16(player, pcm.data() + 2 * done, n), n);
            done += n;
        }
        return pcm;
    }
};

// A song that moves about: a pattern loop, a break, a jump back, tempo and speed changes, a
// pattern delay, and notes on four channels that start, slide and stop.
std::vector<uint8_t> wanderingSong() {
    XmSong song;
    song.orders = {0, 1, 2, 1};
    song.restartPosition = 1;
    song.addInstrument(song_parts::longLoop());
    song.addInstrument(XmSample::pingPongLoop({0, 9000, 18000, 9000, 0, -9000}, 1, 4));
    XmPattern& a = song.addPattern(16);
    a.at(0, 0) = {49, 1};
    a.at(0, 1) = {61, 2, 0x30};
    a.at(2, 0) = {0, 0, 0, 0x0E, 0x60};  // loop start
    a.at(3, 2) = {56, 2, 0, 0x03, 0x20};
    a.at(5, 0) = {0, 0, 0, 0x0E, 0x62};      // twice back to row 2
    a.at(6, 3) = {44, 1, 0x50, 0x0F, 0x60};  // tempo 96
    a.at(9, 1) = {97};
    a.at(12, 0) = {0, 0, 0, 0x0D, 0x04};  // break to row 4
    XmPattern& b = song.addPattern(8);
    b.at(0, 0) = {37, 2, 0, 0x0F, 0x03};  // speed 3
    b.at(2, 1) = {0, 0, 0, 0x0E, 0xE2};   // pattern delay
    b.at(4, 2) = {73, 1, 0x20, 0x04, 0x46};
    b.at(7, 3) = {0, 0, 0, 0x0F, 0xA0};  // tempo 160
    XmPattern& c = song.addPattern(6);
    c.at(0, 0) = {50, 1, 0, 0x0A, 0x04};
    c.at(5, 0) = {0, 0, 0, 0x0B, 0x03};  // jump to order 3
    return buildXm(song);
}

std::vector<uint8_t> demoSong() {
    return std::vector<uint8_t>(songImage, songImage + songImageSize);
}

TEST(PlayerInterface, TwoPlayersInOneProcessEachRenderAsAlone) {
    const std::vector<uint8_t> busy = busySong(), wandering = wanderingSong();
    TestSong a(busy), b(wandering);
    constexpr int32_t kFrames = 4 * 44100;
    const Pcm aloneA = TestPlayer(a.song).render(kFrames);
    const Pcm aloneB = TestPlayer(b.song).render(kFrames);
    // Two songs, and the same loaded song twice, interleaved in calls of odd sizes.
    TestPlayer first(a.song), second(b.song), twin(a.song);
    Pcm gotFirst, gotSecond, gotTwin;
    const std::vector<int32_t> sizes = {1, 883, 7, 2000, 441, 3, 9999};
    for (size_t k = 0; gotFirst.size() < 2 * size_t(kFrames); ++k) {
        const int32_t n =
            std::min<int32_t>(sizes[k % sizes.size()], kFrames - int32_t(gotFirst.size() / 2));
        for (auto [player, pcm] : {std::pair{&first, &gotFirst}, std::pair{&second, &gotSecond},
                                   std::pair{&twin, &gotTwin}}) {
            const Pcm piece = player->render(n);
            pcm->insert(pcm->end(), piece.begin(), piece.end());
        }
    }
    EXPECT_TRUE(gotFirst == aloneA);
    EXPECT_TRUE(gotSecond == aloneB);
    EXPECT_TRUE(gotTwin == aloneA);
}

// Run under ThreadSanitizer too (the tsan-stream test preset).
TEST(PlayerThreads, PlayersOnTwoThreadsRenderAsAlone) {
    const std::vector<uint8_t> busy = busySong(), wandering = wanderingSong();
    TestSong a(busy), b(wandering);
    constexpr int32_t kFrames = 3 * 44100;
    const Pcm aloneA = TestPlayer(a.song).render(kFrames, {512});
    const Pcm aloneB = TestPlayer(b.song).render(kFrames, {700});
    Pcm onThreadA, onThreadB, onThreadShared;
    std::thread one([&] { onThreadA = TestPlayer(a.song).render(kFrames, {512}); });
    std::thread two([&] { onThreadB = TestPlayer(b.song).render(kFrames, {700}); });
    std::thread three([&] { onThreadShared = TestPlayer(a.song, 44100).render(kFrames, {333}); });
    one.join();
    two.join();
    three.join();
    EXPECT_TRUE(onThreadA == aloneA);
    EXPECT_TRUE(onThreadB == aloneB);
    EXPECT_TRUE(onThreadShared == aloneA);
}

TEST(PlayerInterface, ASeekToATimeGivesWhatAStraightRenderGivesFromThere) {
    const std::vector<uint8_t> images[] = {wanderingSong(), busySong(), demoSong()};
    for (int32_t rate : {44100, 8000}) {
        for (const std::vector<uint8_t>& image : images) {
            TestSong song(image);
            constexpr int32_t kTotal = 30 * 44100;
            const int32_t total = int32_t(int64_t{kTotal} * rate / 44100);
            const Pcm straight = TestPlayer(song.song, rate).render(total, {4096});
            TestPlayer seeking(song.song, rate);
            // Forward and back, inside ticks, on block lines, and at the very start.
            const int64_t targets[] = {total / 2 + 13, 884 * 7, total / 3, 1, 0, total - 5000};
            for (int64_t target : targets) {
                SCOPED_TRACE("rate " + std::to_string(rate) + " frame " + std::to_string(target));
                ASSERT_EQ(xme_player_seek_frame(seeking.player, target), XME_OK);
                xme_position position;
                ASSERT_EQ(xme_player_position(seeking.player, &position), XME_OK);
                EXPECT_EQ(position.frame, target);
                const Pcm after = seeking.render(5000, {1000, 17});
                ASSERT_TRUE(std::equal(after.begin(), after.end(), straight.begin() + 2 * target));
            }
            // Seconds are rounded to the nearest frame.
            ASSERT_EQ(xme_player_seek_seconds(seeking.player, 2.0 + 0.6 / rate), XME_OK);
            const Pcm after = seeking.render(100);
            EXPECT_TRUE(
                std::equal(after.begin(), after.end(), straight.begin() + 2 * (2 * rate + 1)));
        }
    }
}

// The rows the row callback reports, with the frame at which each starts, are the rows the
// sequencer reads tick by tick, at the frames its tick lengths add up to.
struct RowSeen {
    int32_t order, row;
    int64_t frame;
    bool operator==(const RowSeen&) const = default;
};

struct RowLog {
    std::vector<RowSeen> rows;
    int64_t callStart = 0;
};

void noteRow(void* user, const xme_position* position, int32_t offset) {
    RowLog& log = *static_cast<RowLog*>(user);
    log.rows.push_back({position->order, position->row, log.callStart + offset});
}

TEST(PlayerInterface, RowsReportedAreTheSequencersRowsOncePerRow) {
    const std::vector<uint8_t> image = wanderingSong();
    // The sequencer alone, tick by tick.
    LoadProblem problem;
    Module* module = loadModuleImage(image.data(), int32_t(image.size()), problem);
    ASSERT_NE(module, nullptr);
    ::Player* sequencer = createPlayer(44100);
    startSong(*sequencer, module);
    std::vector<RowSeen> expected;
    int64_t frame = 0;
    while (frame < 20 * 44100) {
        const bool readsRow = sequencer->tick == 0;
        playTick(*sequencer);
        if (readsRow) expected.push_back({sequencer->orderIndex, sequencer->row, frame});
        frame += sequencer->samplesPerTick;
    }
    freePlayer(sequencer);
    releaseModule(module);

    TestSong song(image);
    TestPlayer player(song.song);
    RowLog log;
    ASSERT_EQ(xme_player_set_row_callback(player.player, noteRow, &log), XME_OK);
    std::vector<int16_t> pcm(2 * 3000);
    const int32_t sizes[] = {3000, 1, 441, 882};
    for (int k = 0; log.callStart < 20 * 44100; ++k) {
        const int32_t n = sizes[k % 4];
        ASSERT_EQ(xme_render_s16(player.player, pcm.data(), n), n);
        log.callStart += n;
        // After every call the position is that of the row the last frame belongs to.
        xme_position position;
        ASSERT_EQ(xme_player_position(player.player, &position), XME_OK);
        EXPECT_EQ(position.frame, log.callStart);
        ASSERT_FALSE(log.rows.empty());
        EXPECT_EQ(position.row, log.rows.back().row);
        EXPECT_EQ(position.order, log.rows.back().order);
    }
    expected.resize(std::min(expected.size(), log.rows.size()));
    log.rows.resize(expected.size());
    EXPECT_GT(expected.size(), 300u);
    EXPECT_TRUE(log.rows == expected);
}

TEST(PlayerInterface, SongsEndWhereTheyComeBackAndAsOftenAsAsked) {
    const std::vector<uint8_t> image = wanderingSong();
    TestSong song(image);
    TestPlayer player(song.song, 44100, 0);
    int64_t length = 0;
    double seconds = 0;
    ASSERT_EQ(xme_player_song_length(player.player, &length, &seconds), XME_OK);
    EXPECT_DOUBLE_EQ(seconds, double(length) / 44100);
    // Rendered to its end in odd calls: exactly the length, then nothing, the rest silent.
    int64_t rendered = 0;
    std::vector<int16_t> pcm(2 * 1237, 1);
    for (int32_t got = 1; got > 0; rendered += got) {
        got = xme_render_s16(player.player, pcm.data(), 1237);
        if (got < 1237) {
            EXPECT_TRUE(
                std::all_of(pcm.begin() + 2 * got, pcm.end(), [](int16_t v) { return v == 0; }));
        }
    }
    EXPECT_EQ(rendered, length);
    xme_position position;
    xme_player_position(player.player, &position);
    EXPECT_EQ(position.ended, 1);
    EXPECT_EQ(position.loops, 1);
    // Two repeats more: the song goes on from its end, and ends after two more rounds, each
    // from the restart position on.
    ASSERT_EQ(xme_player_set_repeats(player.player, 2), XME_OK);
    int64_t more = 0;
    for (int32_t got = 1; got > 0; more += got)
        got = xme_render_s16(player.player, pcm.data(), 1237);
    xme_player_position(player.player, &position);
    EXPECT_EQ(position.loops, 3);
    EXPECT_GT(more, 0);
    // The frames across the first end are those of a player that never stops.
    TestPlayer forever(song.song);
    const Pcm straight = forever.render(int32_t(length + 3000));
    TestPlayer again(song.song, 44100, 0);
    again.render(int32_t(length));
    xme_player_set_repeats(again.player, XME_REPEAT_FOREVER);
    const Pcm across = again.render(3000);
    EXPECT_TRUE(std::equal(across.begin(), across.end(), straight.begin() + 2 * length));
}

TEST(PlayerInterface, AnOrderSeekPlaysThatOrderAtOnce) {
    const std::vector<uint8_t> image = wanderingSong();
    TestSong song(image);
    TestPlayer player(song.song);
    RowLog log;
    player.render(30000);
    xme_player_set_row_callback(player.player, noteRow, &log);
    ASSERT_EQ(xme_player_seek_order(player.player, 2), XME_OK);
    xme_position position;
    xme_player_position(player.player, &position);
    EXPECT_EQ(position.order, 2);
    EXPECT_EQ(position.row, 0);
    player.render(10);
    ASSERT_FALSE(log.rows.empty());
    EXPECT_EQ(log.rows[0].order, 2);
    EXPECT_EQ(log.rows[0].row, 0);
    EXPECT_EQ(xme_player_seek_order(player.player, 4), XME_ERROR_ARGUMENT);
    EXPECT_NE(std::string(xme_player_error(player.player)), "");
}

// Every refusal of the loader comes with its reason through all three ways of loading, and
// never a song.
struct MemoryReader {
    const std::vector<uint8_t>* image;
    int64_t at = 0;
};
int32_t readMemory(void* user, void* destination, int32_t count) {
    MemoryReader& r = *static_cast<MemoryReader*>(user);
    const int64_t n = std::min<int64_t>(count, int64_t(r.image->size()) - r.at);
    if (n <= 0) return 0;
    std::memcpy(destination, r.image->data() + r.at, size_t(n));
    r.at += n;
    return int32_t(n);
}
int32_t seekMemory(void* user, int64_t offset, int32_t whence) {
    MemoryReader& r = *static_cast<MemoryReader*>(user);
    const int64_t base = whence == XME_SEEK_SET   ? 0
                         : whence == XME_SEEK_CUR ? r.at
                                                  : int64_t(r.image->size());
    if (base + offset < 0 || base + offset > int64_t(r.image->size())) return -1;
    r.at = base + offset;
    return 0;
}
int64_t tellMemory(void* user) {
    return static_cast<MemoryReader*>(user)->at;
}

TEST(PlayerInterface, EveryRefusalHasItsMessageThroughEveryLoad) {
    XmSong good;
    good.addPattern(4);
    good.addInstrument(XmSample::oneShot({1, 2, 3}));
    std::vector<std::pair<std::vector<uint8_t>, std::string>> files;
    XmSong s = good;
    s.patterns[0].rowsField = 300;
    files.push_back({buildXm(s), "not a playable XM file: pattern 0 has 300 rows, more than 256"});
    s = good;
    s.channelsField = 40;
    files.push_back(
        {buildXm(s), "not a playable XM file: the song header gives 40 channels, not 1 to 32"});
    s = good;
    s.instruments[0].samples[0].lengthField = 4;
    files.push_back({buildXm(s),
                     "not a playable XM file: the sample data of instrument 1 is cut short (4 "
                     "bytes, 3 left in the file)"});
    std::vector<uint8_t> cut = buildXm(good);
    cut.resize(100);
    files.push_back(
        {cut, "not a playable XM file: the song header is cut short (100 of 336 bytes)"});
    files.push_back(
        {std::vector<uint8_t>(400, 'x'), "not an XM file (no \"Extended Module: \" signature)"});
    files.push_back({{}, "not an XM file (no \"Extended Module: \" signature)"});

    const std::string path = ::testing::TempDir() + "xmengine_test.xm";
    for (const auto& [image, reason] : files) {
        SCOPED_TRACE(reason);
        xme_song* song = reinterpret_cast<xme_song*>(1);
        char message[256] = "unchanged";
        EXPECT_EQ(xme_song_load_memory(image.data(), image.size(), &song, message, sizeof message),
                  XME_ERROR_FORMAT);
        EXPECT_EQ(song, nullptr);
        EXPECT_EQ(std::string(message), reason);

        std::FILE* file = std::fopen(path.c_str(), "wb");
        if (!image.empty()) std::fwrite(image.data(), 1, image.size(), file);
        std::fclose(file);
        EXPECT_EQ(xme_song_load_file(path.c_str(), &song, message, sizeof message),
                  XME_ERROR_FORMAT);
        EXPECT_EQ(song, nullptr);
        EXPECT_EQ(std::string(message), reason);

        MemoryReader reader{&image};
        const xme_io io = {readMemory, seekMemory, tellMemory, &reader};
        EXPECT_EQ(xme_song_load_io(&io, &song, message, sizeof message), XME_ERROR_FORMAT);
        EXPECT_EQ(song, nullptr);
        EXPECT_EQ(std::string(message), reason);
    }
    std::remove(path.c_str());

    // The good file loads the same three ways.
    const std::vector<uint8_t> image = buildXm(good);
    MemoryReader reader{&image};
    const xme_io io = {readMemory, seekMemory, tellMemory, &reader};
    xme_song* song = nullptr;
    char message[8] = "x";
    ASSERT_EQ(xme_song_load_io(&io, &song, message, sizeof message), XME_OK);
    EXPECT_STREQ(message, "");
    xme_song_info info;
    ASSERT_EQ(xme_song_get_info(song, &info), XME_OK);
    EXPECT_STREQ(info.name, "test song");
    EXPECT_EQ(info.channels, 4);
    xme_song_free(song);

    EXPECT_EQ(xme_song_load_file((path + ".missing").c_str(), &song, message, sizeof message),
              XME_ERROR_FILE);
    EXPECT_STREQ(message, "cannot ");  // cut to the buffer: "cannot open: ..."
}

TEST(PlayerInterface, BadCallsFailWithoutHarm) {
    xme_player* player = nullptr;
    EXPECT_EQ(xme_player_create(7999, &player), XME_ERROR_ARGUMENT);
    EXPECT_EQ(xme_player_create(192001, &player), XME_ERROR_ARGUMENT);
    EXPECT_EQ(xme_player_create(44100, nullptr), XME_ERROR_ARGUMENT);
    EXPECT_EQ(player, nullptr);
    int16_t pcm[64];
    EXPECT_EQ(xme_render_s16(nullptr, pcm, 32), XME_ERROR_ARGUMENT);
    EXPECT_STRNE(xme_player_error(nullptr), "");
    ASSERT_EQ(xme_player_create(192000, &player), XME_OK);
    // A player with no song: every call that needs one says so.
    EXPECT_EQ(xme_render_s16(player, pcm, 32), XME_ERROR_NO_SONG);
    EXPECT_STREQ(xme_player_error(player), "the player has no song");
    EXPECT_EQ(xme_player_seek_seconds(player, 1.0), XME_ERROR_NO_SONG);
    EXPECT_EQ(xme_player_seek_order(player, 0), XME_ERROR_NO_SONG);
    EXPECT_EQ(xme_player_song_length(player, nullptr, nullptr), XME_ERROR_NO_SONG);
    xme_position position;
    EXPECT_EQ(xme_player_position(player, &position), XME_ERROR_NO_SONG);
    xme_channel_info channel;
    EXPECT_EQ(xme_player_channel_info(player, 0, &channel), XME_ERROR_NO_SONG);
    // Nonsense numbers.
    const std::vector<uint8_t> image = wanderingSong();
    TestSong song(image);
    ASSERT_EQ(xme_player_start(player, song.song), XME_OK);
    EXPECT_EQ(xme_render_s16(player, nullptr, 32), XME_ERROR_ARGUMENT);
    EXPECT_EQ(xme_render_s16(player, pcm, -1), XME_ERROR_ARGUMENT);
    EXPECT_EQ(xme_render_s16(player, pcm, 0), 0);
    EXPECT_EQ(xme_player_seek_seconds(player, -1.0), XME_ERROR_ARGUMENT);
    EXPECT_EQ(xme_player_seek_seconds(player, 0.0 / 0.0), XME_ERROR_ARGUMENT);
    EXPECT_EQ(xme_player_seek_frame(player, -5), XME_ERROR_ARGUMENT);
    EXPECT_EQ(xme_player_mute_channel(player, 32, 1), XME_ERROR_ARGUMENT);
    EXPECT_EQ(xme_player_channel_info(player, 4, &channel), XME_ERROR_ARGUMENT);
    EXPECT_EQ(xme_player_set_repeats(player, -2), XME_ERROR_ARGUMENT);
    EXPECT_EQ(xme_song_order(song.song, 4), XME_ERROR_ARGUMENT);
    xme_cell cell;
    EXPECT_EQ(xme_song_pattern_cell(song.song, 0, 16, 0, &cell), XME_ERROR_ARGUMENT);
    EXPECT_EQ(xme_song_pattern_cell(song.song, 3, 0, 0, &cell), XME_ERROR_ARGUMENT);
    EXPECT_EQ(xme_song_instrument_info(song.song, 0, nullptr), XME_ERROR_ARGUMENT);
    // The song freed by its loader stays with the player that plays it.
    xme_song* own = nullptr;
    ASSERT_EQ(xme_song_load_memory(image.data(), image.size(), &own, nullptr, 0), XME_OK);
    ASSERT_EQ(xme_player_start(player, own), XME_OK);
    xme_song_free(own);
    EXPECT_EQ(xme_render_s16(player, pcm, 32), 32);
    xme_player_free(player);
}

// A muted channel is left out of the sound and nothing else: unmuted again, the song sounds as
// if it never had been.
TEST(PlayerInterface, MutingLeavesOutAChannelAndNothingElse) {
    const std::vector<uint8_t> image = busySong();
    TestSong song(image);
    const Pcm straight = TestPlayer(song.song).render(3 * 44100);
    TestPlayer player(song.song);
    const Pcm before = player.render(44100);
    ASSERT_EQ(xme_player_mute_channel(player.player, 0, 1), XME_OK);
    const Pcm muted = player.render(44100);
    xme_player_mute_channel(player.player, 0, 0);
    const Pcm after = player.render(44100);
    EXPECT_TRUE(std::equal(before.begin(), before.end(), straight.begin()));
    EXPECT_FALSE(std::equal(muted.begin(), muted.end(), straight.begin() + 2 * 44100));
    EXPECT_TRUE(std::equal(after.begin(), after.end(), straight.begin() + 2 * 88200));
}

}  // namespace
