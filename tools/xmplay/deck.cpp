#include "deck.h"

#include <cstring>

namespace {

void onRow(void* user, const xme_position* position, int32_t frameOffset) {
    Deck& deck = *static_cast<Deck*>(user);
    RowMark& mark = deck.marks[deck.markCount % kDeckRowMarks];
    mark = {deck.mixedFrames + frameOffset,
            position->frame,
            position->order,
            position->pattern,
            position->row,
            position->speed,
            position->tempo};
    ++deck.markCount;
}

// Renders the next block into its slot of the ring, with the channels' levels after it.
void renderBlock(Deck& deck) {
    const int32_t slot = static_cast<int32_t>(deck.mixedFrames / kDeckBlockFrames % kDeckBlocks);
    int16_t* frames = deck.ring + 2 * static_cast<size_t>(slot) * kDeckBlockFrames;
    const int32_t rendered = xme_render_s16(deck.player, frames, kDeckBlockFrames);
    if (rendered < kDeckBlockFrames && deck.endFrame < 0)
        deck.endFrame = deck.mixedFrames + (rendered > 0 ? rendered : 0);
    uint8_t* levels = deck.blockLevels[slot];
    std::memset(levels, 0, kDeckChannels);
    for (int32_t channel = 0; channel < deck.channels && deck.endFrame < 0; ++channel) {
        xme_channel_info info;
        // A muted channel's notes go on unheard, so its level shows silence.
        if (xme_player_channel_info(deck.player, channel, &info) == XME_OK && !info.muted)
            levels[channel] = static_cast<uint8_t>(info.level);
    }
    deck.mixedFrames += kDeckBlockFrames;
    // The device's thread reads the ring: what was written here happens before its next read.
    publishRing();
}

// Starts the device on a ring rendered from where the player is now.
void restartDevice(Deck& deck) {
    deck.device->reset();
    deck.mixedFrames = 0;
    deck.endFrame = -1;
    deck.markCount = 0;
    // The row the player stands in, for the frames before the first row start rendered.
    xme_position position;
    if (xme_player_position(deck.player, &position) == XME_OK) {
        deck.marks[0] = {0,
                         position.frame,
                         position.order,
                         position.pattern,
                         position.row,
                         position.speed,
                         position.tempo};
        deck.markCount = 1;
        if (position.ended) deck.endFrame = 0;
    }
    for (int32_t block = 0; block < kDeckBlocks; ++block)
        renderBlock(deck);
    deck.paused = false;
    deck.device->play();
}

int64_t deviceFrame(const Deck& deck) {
    return static_cast<int64_t>(deck.device->position() / kFrameBytes);
}

// Moves the player to the frame heard, from which the device starts again.
void seekToHeard(Deck& deck) {
    const HeardPosition heard = heardPosition(deck);
    deck.device->reset();
    xme_player_seek_frame(deck.player, heard.songFrame);
}

}  // namespace

bool openDeck(Deck& deck, const OutputDevice* device) {
    deck.device = device;
    deck.deviceOpen = device && device->open(kDeckRate);
    if (!deck.deviceOpen) return false;
    std::memset(deck.ring, 0, sizeof deck.ring);
    device->prepare(deck.ring, static_cast<uint32_t>(sizeof deck.ring));
    return true;
}

void closeDeck(Deck& deck) {
    if (deck.deviceOpen) {
        deck.device->reset();
        deck.device->unprepare();
        deck.device->close();
        deck.deviceOpen = false;
    }
    xme_player_free(deck.player);
    deck.player = nullptr;
}

int32_t startDeck(Deck& deck, xme_song* song, int32_t repeats) {
    deck.device->reset();
    xme_player_free(deck.player);
    deck.player = nullptr;
    deck.mutedChannels = 0;
    xme_song_info info;
    int32_t status = xme_song_get_info(song, &info);
    if (status != XME_OK) return status;
    deck.channels = info.channels < kDeckChannels ? info.channels : kDeckChannels;
    deck.orders = info.orders;
    status = xme_player_create(kDeckRate, &deck.player);
    if (status != XME_OK) return status;
    xme_player_set_row_callback(deck.player, onRow, &deck);
    xme_player_set_repeats(deck.player, repeats);
    status = xme_player_start(deck.player, song);
    if (status != XME_OK) return status;
    restartDevice(deck);
    return XME_OK;
}

// The device reads the ring on a thread of its own (SDL's callback); the slots written here are
// those it has played, and it comes to them again only a ring's length later.
void refillDeck(Deck& deck) {
    if (!deck.player || deck.paused) return;
    const int64_t playing = deviceFrame(deck);
    if (playing > deck.mixedFrames)
        deck.lateBlocks +=
            static_cast<uint32_t>((playing - deck.mixedFrames) / kDeckBlockFrames + 1);
    // A slot is free once the device has played every frame of it.
    while (deck.mixedFrames + kDeckBlockFrames <= playing + kDeckRingFrames)
        renderBlock(deck);
}

HeardPosition heardPosition(const Deck& deck) {
    if (deck.paused) return deck.pausedAt;
    HeardPosition heard{};
    if (!deck.player || deck.markCount == 0) return heard;
    int64_t frame = deviceFrame(deck);
    heard.finished = deck.endFrame >= 0 && frame >= deck.endFrame;
    if (deck.endFrame >= 0 && frame > deck.endFrame) frame = deck.endFrame;
    // The newest row that started at or before the frame; the oldest kept if none did.
    const int64_t oldest = deck.markCount > kDeckRowMarks ? deck.markCount - kDeckRowMarks : 0;
    int64_t k = deck.markCount - 1;
    while (k > oldest && deck.marks[k % kDeckRowMarks].deviceFrame > frame)
        --k;
    const RowMark& mark = deck.marks[k % kDeckRowMarks];
    heard.order = mark.order;
    heard.pattern = mark.pattern;
    heard.row = mark.row;
    heard.speed = mark.speed;
    heard.tempo = mark.tempo;
    heard.songFrame = mark.songFrame + (frame - mark.deviceFrame);
    if (!heard.finished && frame < deck.mixedFrames && frame + kDeckRingFrames >= deck.mixedFrames)
        std::memcpy(heard.levels, deck.blockLevels[frame / kDeckBlockFrames % kDeckBlocks],
                    kDeckChannels);
    return heard;
}

void pauseDeck(Deck& deck) {
    if (!deck.player || deck.paused) return;
    deck.pausedAt = heardPosition(deck);
    std::memset(deck.pausedAt.levels, 0, sizeof deck.pausedAt.levels);
    deck.device->reset();
    deck.paused = true;
}

void resumeDeck(Deck& deck) {
    if (!deck.player || !deck.paused) return;
    xme_player_seek_frame(deck.player, deck.pausedAt.songFrame);
    restartDevice(deck);
}

void stepDeckOrder(Deck& deck, int step) {
    if (!deck.player) return;
    const HeardPosition heard = heardPosition(deck);
    int32_t target = heard.order + step;
    if (target < 0) target = 0;         // the first order plays again from its start
    if (target >= deck.orders) return;  // past the last order there is nowhere to go
    if (deck.paused) {
        xme_player_seek_frame(deck.player, deck.pausedAt.songFrame);
    } else {
        seekToHeard(deck);
    }
    xme_player_seek_order(deck.player, target);
    restartDevice(deck);
}

void toggleDeckMute(Deck& deck, int channel) {
    if (!deck.player || channel < 0 || channel >= deck.channels) return;
    deck.mutedChannels ^= uint32_t{1} << channel;
    xme_player_mute_channel(deck.player, channel, deck.mutedChannels >> channel & 1);
    if (deck.paused) return;  // heard from the resume on
    seekToHeard(deck);
    restartDevice(deck);
}
