// libFuzzer target for the public interface (xmengine.h): the input is a program of calls,
// then the songs it plays. Loads through memory and through reading functions, players at any
// rate, renders of any size into 16-bit and float buffers, seeks, mutes, repeats, positions,
// song information and frees come in whatever order and with whatever numbers the input says,
// null pointers and absurd sizes included. Every call must return a status or a count that
// keeps the interface's promises, and nothing may crash.
//
// The bytes before the first "Extended Module: " signature are the program; each signature
// starts a song. An input without one plays the song compiled into the demo.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "data/assets.h"
#include "engine/xmengine.h"

namespace {

void require(bool condition) {
    if (!condition) __builtin_trap();
}

constexpr char kSignature[] = "Extended Module: ";
constexpr size_t kSignatureLength = sizeof kSignature - 1;

// Frames rendered, and frames a seek may move over, per input: enough to pass loops and ends,
// little enough for many runs a second.
constexpr int64_t kFrameBudget = 1 << 19;
constexpr int32_t kLargestRender = 1 << 14;

struct Program {
    const uint8_t* at;
    const uint8_t* end;
    uint8_t byte() { return at < end ? *at++ : 0; }
    uint32_t number(int bytes) {
        uint32_t n = 0;
        for (int k = 0; k < bytes; ++k)
            n = n << 8 | byte();
        return n;
    }
    bool done() const { return at >= end; }
};

struct Image {
    const uint8_t* data;
    size_t size;
    size_t at;
};

int32_t readImage(void* user, void* destination, int32_t count) {
    Image& image = *static_cast<Image*>(user);
    size_t n = count < 0 ? 0 : static_cast<size_t>(count);
    if (n > image.size - image.at) n = image.size - image.at;
    std::memcpy(destination, image.data + image.at, n);
    image.at += n;
    return static_cast<int32_t>(n);
}
int32_t seekImage(void* user, int64_t offset, int32_t whence) {
    Image& image = *static_cast<Image*>(user);
    const int64_t base = whence == XME_SEEK_SET   ? 0
                         : whence == XME_SEEK_CUR ? static_cast<int64_t>(image.at)
                                                  : static_cast<int64_t>(image.size);
    if (base + offset < 0 || base + offset > static_cast<int64_t>(image.size)) return -1;
    image.at = static_cast<size_t>(base + offset);
    return 0;
}
int64_t tellImage(void* user) {
    return static_cast<int64_t>(static_cast<Image*>(user)->at);
}

// The row callback checks what it is given against the call under way.
struct RowCheck {
    int32_t callFrames;
};
void checkRow(void* user, const xme_position* position, int32_t offset) {
    const RowCheck& check = *static_cast<RowCheck*>(user);
    require(position != nullptr && offset >= 0 && offset < check.callFrames);
    require(position->tick == 0 && position->row >= 0 && position->row < 256);
}

int16_t pcm[2 * kLargestRender];
float floats[2 * kLargestRender];

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<Image> images;
    const uint8_t* first =
        static_cast<const uint8_t*>(memmem(data, size, kSignature, kSignatureLength));
    for (const uint8_t* start = first; start;) {
        const size_t rest = size - static_cast<size_t>(start - data);
        const uint8_t* next = rest > 1 ? static_cast<const uint8_t*>(memmem(
                                             start + 1, rest - 1, kSignature, kSignatureLength))
                                       : nullptr;
        images.push_back({start, static_cast<size_t>((next ? next : data + size) - start), 0});
        start = next;
    }
    if (images.empty()) images.push_back({songImage, songImageSize, 0});
    Program program{data, first ? first : data + size};

    xme_song* songs[2] = {};
    xme_player* players[2] = {};
    RowCheck checks[2] = {};
    int64_t budget = kFrameBudget;
    char message[64];
    while (!program.done()) {
        const uint8_t op = program.byte();
        const int p = op >> 7 & 1;  // the player slot
        const int s = op >> 6 & 1;  // the song slot
        xme_player* player = players[p];
        switch (op & 0x0F) {
            case 0: {  // load from memory, or through reading functions
                Image& image = images[program.byte() % images.size()];
                xme_song_free(songs[s]);
                songs[s] = nullptr;
                int32_t status;
                if (op & 0x10) {
                    image.at = 0;
                    const xme_io io = {readImage, seekImage, tellImage, &image};
                    status = xme_song_load_io(&io, &songs[s], message, sizeof message);
                } else {
                    status = xme_song_load_memory(image.data, image.size, &songs[s], message,
                                                  op & 0x20 ? 0 : sizeof message);
                }
                require((status == XME_OK) == (songs[s] != nullptr));
                require(status != XME_OK || (op & 0x20) || message[0] == '\0');
                break;
            }
            case 1: {  // a player at any rate, in range or not
                const int32_t rate = static_cast<int32_t>(program.number(3)) - 100;
                xme_player_free(players[p]);
                players[p] = nullptr;
                const int32_t status = xme_player_create(rate, &players[p]);
                require((status == XME_OK) ==
                        (rate >= XME_LOWEST_RATE && rate <= XME_HIGHEST_RATE));
                require((status == XME_OK) == (players[p] != nullptr));
                break;
            }
            case 2:
                require(xme_player_start(player, op & 0x10 ? nullptr : songs[s]) ==
                        (player ? XME_OK : XME_ERROR_ARGUMENT));
                break;
            case 3:
            case 4: {  // a render of any size, 16-bit or float, into a buffer or none
                int32_t frames = static_cast<int32_t>(program.number(2)) % (kLargestRender + 2) - 1;
                if (frames > budget) frames = static_cast<int32_t>(budget);
                xme_position before{}, after{};
                const bool known = xme_player_position(player, &before) == XME_OK;
                checks[p].callFrames = frames;
                const int32_t got =
                    (op & 0x0F) == 3
                        ? xme_render_s16(player, op & 0x10 ? nullptr : pcm, frames)
                        : xme_render_float(player, op & 0x10 ? nullptr : floats, frames);
                require(got <= frames);
                if (got > 0) {
                    budget -= got;
                    require(known && xme_player_position(player, &after) == XME_OK);
                    require(after.frame == before.frame + got);
                }
                break;
            }
            case 5: {  // a seek to a frame, forward or back, within the budget
                const int64_t frame = static_cast<int64_t>(program.number(3)) - 1000;
                xme_position now{};
                const bool known = xme_player_position(player, &now) == XME_OK;
                const int64_t distance = known && frame >= now.frame ? frame - now.frame : frame;
                if (distance > budget) break;
                budget -= distance > 0 ? distance : 0;
                const int32_t status = xme_player_seek_frame(player, frame);
                if (status == XME_OK) {
                    require(xme_player_position(player, &now) == XME_OK);
                    require(now.frame <= frame && (now.frame == frame || now.ended));
                }
                break;
            }
            case 6: {  // seconds, any double the bytes make
                uint64_t bits = static_cast<uint64_t>(program.number(4)) << 32 | program.number(4);
                double seconds;
                std::memcpy(&seconds, &bits, sizeof seconds);
                if (std::isfinite(seconds) && seconds >= 0 && seconds * 192000 > budget) break;
                xme_player_seek_seconds(player, seconds);
                break;
            }
            case 7:
                xme_player_seek_order(player, static_cast<int8_t>(program.byte()));
                break;
            case 8:
                xme_player_mute_channel(player, static_cast<int8_t>(program.byte()), op & 0x10);
                break;
            case 9:
                xme_player_set_repeats(player, static_cast<int8_t>(program.byte()));
                break;
            case 10: {  // what a program asks between renders
                xme_position position;
                xme_channel_info channel;
                const int32_t index = static_cast<int8_t>(program.byte());
                if (xme_player_position(player, &position) == XME_OK) {
                    require(position.frame >= 0 && position.row >= 0 && position.tick >= 0);
                }
                if (xme_player_channel_info(player, index, &channel) == XME_OK) {
                    require(channel.level >= 0 && channel.level <= 64);
                    require(channel.panning >= 0 && channel.panning <= 255);
                }
                xme_player_channel_info(player, index, nullptr);
                xme_player_position(player, nullptr);
                require(xme_player_error(player) != nullptr);
                break;
            }
            case 11: {  // song information at any index
                const int32_t a = static_cast<int8_t>(program.byte());
                const int32_t b = static_cast<int8_t>(program.byte());
                xme_song_info info;
                xme_pattern_info pattern;
                xme_cell cell;
                xme_instrument_info instrument;
                xme_sample_info sample;
                if (xme_song_get_info(songs[s], &info) == XME_OK) {
                    require(info.channels >= 1 && info.channels <= 32);
                    require(info.name[20] == '\0' && info.tracker[20] == '\0');
                }
                xme_song_order(songs[s], a);
                if (xme_song_pattern_info(songs[s], a & 0xFF, &pattern) == XME_OK) {
                    require(pattern.rows >= 0 && pattern.rows <= 256);
                }
                xme_song_pattern_cell(songs[s], a & 0xFF, b & 0xFF, a & 31, &cell);
                xme_song_instrument_info(songs[s], a, &instrument);
                xme_song_sample_info(songs[s], a, b, &sample);
                xme_song_get_info(songs[s], nullptr);
                break;
            }
            case 12:
                // Once a song is known to end within the budget, its length is quick to find.
                if (budget == kFrameBudget) xme_player_song_length(player, nullptr, nullptr);
                budget = 0;
                break;
            case 13:
                xme_player_set_row_callback(player, op & 0x10 ? nullptr : checkRow, &checks[p]);
                break;
            case 14:
                xme_player_free(players[p]);
                players[p] = nullptr;
                break;
            case 15:
                xme_song_free(songs[s]);
                songs[s] = nullptr;
                break;
        }
    }
    for (xme_player* player : players)
        xme_player_free(player);
    for (xme_song* song : songs)
        xme_song_free(song);
    return 0;
}
