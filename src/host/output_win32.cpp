// The output device on Windows: waveOut, playing the one prepared buffer in an endless loop.
#include <windows.h>
// After windows.h, whose types it uses.
#include <mmsystem.h>

#include "engine/output.h"

namespace {

HWAVEOUT waveOut = nullptr;
WAVEHDR waveHeader = {};
// waveOutGetPosition counts bytes in 32 bits, which wrap after 6.7 hours at 44100 Hz; the
// count is carried on in 64 bits so that the ring position stays continuous.
DWORD lastBytes = 0;
uint64_t wrappedBytes = 0;

bool openWaveOut(int32_t rate) {
    WAVEFORMATEX format = {};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 2;
    format.nSamplesPerSec = static_cast<DWORD>(rate);
    format.nAvgBytesPerSec = 4 * static_cast<DWORD>(rate);
    format.nBlockAlign = 4;
    format.wBitsPerSample = 16;
    format.cbSize = 0;
    return waveOutOpen(&waveOut, WAVE_MAPPER, &format, 0, 0, CALLBACK_NULL) == MMSYSERR_NOERROR;
}

void prepareWaveOut(int16_t* buffer, uint32_t bytes) {
    waveHeader = {};
    waveHeader.lpData = reinterpret_cast<LPSTR>(buffer);
    waveHeader.dwBufferLength = bytes;
    waveHeader.dwBytesRecorded = 0;
    waveHeader.dwUser = 0;
    waveHeader.dwFlags = WHDR_BEGINLOOP | WHDR_ENDLOOP;
    waveHeader.dwLoops = 0xFFFFFFFF;
    waveOutPrepareHeader(waveOut, &waveHeader, sizeof(WAVEHDR));
}

void playWaveOut() {
    lastBytes = 0;
    wrappedBytes = 0;
    waveOutWrite(waveOut, &waveHeader, sizeof(WAVEHDR));
}

uint64_t waveOutPosition() {
    MMTIME time = {};
    time.wType = TIME_BYTES;
    waveOutGetPosition(waveOut, &time, sizeof(MMTIME));
    if (time.u.cb < lastBytes) wrappedBytes += uint64_t{1} << 32;
    lastBytes = time.u.cb;
    return wrappedBytes | time.u.cb;
}

void waitWaveOut() {
    Sleep(5);
}

void resetWaveOut() {
    waveOutReset(waveOut);
    lastBytes = 0;
    wrappedBytes = 0;
}

void unprepareWaveOut() {
    if (!waveHeader.lpData) return;
    waveOutUnprepareHeader(waveOut, &waveHeader, sizeof(WAVEHDR));
    waveHeader.dwFlags &= ~static_cast<DWORD>(WHDR_PREPARED);
}

void closeWaveOut() {
    waveOutClose(waveOut);
    waveOut = nullptr;
}

}  // namespace

const OutputDevice platformOutput = {openWaveOut, prepareWaveOut, playWaveOut,      waveOutPosition,
                                     waitWaveOut, resetWaveOut,   unprepareWaveOut, closeWaveOut};
