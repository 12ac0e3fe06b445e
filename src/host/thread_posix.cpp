#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <time.h>

#include <cerrno>
#include <initializer_list>

#include "engine/thread.h"

namespace {

uint32_t (*threadEntry)() = nullptr;

void* runEntry(void*) {
    // The job-control and ending signals go to the main thread: their handlers give the
    // terminal back, and expect to interrupt the thread that writes to it, not to run beside it.
    sigset_t signals;
    sigemptyset(&signals);
    for (int signalNumber : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGTSTP, SIGCONT, SIGWINCH})
        sigaddset(&signals, signalNumber);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
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
