// The XM loader. The image is read front to back through file callbacks. Every read, seek and
// allocation is checked against the size of the file, so that a truncated or inconsistent file
// is refused (no Module) instead of being read beyond its end; what a well-formed file holds is
// loaded unchanged. A refusal comes with a short description of the part that was cut short or
// inconsistent, for the tools to show. A load touches nothing but its own records, so loads may
// run on several threads at once.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "engine/file_access.h"
#include "engine/module.h"

namespace {

// Zero but for its number, which is no sample's: nothing may change its finetune.
constexpr Sample emptySampleRecord() {
    Sample sample{};
    sample.number = -1;
    return sample;
}
constexpr Sample kEmptySample = emptySampleRecord();

constexpr char kSignature[] = "Extended Module: ";
constexpr int32_t kSignatureLength = 17;
constexpr int32_t kHeaderSizeOffset = 60;
constexpr int32_t kPatternHeaderBytes = 9;
constexpr int32_t kSampleHeaderBytes = 40;
constexpr int32_t kInstrumentFieldsBytes = 212;  // bytes 29..240 of an instrument header

// Limits of what this engine plays: the channel table holds 32 channels, the order table 256
// entries, a pattern 256 rows; order entries are bytes, so no pattern beyond 256 can be
// played, and cell instrument numbers stop at 128.
constexpr int32_t kMaxChannels = 32;
constexpr int32_t kMaxSongLength = 256;
constexpr int32_t kMaxRows = 256;
constexpr int32_t kMaxPatterns = 256;

// Packed pattern data is at most 65535 bytes (its size is a 16-bit field).
constexpr size_t kMaxPackedBytes = 65536;

// Notes why the file is refused and returns false, for the caller to return.
__attribute__((format(printf, 2, 3))) bool refuse(LoadProblem& problem, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(problem.text, sizeof problem.text, format, arguments);
    va_end(arguments);
    return false;
}

bool outOfMemory(LoadProblem& problem) {
    return refuse(problem, "not enough memory to load it");
}

uint16_t le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
uint32_t le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
           static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

struct Input {
    ModuleReader* reader;
    int32_t size;  // of the whole file
    LoadProblem& problem;
};

// A name field of the file as the song shows it: cut at its first zero, unprintable bytes as
// '?', trailing blanks removed. text holds size + 1 bytes.
void readName(char* text, const uint8_t* bytes, int size) {
    int length = 0;
    for (int i = 0; i < size && bytes[i] != 0; ++i)
        text[length++] = bytes[i] >= 32 && bytes[i] < 127 ? static_cast<char>(bytes[i]) : '?';
    while (length > 0 && text[length - 1] == ' ')
        --length;
    text[length] = '\0';
}

bool readExact(Input& in, void* destination, int32_t count) {
    return readerRead(destination, count, in.reader) == count;
}

// Seeks to an absolute position, which must lie inside the file.
bool seekTo(Input& in, int64_t position) {
    if (position < 0 || position > in.size) return false;
    readerSeek(in.reader, static_cast<int32_t>(position), SeekFromStart);
    return readerTell(in.reader) == position;
}

// Notes above 97 do not exist: they become "no note", so that every note indexes the 96
// entries of noteSampleMap.
void finishCell(Cell& cell) {
    if (cell.note == 97) {
        cell.note = 255;
    } else if (cell.note > 97) {
        cell.note = 0;
    }
    if (cell.instrument > 128) cell.instrument = 0;
}

// Decodes up to cellCount cells from the packed bytes. Cells the bytes do not reach stay
// empty; bytes beyond the last cell are not used.
void decodeCells(const uint8_t* bytes, int32_t byteCount, Cell* cells, int32_t cellCount) {
    int32_t p = 0;
    auto next = [&]() -> uint8_t { return p < byteCount ? bytes[p++] : 0; };
    for (int32_t i = 0; i < cellCount && p < byteCount; ++i) {
        Cell& cell = cells[i];
        uint8_t b = bytes[p++];
        if (b & 0x80) {
            if (b & 0x01) cell.note = next();
            if (b & 0x02) cell.instrument = next();
            if (b & 0x04) cell.volume = next();
            if (b & 0x08) cell.effect = next();
            if (b & 0x10) cell.parameter = next();
        } else {
            cell.note = b;
            cell.instrument = next();
            cell.volume = next();
            cell.effect = next();
            cell.parameter = next();
        }
        finishCell(cell);
    }
}

bool readPatterns(Module* module, Input& in, int32_t patternCount, uint8_t* packedBytes) {
    LoadProblem& problem = in.problem;
    for (int32_t i = 0; i < patternCount; ++i) {
        const int32_t start = readerTell(in.reader);
        uint8_t header[kPatternHeaderBytes];
        if (!readExact(in, header, kPatternHeaderBytes))
            return refuse(problem, "pattern %d is cut short (in its header)", i);
        // The header may be longer than the fields read here; the packed data follows it.
        const uint32_t headerLength = le32(header);
        if (headerLength < kPatternHeaderBytes) {
            return refuse(problem, "pattern %d has a header of %u bytes, fewer than %d", i,
                          headerLength, kPatternHeaderBytes);
        }
        if (!seekTo(in, int64_t{start} + headerLength)) {
            return refuse(problem,
                          "pattern %d is cut short (its header of %u bytes ends beyond the file)",
                          i, headerLength);
        }
        int32_t rowCount = le16(header + 5);
        int32_t packedSize = le16(header + 7);
        if (rowCount > kMaxRows)
            return refuse(problem, "pattern %d has %d rows, more than %d", i, rowCount, kMaxRows);
        Pattern& pattern = module->patterns[i];
        pattern.rowCount = rowCount;
        int32_t cellCount = rowCount * module->channelCount;
        if (cellCount > 0) {
            pattern.cells = static_cast<Cell*>(std::calloc(cellCount, sizeof(Cell)));
            if (!pattern.cells) return outOfMemory(problem);
        }
        if (packedSize == 0) continue;
        const int32_t left = in.size - readerTell(in.reader);
        if (!readExact(in, packedBytes, packedSize))
            return refuse(problem,
                          "pattern %d is cut short (%d bytes of packed data, %d left in the file)",
                          i, packedSize, left);
        if (cellCount > 0) decodeCells(packedBytes, packedSize, pattern.cells, cellCount);
    }
    return true;
}

// Point counts above the 12 stored points are capped; a loop whose start point is not among
// the points is switched off, since the envelope would jump to that point; fewer than two
// points switch the envelope off.
void checkEnvelope(Envelope& envelope) {
    if (envelope.pointCount > kEnvelopePoints) envelope.pointCount = kEnvelopePoints;
    if (envelope.loopStart >= envelope.pointCount)
        envelope.type &= static_cast<uint8_t>(~kEnvelopeLoop);
    if (envelope.pointCount < 2) envelope.type = 0;
}

// The points of an envelope at p, and its settings from the header's fields: the volume
// envelope's come first in each pair of fields, the panning envelope's second.
void readEnvelope(Envelope& envelope, const uint8_t* p, const uint8_t* settings, int which) {
    for (int k = 0; k < kEnvelopePoints; ++k) {
        envelope.points[k].x = le16(p + 4 * k);
        envelope.points[k].y = le16(p + 4 * k + 2);
    }
    envelope.pointCount = settings[which];
    envelope.sustainPoint = settings[2 + 3 * which];
    envelope.loopStart = settings[3 + 3 * which];
    envelope.loopEnd = settings[4 + 3 * which];
    envelope.type = settings[8 + which];
    checkEnvelope(envelope);
}

void readInstrumentFields(Instrument& instrument, const uint8_t* f) {
    // f holds bytes 29.. of the instrument header; byte 29 starts the ignored sample header
    // size.
    std::memcpy(instrument.noteSampleMap, f + 4, 96);
    const uint8_t* b = f + 196;
    readEnvelope(instrument.volumeEnvelope, f + 100, b, 0);
    readEnvelope(instrument.panningEnvelope, f + 148, b, 1);
    instrument.vibratoType = b[10];
    instrument.vibratoSweep = b[11];
    instrument.vibratoDepth = b[12];
    instrument.vibratoRate = b[13];
    instrument.fadeout = static_cast<uint16_t>(le16(b + 14) * 2);
}

// Fills a Sample from its 40-byte header; returns the bytes of its data in the file.
uint32_t readSampleHeader(Sample& sample, const uint8_t* h) {
    uint32_t byteLength = le32(h);
    sample.length = byteLength;
    sample.loopStart = le32(h + 4);
    sample.loopLength = le32(h + 8);
    sample.volume = h[12];
    sample.finetune = static_cast<int8_t>(h[13]);
    sample.loopMode = kNoLoop;
    sample.bits = 8;
    uint8_t type = h[14];
    if (type & 0x01) sample.loopMode = kForwardLoop;
    if (type & 0x02) sample.loopMode = kPingPongLoop;
    if (type & 0x10) sample.bits = 16;
    sample.fileBits = sample.bits;
    if (sample.loopMode == kNoLoop) {
        sample.loopStart = 0;
        sample.loopLength = sample.length;
    }
    if (sample.bits == 16) {
        sample.length /= 2;
        sample.loopStart /= 2;
        sample.loopLength /= 2;
    }
    // A loop that reaches beyond the sample is cut at its end.
    if (sample.loopStart > sample.length) sample.loopStart = sample.length;
    if (sample.loopLength > sample.length - sample.loopStart) {
        sample.loopLength = sample.length - sample.loopStart;
    }
    if (sample.loopLength == 0) {
        sample.loopStart = 0;
        sample.loopLength = sample.length;
        sample.loopMode = kNoLoop;
    }
    sample.panning = h[15];
    sample.relativeNote = static_cast<int8_t>(h[16]);
    readName(sample.name, h + 18, kInstrumentNameBytes);
    return byteLength;
}

// Reads and decodes the data of one sample: 8-bit values become the upper byte of 16-bit
// ones, then the deltas are summed with 16-bit wrap-around, and the loop guard value is set.
bool readSampleData(Sample& sample, uint32_t byteLength, Input& in) {
    uint8_t* bytes = reinterpret_cast<uint8_t*>(sample.data);
    if (!readExact(in, bytes, static_cast<int32_t>(byteLength))) return false;
    // The bytes sit at the start of the buffer; widen from the end so that no byte is
    // overwritten before it is used.
    const uint32_t n = sample.length;
    if (sample.bits == 8) {
        for (uint32_t k = n; k-- > 0;) {
            uint16_t value = static_cast<uint16_t>(bytes[k] << 8);
            std::memcpy(bytes + 2 * k, &value, 2);
        }
    } else {
        for (uint32_t k = 0; k < n; ++k) {
            uint16_t value = le16(bytes + 2 * k);
            std::memcpy(bytes + 2 * k, &value, 2);
        }
        // An odd byte of 16-bit data belongs to no value.
        bytes[2 * n] = 0;
    }
    sample.bits = 16;
    uint16_t sum = 0;
    for (uint32_t k = 0; k < n; ++k) {
        sum = static_cast<uint16_t>(sum + static_cast<uint16_t>(sample.data[k]));
        sample.data[k] = static_cast<int16_t>(sum);
    }
    const uint32_t end = sample.loopStart + sample.loopLength;
    if (sample.loopMode == kPingPongLoop) {
        sample.data[end] = sample.data[end - 1];
    } else if (sample.loopMode == kForwardLoop) {
        sample.data[end] = sample.data[sample.loopStart];
    }
    return true;
}

// number counts from 1, as the instruments of the pattern cells do.
bool readInstrument(Instrument& instrument, int32_t number, Input& in) {
    LoadProblem& problem = in.problem;
    const int32_t start = readerTell(in.reader);
    uint8_t head[29];
    if (!readExact(in, head, 29))
        return refuse(problem, "instrument %d is cut short (in its header)", number);
    readName(instrument.name, head + 4, kInstrumentNameBytes);
    const uint32_t headerSize = le32(head);
    const uint16_t sampleCount = le16(head + 27);
    if (sampleCount > kMaxSamplesPerInstrument) {
        return refuse(problem, "instrument %d has %u samples, more than %d", number, sampleCount,
                      kMaxSamplesPerInstrument);
    }
    instrument.sampleCount = sampleCount;
    for (const Sample*& slot : instrument.samples)
        slot = emptySample();
    if (int64_t{start} + headerSize > in.size) {
        return refuse(problem,
                      "instrument %d is cut short (its header of %u bytes ends beyond the file)",
                      number, headerSize);
    }
    if (sampleCount == 0) return seekTo(in, int64_t{start} + headerSize);

    uint8_t fields[kInstrumentFieldsBytes];
    if (!readExact(in, fields, kInstrumentFieldsBytes) ||
        !seekTo(in, int64_t{start} + headerSize)) {
        return refuse(problem, "instrument %d is cut short (in its header)", number);
    }
    readInstrumentFields(instrument, fields);

    uint32_t byteLengths[kMaxSamplesPerInstrument] = {};
    uint64_t dataBytes = 0;
    for (int s = 0; s < sampleCount; ++s) {
        uint8_t header[kSampleHeaderBytes];
        if (!readExact(in, header, kSampleHeaderBytes)) {
            return refuse(problem, "instrument %d is cut short (in the header of sample %d)",
                          number, s + 1);
        }
        Sample* sample = static_cast<Sample*>(std::calloc(1, sizeof(Sample)));
        if (!sample) return outOfMemory(problem);
        instrument.samples[s] = sample;
        byteLengths[s] = readSampleHeader(*sample, header);
        sample->number = static_cast<int16_t>((number - 1) * kMaxSamplesPerInstrument + s);
        dataBytes += byteLengths[s];
    }
    // All sample data must lie inside the file before any of it is allocated.
    const int32_t left = in.size - readerTell(in.reader);
    if (dataBytes > static_cast<uint64_t>(left)) {
        return refuse(
            problem,
            "the sample data of instrument %d is cut short (%llu bytes, %d left in the file)",
            number, static_cast<unsigned long long>(dataBytes), left);
    }
    for (int s = 0; s < sampleCount; ++s) {
        Sample& sample = *const_cast<Sample*>(instrument.samples[s]);
        if (sample.length == 0) {
            sample.bits = 16;  // as every loaded sample, though it has no data to widen
            // Bytes of a 16-bit sample of one byte: no value, skipped.
            if (byteLengths[s] > 0 && !seekTo(in, int64_t{readerTell(in.reader)} + byteLengths[s]))
                return refuse(problem, "the sample data of instrument %d is cut short", number);
            continue;
        }
        // length + 8 values, and room for the raw bytes of an odd 16-bit length.
        sample.data = static_cast<int16_t*>(std::calloc(size_t{sample.length} + 9, 2));
        if (!sample.data) return outOfMemory(problem);
    }
    for (int s = 0; s < sampleCount; ++s) {
        Sample& sample = *const_cast<Sample*>(instrument.samples[s]);
        if (sample.length > 0 && !readSampleData(sample, byteLengths[s], in))
            return refuse(problem, "the sample data of instrument %d is cut short", number);
    }
    return true;
}

}  // namespace

const Sample* emptySample() {
    return &kEmptySample;
}

bool isXmImage(const uint8_t* head, int32_t bytes) {
    return bytes >= kSignatureLength && std::memcmp(head, kSignature, kSignatureLength) == 0;
}

bool readXm(Module* module, ModuleReader* reader, LoadProblem& problem) {
    problem.text[0] = '\0';
    if (!module || !reader) return refuse(problem, "no file to read");
    Input in{reader, 0, problem};
    readerSeek(reader, 0, SeekFromEnd);
    in.size = readerTell(reader);
    if (!seekTo(in, 0)) return refuse(problem, "the file cannot be read");

    uint8_t head[kHeaderSizeOffset];
    if (!readExact(in, head, kSignatureLength) || !isXmImage(head, kSignatureLength)) {
        return refuse(problem, "not an XM file (no \"%s\" signature)", kSignature);
    }
    module->initialGlobalVolume = 64;

    uint8_t header[20 + 256];
    if (!readExact(in, head + kSignatureLength, kHeaderSizeOffset - kSignatureLength) ||
        !readExact(in, header, sizeof header)) {
        return refuse(problem, "the song header is cut short (%d of %d bytes)", in.size,
                      kHeaderSizeOffset + static_cast<int32_t>(sizeof header));
    }
    readName(module->name, head + 17, kSongNameBytes);
    readName(module->trackerName, head + 38, kSongNameBytes);
    module->formatVersion = le16(head + 58);
    const uint32_t headerSize = le32(header);
    const uint16_t songLength = le16(header + 4);
    const uint16_t channelCount = le16(header + 8);
    const uint16_t patternCount = le16(header + 10);
    const uint16_t instrumentCount = le16(header + 12);
    module->songLength = static_cast<int16_t>(songLength);
    module->restartPosition = static_cast<int16_t>(le16(header + 6));
    module->channelCount = static_cast<int16_t>(channelCount);
    module->flags = le16(header + 14);
    module->defaultSpeed = static_cast<int16_t>(le16(header + 16));
    module->defaultBpm = static_cast<int16_t>(le16(header + 18));
    module->instrumentCount = static_cast<int16_t>(instrumentCount);
    std::memcpy(module->orderTable, header + 20, 256);
    if (songLength == 0 || songLength > kMaxSongLength) {
        return refuse(problem, "the song header gives a song length of %u, not 1 to %d", songLength,
                      kMaxSongLength);
    }
    if (channelCount == 0 || channelCount > kMaxChannels) {
        return refuse(problem, "the song header gives %u channels, not 1 to %d", channelCount,
                      kMaxChannels);
    }
    if (patternCount > kMaxPatterns) {
        return refuse(problem, "the song header gives %u patterns, more than %d", patternCount,
                      kMaxPatterns);
    }
    if (instrumentCount > kMaxInstruments) {
        return refuse(problem, "the song header gives %u instruments, more than %d",
                      instrumentCount, kMaxInstruments);
    }
    if (!seekTo(in, int64_t{kHeaderSizeOffset} + headerSize)) {
        return refuse(problem,
                      "the song header is cut short (its size of %u bytes ends beyond the file)",
                      headerSize);
    }

    int32_t highest = -1;
    for (int32_t i = 0; i < songLength; ++i) {
        if (module->orderTable[i] > highest) highest = module->orderTable[i];
    }
    module->usedPatternCount = highest + 1;
    module->patternSlotCount =
        patternCount > module->usedPatternCount ? patternCount : module->usedPatternCount;
    module->patterns =
        static_cast<Pattern*>(std::calloc(module->patternSlotCount, sizeof(Pattern)));
    if (!module->patterns) return outOfMemory(problem);
    uint8_t* packedBytes = static_cast<uint8_t*>(std::malloc(kMaxPackedBytes));
    if (!packedBytes) return outOfMemory(problem);
    const bool patternsRead = readPatterns(module, in, patternCount, packedBytes);
    std::free(packedBytes);
    if (!patternsRead) return false;
    // Patterns the order table names but the file does not store: 64 empty rows, no cells.
    for (int32_t i = patternCount; i < module->usedPatternCount; ++i) {
        module->patterns[i].rowCount = 64;
    }

    if (instrumentCount > 0) {
        module->instruments =
            static_cast<Instrument*>(std::calloc(instrumentCount, sizeof(Instrument)));
        if (!module->instruments) return outOfMemory(problem);
    }
    for (int32_t i = 0; i < instrumentCount; ++i) {
        if (!readInstrument(module->instruments[i], i + 1, in)) return false;
    }
    return true;
}

Module* loadModuleWith(const FileCallbacks& callbacks, const char* name, LoadProblem& problem) {
    Module* module = static_cast<Module*>(std::calloc(1, sizeof(Module)));
    if (!module) {
        outOfMemory(problem);
        return nullptr;
    }
    ModuleReader* reader = readerOpen(callbacks, name);
    if (!reader) {
        refuse(problem, "the file cannot be opened");
        std::free(module);
        return nullptr;
    }
    bool ok = readXm(module, reader, problem);
    readerClose(reader);
    if (ok) return module;
    releaseModule(module);
    return nullptr;
}

Module* loadModuleImage(const uint8_t* data, int32_t size, LoadProblem& problem) {
    Module* module = static_cast<Module*>(std::calloc(1, sizeof(Module)));
    if (!module) {
        outOfMemory(problem);
        return nullptr;
    }
    MemoryFile file = {data ? size : 0, 0, data};
    ModuleReader reader = {memoryFileCallbacks, &file};
    if (readXm(module, &reader, problem)) return module;
    releaseModule(module);
    return nullptr;
}

Module* loadModule(const char* name) {
    LoadProblem problem;
    return loadModuleWith(registeredFileCallbacks(), name, problem);
}

void releaseModule(Module* module) {
    if (!module) return;
    if (module->instruments) {
        for (int32_t i = 0; i < module->instrumentCount; ++i) {
            Instrument& instrument = module->instruments[i];
            for (const Sample* sample : instrument.samples) {
                if (!sample || sample == emptySample()) continue;
                std::free(sample->data);
                std::free(const_cast<Sample*>(sample));
            }
        }
        std::free(module->instruments);
    }
    if (module->patterns) {
        for (int32_t i = 0; i < module->patternSlotCount; ++i)
            std::free(module->patterns[i].cells);
        std::free(module->patterns);
    }
    std::free(module);
}
