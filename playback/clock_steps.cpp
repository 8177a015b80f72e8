#include "playback/clock_steps.h"

#include <algorithm>
#include <cmath>

#include "playback/output_device.h"
#include "ports/alsa_clock_input.h"
#include "ports/jack_clock_client.h"

namespace tarnwick {

std::unique_ptr<ClockSteps> ClockSteps::open(Performance& performance, OutputDevice* output,
                                             std::string port, int stepsPerBeat, Report report,
                                             ClockFault& failure) {
    failure = ClockFault::None;
    std::unique_ptr<ClockInput> input =
        output != nullptr ? output->receiveClock(port, failure) : nullptr;
    if (!input && failure == ClockFault::None) {
        input = openJackClockInput(port, failure);
    }
    if (!input) { // a port of the ALSA sequencer, where there is one
        ClockFault alsa = ClockFault::None;
        input = openAlsaClockInput(port, alsa);
        failure = input ? ClockFault::None : alsa == ClockFault::None ? failure : alsa;
    }
    if (!input) {
        return nullptr;
    }
    return std::unique_ptr<ClockSteps>(new ClockSteps(
        performance, std::move(input), std::move(port), stepsPerBeat, std::move(report)));
}

ClockSteps::ClockSteps(Performance& performance, std::unique_ptr<ClockInput> input,
                       std::string port, int stepsPerBeat, Report report)
    : input_(std::move(input)), port_(std::move(port)), follower_(performance, stepsPerBeat),
      report_(std::move(report)) {
    run_ = input_->view().run;
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] { poll(); });
    timer_.start(kPoll);
    poll();
}

void ClockSteps::poll() {
    const SteadyClock::time_point now = SteadyClock::now();
    const ClockView view = input_->view();
    if (view.fault == ClockFault::ServerStopped) {
        timer_.stop();
        follower_.lose(now);
        report_(clockFaultLine(view.fault, port_));
        return;
    }
    if (view.run != run_) {
        run_ = view.run;
        if (view.fromStart) {
            follower_.restart(); // Start while running plays anew from step 0
        }
    }
    // Steps are prepared up to a little beyond the pulse to come, and those
    // that begin on it at least: no further while the pulses are late, so a
    // clock that falls silent piles nothing up.
    const TimelineView& line = view.timeline;
    const std::chrono::duration<double> pulse(1.5 / line.rate);
    follower_.follow(
        line, std::max(std::min(now, line.time) + kPrepareAhead,
                       line.time + std::chrono::duration_cast<SteadyClock::duration>(pulse)));
    std::string shown;
    if (view.fault != ClockFault::None && !line.rolling) {
        shown = clockFaultLine(view.fault, port_);
    } else {
        // A tenth of a BPM, as shown.
        const double tempo = std::round(line.beatsPerMinute * 10.0) / 10.0;
        shown = followingLine(TempoSource::MidiClockIn, tempo, line.rolling, false);
    }
    if (shown != shown_) {
        shown_ = shown;
        report_(std::move(shown));
    }
}

} // namespace tarnwick
