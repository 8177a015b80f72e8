#include "audio/audio_thread_priority.h"

#include <pthread.h>
#include <sched.h>

namespace tarnwick {

namespace {

// Below the servers' own threads (PulseAudio and JACK ask for more), above
// everything that is not audio.
constexpr int kPriority = 10;

} // namespace

bool raiseAudioThreadPriority() {
    sched_param param{};
    param.sched_priority = kPriority;
    return pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
}

} // namespace tarnwick
