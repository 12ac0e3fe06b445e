// A small writer of XM images for the tests and the tools: songs with patterns, instruments,
// envelopes and samples are described as plain structs and turned into the bytes of a file. Every
// header field the loader checks can be overridden, so that broken files are as easy to write as
// good ones.
//
//   XmSong song;                       // 4 channels, one order entry naming pattern 0
//   song.addPattern(16).at(0, 0) = {49, 1};        // C-4 with instrument 1 on row 0
//   XmInstrument& piano = song.addInstrument();
//   piano.samples.push_back(XmSample::forwardLoop({0, 40, 80, 40}, 0, 4));
//   std::vector<uint8_t> image = buildXm(song);    // the bytes of the file
#pragma once
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

// A cell as it is written: note 97 is key off.
struct XmCell {
    uint8_t note = 0;
    uint8_t instrument = 0;
    uint8_t volume = 0;
    uint8_t effect = 0;
    uint8_t parameter = 0;
};

// An envelope point as the file stores it: a tick and a value (0..64).
struct XmPoint {
    uint16_t x;
    uint16_t y;
};

// The bits of an envelope's type byte.
constexpr uint8_t kXmEnvelopeOn = 0x01;
constexpr uint8_t kXmEnvelopeSustain = 0x02;
constexpr uint8_t kXmEnvelopeLoop = 0x04;

struct XmEnvelope {
    std::vector<XmPoint> points;  // at most 12 are written
    uint8_t sustain = 0;
    uint8_t loopStart = 0;
    uint8_t loopEnd = 0;
    uint8_t type = 0;                        // kXmEnvelopeOn | kXmEnvelopeSustain | kXmEnvelopeLoop
    std::optional<uint8_t> pointCountField;  // written instead of points.size()

    static XmEnvelope of(std::vector<XmPoint> points, uint8_t type, uint8_t sustain = 0,
                         uint8_t loopStart = 0, uint8_t loopEnd = 0) {
        XmEnvelope e;
        e.points = std::move(points);
        e.type = type;
        e.sustain = sustain;
        e.loopStart = loopStart;
        e.loopEnd = loopEnd;
        return e;
    }
};

struct XmSample {
    // The sample's values: -128..127 for 8-bit samples, -32768..32767 for 16-bit ones. They
    // are written delta-coded, as XM stores them.
    std::vector<int16_t> values;
    bool sixteenBit = false;
    // When not empty, written as the data instead of values: the bytes exactly as stored.
    std::vector<uint8_t> rawData;
    uint8_t loop = 0;         // 0 none, 1 forward, 2 ping-pong (the type byte's low bits)
    uint32_t loopStart = 0;   // in values
    uint32_t loopLength = 0;  // in values
    uint8_t volume = 64;
    int8_t finetune = 0;
    uint8_t panning = 128;
    int8_t relativeNote = 0;
    std::string name = "sample";  // 22 bytes at most
    // Header fields in bytes, written instead of the ones that follow from the above.
    std::optional<uint32_t> lengthField, loopStartField, loopLengthField;
    std::optional<uint8_t> typeField;

    static XmSample oneShot(std::vector<int16_t> values) {
        XmSample s;
        s.values = std::move(values);
        return s;
    }
    static XmSample forwardLoop(std::vector<int16_t> values, uint32_t start, uint32_t length) {
        XmSample s = oneShot(std::move(values));
        s.loop = 1;
        s.loopStart = start;
        s.loopLength = length;
        return s;
    }
    static XmSample pingPongLoop(std::vector<int16_t> values, uint32_t start, uint32_t length) {
        XmSample s = forwardLoop(std::move(values), start, length);
        s.loop = 2;
        return s;
    }
};

struct XmInstrument {
    std::string name = "instrument";  // 22 bytes at most
    std::vector<XmSample> samples;
    uint8_t noteSampleMap[96] = {};
    XmEnvelope volumeEnvelope, panningEnvelope;
    uint8_t vibratoType = 0, vibratoSweep = 0, vibratoDepth = 0, vibratoRate = 0;
    uint16_t fadeout = 0;                      // as stored: the loader doubles it
    std::optional<uint32_t> headerSize;        // default 263
    std::optional<uint16_t> sampleCountField;  // written instead of samples.size()
};

struct XmPattern {
    int rows = 64;
    int channels = 0;           // set by XmSong::addPattern
    std::vector<XmCell> cells;  // rows × channels, row after row
    bool compress = true;       // pack cells as trackers do; false: five bytes per cell
    // When set, written as the pattern data instead of the packed cells.
    std::optional<std::vector<uint8_t>> packed;
    std::optional<uint16_t> rowsField, packedSizeField;
    // Bytes of the header after its nine known ones; the header length field counts them
    // unless headerLengthField is set.
    std::vector<uint8_t> headerExtra;
    std::optional<uint32_t> headerLengthField;

    XmCell& at(int row, int channel) { return cells.at(size_t(row) * channels + channel); }
};

struct XmSong {
    std::string title = "test song";  // 20 bytes at most
    std::string tracker = "xm_builder";
    uint16_t version = 0x0104;
    int channels = 4;
    uint16_t restartPosition = 0;
    uint16_t flags = 1;  // linear frequencies
    uint16_t speed = 6;
    uint16_t bpm = 125;
    std::vector<uint8_t> orders = {0};
    std::vector<XmPattern> patterns;
    std::vector<XmInstrument> instruments;
    std::optional<uint32_t> headerSize;  // default 276
    std::optional<uint16_t> songLengthField, channelsField, patternCountField, instrumentCountField;

    XmPattern& addPattern(int rows = 64) {
        XmPattern p;
        p.rows = rows;
        p.channels = channels;
        p.cells.resize(size_t(rows) * channels);
        patterns.push_back(std::move(p));
        return patterns.back();
    }
    XmInstrument& addInstrument() {
        instruments.emplace_back();
        return instruments.back();
    }
    // An instrument of one sample that every note plays.
    XmInstrument& addInstrument(XmSample sample) {
        XmInstrument& i = addInstrument();
        i.samples.push_back(std::move(sample));
        return i;
    }
};

namespace xmdetail {

inline void put8(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back(uint8_t(v));
}
inline void put16(std::vector<uint8_t>& out, uint32_t v) {
    put8(out, v);
    put8(out, v >> 8);
}
inline void put32(std::vector<uint8_t>& out, uint32_t v) {
    put16(out, v);
    put16(out, v >> 16);
}
inline void putText(std::vector<uint8_t>& out, const std::string& text, size_t size) {
    for (size_t i = 0; i < size; ++i)
        put8(out, i < text.size() ? uint8_t(text[i]) : 0);
}

inline std::vector<uint8_t> packCells(const XmPattern& p) {
    std::vector<uint8_t> out;
    for (const XmCell& c : p.cells) {
        const uint8_t fields[5] = {c.note, c.instrument, c.volume, c.effect, c.parameter};
        uint8_t mask = 0;
        for (int i = 0; i < 5; ++i)
            mask |= fields[i] ? uint8_t(1 << i) : 0;
        if (!p.compress || (mask == 0x1F && c.note < 0x80)) {
            for (uint8_t f : fields)
                put8(out, f);
        } else {
            put8(out, 0x80 | mask);
            for (int i = 0; i < 5; ++i)
                if (fields[i]) put8(out, fields[i]);
        }
    }
    return out;
}

inline std::vector<uint8_t> sampleData(const XmSample& s) {
    if (!s.rawData.empty()) return s.rawData;
    std::vector<uint8_t> out;
    int32_t previous = 0;
    for (int16_t v : s.values) {
        int32_t delta = v - previous;
        previous = v;
        if (s.sixteenBit) {
            put16(out, uint16_t(delta));
        } else {
            put8(out, uint8_t(delta));
        }
    }
    return out;
}

inline void putEnvelopePoints(std::vector<uint8_t>& out, const XmEnvelope& e) {
    for (size_t k = 0; k < 12; ++k) {
        put16(out, k < e.points.size() ? e.points[k].x : 0);
        put16(out, k < e.points.size() ? e.points[k].y : 0);
    }
}

}  // namespace xmdetail

// The bytes of an XM file for the song.
inline std::vector<uint8_t> buildXm(const XmSong& song) {
    using namespace xmdetail;
    std::vector<uint8_t> out;
    putText(out, "Extended Module: ", 17);
    putText(out, song.title, 20);
    put8(out, 0x1A);
    putText(out, song.tracker, 20);
    put16(out, song.version);
    const uint32_t headerSize = song.headerSize.value_or(276);
    put32(out, headerSize);
    put16(out, song.songLengthField.value_or(uint16_t(song.orders.size())));
    put16(out, song.restartPosition);
    put16(out, song.channelsField.value_or(uint16_t(song.channels)));
    put16(out, song.patternCountField.value_or(uint16_t(song.patterns.size())));
    put16(out, song.instrumentCountField.value_or(uint16_t(song.instruments.size())));
    put16(out, song.flags);
    put16(out, song.speed);
    put16(out, song.bpm);
    for (size_t i = 0; i < 256; ++i)
        put8(out, i < song.orders.size() ? song.orders[i] : 0);
    out.resize(60 + size_t(headerSize), 0);

    for (const XmPattern& p : song.patterns) {
        std::vector<uint8_t> data = p.packed ? *p.packed : packCells(p);
        put32(out, p.headerLengthField.value_or(uint32_t(9 + p.headerExtra.size())));
        put8(out, 0);
        put16(out, p.rowsField.value_or(uint16_t(p.rows)));
        put16(out, p.packedSizeField.value_or(uint16_t(data.size())));
        out.insert(out.end(), p.headerExtra.begin(), p.headerExtra.end());
        out.insert(out.end(), data.begin(), data.end());
    }

    for (const XmInstrument& ins : song.instruments) {
        const size_t start = out.size();
        const uint32_t headerSizeField = ins.headerSize.value_or(263);
        put32(out, headerSizeField);
        putText(out, ins.name, 22);
        put8(out, 0);
        put16(out, ins.sampleCountField.value_or(uint16_t(ins.samples.size())));
        put32(out, 40);
        for (uint8_t n : ins.noteSampleMap)
            put8(out, n);
        putEnvelopePoints(out, ins.volumeEnvelope);
        putEnvelopePoints(out, ins.panningEnvelope);
        put8(out, ins.volumeEnvelope.pointCountField.value_or(
                      uint8_t(ins.volumeEnvelope.points.size())));
        put8(out, ins.panningEnvelope.pointCountField.value_or(
                      uint8_t(ins.panningEnvelope.points.size())));
        put8(out, ins.volumeEnvelope.sustain);
        put8(out, ins.volumeEnvelope.loopStart);
        put8(out, ins.volumeEnvelope.loopEnd);
        put8(out, ins.panningEnvelope.sustain);
        put8(out, ins.panningEnvelope.loopStart);
        put8(out, ins.panningEnvelope.loopEnd);
        put8(out, ins.volumeEnvelope.type);
        put8(out, ins.panningEnvelope.type);
        put8(out, ins.vibratoType);
        put8(out, ins.vibratoSweep);
        put8(out, ins.vibratoDepth);
        put8(out, ins.vibratoRate);
        put16(out, ins.fadeout);
        out.resize(start + headerSizeField, 0);  // reserved bytes, or a short header cut off

        for (const XmSample& s : ins.samples) {
            const uint32_t unit = s.sixteenBit ? 2 : 1;
            const uint32_t length =
                uint32_t(s.rawData.empty() ? s.values.size() * unit : s.rawData.size());
            put32(out, s.lengthField.value_or(length));
            put32(out, s.loopStartField.value_or(s.loopStart * unit));
            put32(out, s.loopLengthField.value_or(s.loopLength * unit));
            put8(out, s.volume);
            put8(out, uint8_t(s.finetune));
            put8(out, s.typeField.value_or(uint8_t(s.loop | (s.sixteenBit ? 0x10 : 0))));
            put8(out, s.panning);
            put8(out, uint8_t(s.relativeNote));
            put8(out, 0);
            putText(out, s.name, 22);
        }
        for (const XmSample& s : ins.samples) {
            std::vector<uint8_t> data = sampleData(s);
            out.insert(out.end(), data.begin(), data.end());
        }
    }
    return out;
}
