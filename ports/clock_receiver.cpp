#include "ports/clock_receiver.h"

#include "midi/status_bytes.h"

namespace tarnwick {

namespace {

constexpr int kPulsesPerBeat = 24;
constexpr int kPulsesPerSixteenth = 6;
// A gap this long between pulses (under 2.5 BPM) begins a new reckoning of
// the tempo: a clock that sends no pulses while stopped does not slow it.
constexpr double kTempoGapSeconds = 1.0;

} // namespace

void ClockReceiver::beginCycle(std::uint32_t firstFrame, std::int64_t startNs, double nsPerFrame) {
    cycleFrame_ = cycleSeen_
                      ? cycleFrame_ + static_cast<std::uint32_t>(firstFrame - lastFirstFrame_)
                      : firstFrame;
    cycleSeen_ = true;
    lastFirstFrame_ = firstFrame;
    cycleNs_ = startNs;
    nsPerFrame_ = nsPerFrame;
    cyclePulseCount_ = 0;
    if (resetAsked_.exchange(false, std::memory_order_relaxed)) {
        portGone_.store(false, std::memory_order_relaxed);
        running_ = false;
        position_ = 0;
        endedStart_ = endedEnd_ = -1;
        fault_ = ClockFault::None;
    }
}

void ClockReceiver::receive(const std::uint8_t* data, std::size_t size, std::uint32_t offset) {
    if (size == 0) {
        return;
    }
    const std::int64_t frame = cycleFrame_ + offset;
    const auto ns = cycleNs_ + static_cast<std::int64_t>(offset * nsPerFrame_);
    switch (data[0]) {
    case midi::kClockStart:
        if (running_) {
            endRun(ClockFault::None);
        }
        position_ = 0;
        beginRun(true, ns, frame);
        break;
    case midi::kClockContinue:
        if (!running_) {
            beginRun(false, ns, frame);
        }
        break;
    case midi::kClockStop:
        if (running_) {
            endRun(ClockFault::None);
        }
        break;
    case midi::kSongPosition:
        if (size >= 3) {
            const int sixteenths = (data[1] & midi::kDataMask) | ((data[2] & midi::kDataMask) << 7);
            if (running_) {
                endRun(ClockFault::None);
                position_ = std::int64_t{sixteenths} * kPulsesPerSixteenth;
                beginRun(false, ns, frame);
            } else {
                position_ = std::int64_t{sixteenths} * kPulsesPerSixteenth;
            }
        }
        break;
    case midi::kClockPulse:
        pulse(ns, frame, offset);
        break;
    default:
        break;
    }
}

void ClockReceiver::endCycle(std::uint32_t frames) {
    if (portGone_.load(std::memory_order_relaxed)) {
        if (running_) {
            endRun(ClockFault::PortGone);
        }
        fault_ = ClockFault::PortGone;
    }
    if (running_ &&
        static_cast<double>(cycleFrame_ + frames - lastHeard_) > kSilenceSeconds * sampleRate_) {
        endRun(ClockFault::ClockSilent);
    }
    publish();
}

ClockReceiver::Placement ClockReceiver::place(const TransportStamp& stamp, bool startsSound) const {
    for (std::size_t i = 0; i < cyclePulseCount_; ++i) {
        if (cyclePulses_[i].pulse == stamp.frame) {
            return {.offset = cyclePulses_[i].offset};
        }
    }
    const std::int64_t base = runs_ * kRunSpan;
    const std::int64_t current = running_ ? base + firstPulse_ : -1;
    if (stamp.runStart == current && stamp.frame >= base + position_) {
        return {.wait = true};
    }
    if ((stamp.runStart == endedStart_ && stamp.frame >= endedEnd_) ||
        (stamp.runStart != current && startsSound)) {
        return {.drop = true};
    }
    return {};
}

ClockView ClockReceiver::view() const {
    ClockView view;
    TimelineView& line = view.timeline;
    std::uint64_t before = 0;
    do {
        before = sequence_.load(std::memory_order_acquire);
        line.rolling = rolling_.load(std::memory_order_relaxed);
        line.frame = frame_.load(std::memory_order_relaxed);
        line.runStart = runStart_.load(std::memory_order_relaxed);
        line.time =
            SteadyClock::time_point(SteadyClock::duration(timeNs_.load(std::memory_order_relaxed)));
        line.beats = beats_.load(std::memory_order_relaxed);
        line.beatsPerMinute = beatsPerMinute_.load(std::memory_order_relaxed);
        view.run = run_.load(std::memory_order_relaxed);
        view.fromStart = startedFromStart_.load(std::memory_order_relaxed);
        view.fault = publishedFault_.load(std::memory_order_relaxed);
        std::atomic_thread_fence(std::memory_order_acquire);
    } while ((before & 1U) != 0 || before != sequence_.load(std::memory_order_relaxed));
    if (serverGone_.load(std::memory_order_relaxed)) {
        view.fault = ClockFault::ServerStopped;
        line.rolling = false;
    }
    line.rate = line.beatsPerMinute * kPulsesPerBeat / 60.0;
    line.timeline = StampTimeline::ClockPulses;
    return view;
}

void ClockReceiver::beginRun(bool fromStart, std::int64_t ns, std::int64_t frame) {
    ++runs_;
    fromStart_ = fromStart;
    firstPulse_ = position_;
    running_ = true;
    pulsesHeard_ = 0; // the tempo from this run's pulses (until then, as it was)
    fault_ = ClockFault::None;
    lastHeard_ = frame;
    lastHeardNs_ = ns;
}

void ClockReceiver::endRun(ClockFault why) {
    const std::int64_t base = runs_ * kRunSpan;
    endedStart_ = base + firstPulse_;
    endedEnd_ = base + position_;
    running_ = false;
    fault_ = why;
}

void ClockReceiver::pulse(std::int64_t ns, std::int64_t frame, double offset) {
    if (pulsesHeard_ > 0) {
        const std::int64_t last = pulseFrames_[(pulsesHeard_ - 1) % kPulsesKept];
        if (static_cast<double>(frame - last) > kTempoGapSeconds * sampleRate_) {
            pulsesHeard_ = 0;
        }
    }
    pulseFrames_[pulsesHeard_ % kPulsesKept] = frame;
    ++pulsesHeard_;
    if (!running_) {
        return;
    }
    if (cyclePulseCount_ < kPulsesACycle) {
        cyclePulses_[cyclePulseCount_++] = {runs_ * kRunSpan + position_, offset};
    }
    ++position_;
    lastHeard_ = frame;
    lastHeardNs_ = ns;
}

double ClockReceiver::framesPerPulse() const {
    const std::size_t kept = pulsesHeard_ < kPulsesKept ? pulsesHeard_ : kPulsesKept;
    if (kept < 2) {
        return 0.0;
    }
    const std::int64_t newest = pulseFrames_[(pulsesHeard_ - 1) % kPulsesKept];
    const std::int64_t oldest = pulseFrames_[(pulsesHeard_ - kept) % kPulsesKept];
    return static_cast<double>(newest - oldest) / static_cast<double>(kept - 1);
}

void ClockReceiver::publish() {
    const double spacing = framesPerPulse();
    const double tempo = spacing > 0.0 ? 60.0 * sampleRate_ / (kPulsesPerBeat * spacing)
                                       : beatsPerMinute_.load(std::memory_order_relaxed);
    const double pulseNs = 60e9 / (kPulsesPerBeat * tempo);
    const std::int64_t base = runs_ * kRunSpan;
    // Rolling: the pulse to come, due a pulse after the last one heard.
    // Stopped: the last pulse the run reached, where Stop's messages belong.
    const std::int64_t pulse = running_ ? position_ : endedEnd_ - base - 1;
    sequence_.fetch_add(1, std::memory_order_acq_rel);
    std::atomic_thread_fence(std::memory_order_release);
    rolling_.store(running_, std::memory_order_relaxed);
    frame_.store(base + pulse, std::memory_order_relaxed);
    runStart_.store(base + firstPulse_, std::memory_order_relaxed);
    timeNs_.store(lastHeardNs_ + static_cast<std::int64_t>(pulseNs), std::memory_order_relaxed);
    beats_.store(static_cast<double>(pulse) / kPulsesPerBeat, std::memory_order_relaxed);
    beatsPerMinute_.store(tempo, std::memory_order_relaxed);
    run_.store(runs_, std::memory_order_relaxed);
    startedFromStart_.store(fromStart_, std::memory_order_relaxed);
    publishedFault_.store(fault_, std::memory_order_relaxed);
    sequence_.fetch_add(1, std::memory_order_release);
}

} // namespace tarnwick
