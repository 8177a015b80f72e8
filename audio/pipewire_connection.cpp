#include "audio/pipewire_connection.h"

#include <mutex>
#include <pipewire/pipewire.h>

namespace tarnwick {

PipeWireConnection::~PipeWireConnection() {
    if (loop_ == nullptr) {
        return;
    }
    if (core_ != nullptr) {
        pw_thread_loop_lock(loop_);
        pw_core_disconnect(core_);
        pw_thread_loop_unlock(loop_);
    }
    pw_thread_loop_stop(loop_);
    if (context_ != nullptr) {
        pw_context_destroy(context_);
    }
    pw_thread_loop_destroy(loop_);
}

void initialisePipeWire() {
    static std::once_flag once;
    std::call_once(once, [] { pw_init(nullptr, nullptr); });
}

bool PipeWireConnection::start(const char* threadName) {
    initialisePipeWire();
    loop_ = pw_thread_loop_new(threadName, nullptr);
    if (loop_ == nullptr) {
        return false;
    }
    context_ = pw_context_new(pw_thread_loop_get_loop(loop_),
                              pw_properties_new(PW_KEY_CONFIG_NAME, "client-rt.conf", nullptr), 0);
    return context_ != nullptr && pw_thread_loop_start(loop_) >= 0;
}

bool PipeWireConnection::connect() {
    core_ = pw_context_connect(context_, nullptr, 0); // fails at once without a server
    return core_ != nullptr;
}

} // namespace tarnwick
