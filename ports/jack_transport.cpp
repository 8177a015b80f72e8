#include "ports/jack_transport.h"

#include <cmath>
#include <jack/jack.h>
#include <jack/transport.h>

#include "audio/jack_probe.h"
#include "midi/midi_output.h"

namespace tarnwick {

namespace {

constexpr const char* kClientName = "Tarnwick transport";
// What this client reports as timebase master.
constexpr double kBeatsPerBar = 4.0;
constexpr double kTicksPerBeat = 1920.0;

std::int64_t jackClockOffsetNs() {
    const std::int64_t before = SteadyClock::now().time_since_epoch().count();
    const auto jackUs = static_cast<std::int64_t>(jack_get_time());
    const std::int64_t after = SteadyClock::now().time_since_epoch().count();
    return before + (after - before) / 2 - jackUs * 1000;
}

// The master's position in beats: whole bars and beats, and the tick.
double reportedBeats(const jack_position_t& position) {
    return (position.bar - 1) * static_cast<double>(position.beats_per_bar) + (position.beat - 1) +
           position.tick / position.ticks_per_beat;
}

} // namespace

std::unique_ptr<JackTransport> JackTransport::open(std::string& failure) {
    if (!probeJackServer()) {
        failure = "no JACK server runs";
        return nullptr;
    }
    std::unique_ptr<JackTransport> transport(new JackTransport);
    jack_status_t status{};
    transport->client_ = jack_client_open(kClientName, JackNoStartServer, &status);
    if (transport->client_ == nullptr) {
        failure = "the JACK server would not take our client";
        return nullptr;
    }
    transport->clockOffsetNs_ = jackClockOffsetNs();
    transport->rate_.store(jack_get_sample_rate(transport->client_));
    jack_set_process_callback(transport->client_, &JackTransport::process, transport.get());
    jack_set_sync_callback(transport->client_, &JackTransport::sync, transport.get());
    jack_on_shutdown(transport->client_, &JackTransport::serverStopped, transport.get());
    if (jack_activate(transport->client_) != 0) {
        failure = "our JACK client could not start";
        return nullptr;
    }
    return transport;
}

JackTransport::~JackTransport() {
    if (client_ != nullptr) {
        if (master_) {
            jack_release_timebase(client_);
        }
        jack_deactivate(client_);
        jack_client_close(client_);
    }
}

TimelineView JackTransport::view() const {
    TimelineView view;
    std::uint64_t before = 0;
    do {
        before = sequence_.load(std::memory_order_acquire);
        view.rolling = rolling_.load(std::memory_order_relaxed);
        view.starting = starting_.load(std::memory_order_relaxed);
        view.frame = frame_.load(std::memory_order_relaxed);
        view.runStart = runStart_.load(std::memory_order_relaxed);
        view.time =
            SteadyClock::time_point(SteadyClock::duration(timeNs_.load(std::memory_order_relaxed)));
        view.rate = rate_.load(std::memory_order_relaxed);
        view.beats = beats_.load(std::memory_order_relaxed);
        view.beatsPerMinute = beatsPerMinute_.load(std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_acquire);
    } while ((before & 1U) != 0 || before != sequence_.load(std::memory_order_relaxed));
    return view;
}

void JackTransport::setTempo(int stepMs, int stepsPerBeat) {
    ownTempo_.store(tempoAt(stepMs < 1 ? 1 : stepMs, stepsPerBeat), std::memory_order_relaxed);
}

void JackTransport::start() {
    jack_transport_start(client_);
}

void JackTransport::stop() {
    jack_transport_stop(client_);
}

bool JackTransport::setTimebaseMaster(bool on) {
    if (on == master_) {
        return true;
    }
    if (on) {
        if (jack_set_timebase_callback(client_, 0, &JackTransport::timebase, this) != 0) {
            return false;
        }
    } else {
        jack_release_timebase(client_);
    }
    master_ = on;
    return true;
}

int JackTransport::process(jack_nframes_t frames, void* self) {
    static_cast<JackTransport*>(self)->readCycle(frames);
    return 0;
}

void JackTransport::readCycle(jack_nframes_t frames) {
    jack_position_t position{};
    const jack_transport_state_t state = jack_transport_query(client_, &position);
    const bool rolling = state == JackTransportRolling;
    const bool starting = state == JackTransportStarting;
    const auto frame = static_cast<std::int64_t>(position.frame);
    const bool newRun =
        (rolling && (!wasRolling_ || frame != nextFrame_)) || (starting && run_ != frame);
    if (newRun) {
        run_ = frame;
    }
    wasRolling_ = rolling;
    nextFrame_ = frame + frames;

    const double rate = position.frame_rate > 0 ? position.frame_rate : rate_.load();
    const bool master = (position.valid & JackPositionBBT) != 0 && !master_ &&
                        position.beats_per_minute > 0.0 && position.ticks_per_beat > 0.0;
    double beats = 0.0;
    double tempo = 0.0;
    if (master) {
        const double reported = reportedBeats(position);
        const double ours =
            anchorBeats_ + static_cast<double>(frame - anchorFrame_) * anchorTempo_ / (60.0 * rate);
        if (!anchored_ || newRun || !rolling ||
            std::abs(ours - reported) > 1.0 / position.ticks_per_beat) {
            anchorBeats_ = reported;
        } else {
            anchorBeats_ = ours;
        }
        anchorFrame_ = frame;
        anchorTempo_ = position.beats_per_minute;
        anchored_ = true;
        beats = anchorBeats_;
        tempo = anchorTempo_;
    } else {
        anchored_ = false;
        tempo = ownTempo_.load(std::memory_order_relaxed);
        beats = static_cast<double>(frame) * tempo / (60.0 * rate);
    }

    jack_nframes_t firstFrame = 0;
    jack_time_t startUs = 0;
    jack_time_t nextUs = 0;
    float periodUs = 0.0F;
    if (jack_get_cycle_times(client_, &firstFrame, &startUs, &nextUs, &periodUs) != 0) {
        startUs = jack_get_time();
    }
    sequence_.fetch_add(1, std::memory_order_acq_rel);
    std::atomic_thread_fence(std::memory_order_release);
    rolling_.store(rolling, std::memory_order_relaxed);
    starting_.store(starting, std::memory_order_relaxed);
    frame_.store(frame, std::memory_order_relaxed);
    runStart_.store(run_, std::memory_order_relaxed);
    timeNs_.store(static_cast<std::int64_t>(startUs) * 1000 + clockOffsetNs_,
                  std::memory_order_relaxed);
    rate_.store(rate, std::memory_order_relaxed);
    beats_.store(beats, std::memory_order_relaxed);
    beatsPerMinute_.store(tempo, std::memory_order_relaxed);
    followsMaster_.store(master, std::memory_order_relaxed);
    sequence_.fetch_add(1, std::memory_order_release);
}

int JackTransport::sync(jack_transport_state_t /*state*/, jack_position_t* position, void* self) {
    auto& transport = *static_cast<JackTransport*>(self);
    return !transport.following_.load(std::memory_order_relaxed) ||
                   transport.readyFrame_.load(std::memory_order_relaxed) ==
                       static_cast<std::int64_t>(position->frame)
               ? 1
               : 0;
}

void JackTransport::timebase(jack_transport_state_t /*state*/, jack_nframes_t /*frames*/,
                             jack_position_t* position, int /*newPosition*/, void* self) {
    const auto& transport = *static_cast<JackTransport*>(self);
    const double tempo = transport.ownTempo_.load(std::memory_order_relaxed);
    const double rate = position->frame_rate > 0 ? position->frame_rate : 48'000.0;
    const double beats = static_cast<double>(position->frame) * tempo / (60.0 * rate);
    const double wholeBeats = std::floor(beats);
    const double bars = std::floor(wholeBeats / kBeatsPerBar);
    position->valid = static_cast<jack_position_bits_t>(position->valid | JackPositionBBT);
    position->bar = static_cast<std::int32_t>(bars) + 1;
    position->beat = static_cast<std::int32_t>(wholeBeats - bars * kBeatsPerBar) + 1;
    position->tick = static_cast<std::int32_t>((beats - wholeBeats) * kTicksPerBeat);
    position->bar_start_tick = bars * kBeatsPerBar * kTicksPerBeat;
    position->beats_per_bar = static_cast<float>(kBeatsPerBar);
    position->beat_type = 4.0F;
    position->ticks_per_beat = kTicksPerBeat;
    position->beats_per_minute = tempo;
}

void JackTransport::serverStopped(void* self) {
    static_cast<JackTransport*>(self)->serverGone_.store(true, std::memory_order_relaxed);
}

} // namespace tarnwick
