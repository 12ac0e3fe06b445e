#include <pthread.h>
#include <sched.h>
#include <time.h>

#include <cerrno>

#include "engine/thread.h"

namespace {

uint32_t (*threadEntry)() = nullptr;

void* runEntry(void*) {
    threadEntry();
    return nullptr;
}

}  // namespace

bool startAudioThread(uint32_t (*entry)()) {
    threadEntry = entry;
    pthread_t thread;
    bool started = false;
    // Real-time scheduling needs a privilege that most processes lack; without it the thread
    // runs at the default priority.
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) == 0) {
        sched_param parameter = {};
        parameter.sched_priority = sched_get_priority_max(SCHED_FIFO);
        if (pthread_attr_setinheritsched(&attributes, PTHREAD_EXPLICIT_SCHED) == 0 &&
            pthread_attr_setschedpolicy(&attributes, SCHED_FIFO) == 0 &&
            pthread_attr_setschedparam(&attributes, &parameter) == 0) {
            started = pthread_create(&thread, &attributes, runEntry, nullptr) == 0;
        }
        pthread_attr_destroy(&attributes);
    }
    if (!started) started = pthread_create(&thread, nullptr, runEntry, nullptr) == 0;
    if (started) pthread_detach(thread);
    return started;
}

void sleepMilliseconds(uint32_t milliseconds) {
    timespec rest = {static_cast<time_t>(milliseconds / 1000),
                     static_cast<long>(milliseconds % 1000) * 1000000L};
    while (nanosleep(&rest, &rest) != 0 && errno == EINTR) {
    }
}

const AudioThreads platformThreads = {startAudioThread, sleepMilliseconds};
