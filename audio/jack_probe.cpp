#include "audio/jack_probe.h"

#include <jack/jack.h>

namespace tarnwick {

namespace {

void ignoreJackMessage(const char* /*message*/) {}

} // namespace

std::optional<JackServerInfo> probeJackServer() {
    // The library would print "cannot connect to server" and the like.
    jack_set_error_function(ignoreJackMessage);
    jack_set_info_function(ignoreJackMessage);
    jack_status_t status{};
    jack_client_t* client = jack_client_open("tarnwick-probe", JackNoStartServer, &status);
    if (client == nullptr) {
        return std::nullopt;
    }
    const JackServerInfo info{static_cast<double>(jack_get_sample_rate(client)),
                              static_cast<int>(jack_get_buffer_size(client))};
    jack_client_close(client);
    return info;
}

} // namespace tarnwick
