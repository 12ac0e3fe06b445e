// File access of the sound engine. Songs are read only through five callbacks that the user of
// the engine registers: the demo reads the song compiled into the program through the memory
// callbacks, the tools read files from disk through the disk callbacks.
#pragma once
#include <cstdint>

// Where the offset of a seek counts from. The callbacks take it as a byte and ignore any other
// value.
enum SeekOrigin : uint8_t {
    SeekFromStart = 0,
    SeekFromHere = 1,
    SeekFromEnd = 2,
};

using FileOpen = void* (*)(const char* name);  // a handle, or none
using FileClose = void (*)(void* handle);
using FileRead = int32_t (*)(void* destination, int32_t count, void* handle);  // bytes delivered
using FileSeek = void (*)(void* handle, int32_t offset, uint8_t origin);       // a SeekOrigin
using FileTell = int32_t (*)(void* handle);

struct FileCallbacks {
    FileOpen open;
    FileClose close;
    FileRead read;
    FileSeek seek;
    FileTell tell;
};

// Stores the five callbacks if all are given; otherwise clears all five, which makes
// openOutput and every later loadModule fail. These are the callbacks of loadModule; a load
// through loadModuleWith takes its own.
void setFileCallbacks(FileOpen open, FileClose close, FileRead read, FileSeek seek, FileTell tell);
bool haveFileCallbacks();
const FileCallbacks& registeredFileCallbacks();

// The handle of the memory callbacks: a window on an image in memory.
struct MemoryFile {
    int32_t size;
    int32_t position;  // 0..size
    const uint8_t* data;
};

// The image that memoryOpen opens: none until it is chosen. The demo chooses the song compiled
// into the program; tests and fuzzing choose their own images.
void setMemoryImage(const uint8_t* data, int32_t size);

// The memory callbacks. memoryOpen ignores the name and opens the current image (none when no
// image has been chosen); each call makes a new MemoryFile, which memoryClose releases. The
// others also read a MemoryFile that their caller made itself.
void* memoryOpen(const char* name);
void memoryClose(void* handle);
int32_t memoryRead(void* destination, int32_t count, void* handle);
void memorySeek(void* handle, int32_t offset, uint8_t origin);
int32_t memoryTell(void* handle);

// The disk callbacks: name is a path. Files of 2 GiB or more are not opened.
void* diskOpen(const char* name);
void diskClose(void* handle);
int32_t diskRead(void* destination, int32_t count, void* handle);
void diskSeek(void* handle, int32_t offset, uint8_t origin);
int32_t diskTell(void* handle);

// The callbacks of the disk and of the memory, each as one record.
extern const FileCallbacks diskFileCallbacks;
extern const FileCallbacks memoryFileCallbacks;

// One open file of a load and the callbacks that read it. The forwarders do nothing (and
// yield 0 or none) for a missing reader or callback.
struct ModuleReader {
    FileCallbacks callbacks;
    void* handle;
};

// Opens name through the callbacks (all five needed); none when it cannot be opened.
ModuleReader* readerOpen(const FileCallbacks& callbacks, const char* name);
void readerClose(ModuleReader* reader);
int32_t readerRead(void* destination, int32_t count, ModuleReader* reader);
void readerSeek(ModuleReader* reader, int32_t offset, uint8_t origin);
int32_t readerTell(ModuleReader* reader);
