#include "engine/file_access.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The callbacks of loadModule and the image of memoryOpen: the process's own song source.
FileCallbacks fileCallbacks = {};

const uint8_t* memoryImageData = nullptr;
int32_t memoryImageSize = 0;

// Positions are kept inside 0..size whatever the offset, so that no read can leave the image.
int32_t clampPosition(int64_t position, int32_t size) {
    if (position < 0) return 0;
    if (position > size) return size;
    return static_cast<int32_t>(position);
}

}  // namespace

void setFileCallbacks(FileOpen open, FileClose close, FileRead read, FileSeek seek, FileTell tell) {
    if (open && close && read && seek && tell) {
        fileCallbacks = FileCallbacks{open, close, read, seek, tell};
    } else {
        fileCallbacks = FileCallbacks{};
    }
}

bool haveFileCallbacks() {
    return fileCallbacks.open && fileCallbacks.close && fileCallbacks.read && fileCallbacks.seek &&
           fileCallbacks.tell;
}

const FileCallbacks& registeredFileCallbacks() {
    return fileCallbacks;
}

void setMemoryImage(const uint8_t* data, int32_t size) {
    memoryImageData = data;
    memoryImageSize = data && size > 0 ? size : 0;
}

void* memoryOpen(const char*) {
    if (!memoryImageData) return nullptr;
    MemoryFile* file = static_cast<MemoryFile*>(std::calloc(1, sizeof(MemoryFile)));
    if (!file) return nullptr;
    file->size = memoryImageSize;
    file->position = 0;
    file->data = memoryImageData;
    return file;
}

void memoryClose(void* handle) {
    std::free(handle);
}

int32_t memoryRead(void* destination, int32_t count, void* handle) {
    MemoryFile* file = static_cast<MemoryFile*>(handle);
    if (!file || !destination || count <= 0) return 0;
    if (count >= file->size - file->position) count = file->size - file->position;
    if (count <= 0) return 0;
    std::memcpy(destination, file->data + file->position, static_cast<size_t>(count));
    file->position += count;
    return count;
}

void memorySeek(void* handle, int32_t offset, uint8_t origin) {
    MemoryFile* file = static_cast<MemoryFile*>(handle);
    if (!file) return;
    switch (origin) {
        case SeekFromStart:
            file->position = clampPosition(offset, file->size);
            break;
        case SeekFromHere:
            file->position = clampPosition(int64_t{file->position} + offset, file->size);
            break;
        case SeekFromEnd:
            file->position = clampPosition(int64_t{file->size} + offset, file->size);
            break;
        default:
            break;
    }
}

int32_t memoryTell(void* handle) {
    MemoryFile* file = static_cast<MemoryFile*>(handle);
    return file ? file->position : 0;
}

void* diskOpen(const char* name) {
    if (!name) return nullptr;
    std::FILE* file = std::fopen(name, "rb");
    if (!file) return nullptr;
    // Positions are 32-bit signed: refuse what they cannot address.
    if (std::fseek(file, 0, SEEK_END) != 0 || std::ftell(file) < 0 ||
        std::ftell(file) > 0x7FFFFFFF || std::fseek(file, 0, SEEK_SET) != 0) {
        std::fclose(file);
        return nullptr;
    }
    return file;
}

void diskClose(void* handle) {
    if (handle) std::fclose(static_cast<std::FILE*>(handle));
}

int32_t diskRead(void* destination, int32_t count, void* handle) {
    if (!handle || !destination || count <= 0) return 0;
    return static_cast<int32_t>(
        std::fread(destination, 1, static_cast<size_t>(count), static_cast<std::FILE*>(handle)));
}

void diskSeek(void* handle, int32_t offset, uint8_t origin) {
    if (!handle) return;
    static const int whence[3] = {SEEK_SET, SEEK_CUR, SEEK_END};  // by SeekOrigin
    if (origin > SeekFromEnd) return;
    std::fseek(static_cast<std::FILE*>(handle), offset, whence[origin]);
}

int32_t diskTell(void* handle) {
    if (!handle) return 0;
    long position = std::ftell(static_cast<std::FILE*>(handle));
    return position < 0 || position > 0x7FFFFFFF ? 0 : static_cast<int32_t>(position);
}

const FileCallbacks diskFileCallbacks = {diskOpen, diskClose, diskRead, diskSeek, diskTell};
const FileCallbacks memoryFileCallbacks = {memoryOpen, memoryClose, memoryRead, memorySeek,
                                           memoryTell};

ModuleReader* readerOpen(const FileCallbacks& callbacks, const char* name) {
    if (!callbacks.open || !callbacks.close || !callbacks.read || !callbacks.seek ||
        !callbacks.tell) {
        return nullptr;
    }
    ModuleReader* reader = static_cast<ModuleReader*>(std::calloc(1, sizeof(ModuleReader)));
    if (!reader) return nullptr;
    reader->callbacks = callbacks;
    reader->handle = callbacks.open(name);
    if (!reader->handle) {
        std::free(reader);
        return nullptr;
    }
    return reader;
}

void readerClose(ModuleReader* reader) {
    if (!reader) return;
    if (reader->callbacks.close) reader->callbacks.close(reader->handle);
    std::free(reader);
}

int32_t readerRead(void* destination, int32_t count, ModuleReader* reader) {
    if (!reader || !reader->callbacks.read) return 0;
    return reader->callbacks.read(destination, count, reader->handle);
}

void readerSeek(ModuleReader* reader, int32_t offset, uint8_t origin) {
    if (reader && reader->callbacks.seek) reader->callbacks.seek(reader->handle, offset, origin);
}

int32_t readerTell(ModuleReader* reader) {
    if (!reader || !reader->callbacks.tell) return 0;
    return reader->callbacks.tell(reader->handle);
}
