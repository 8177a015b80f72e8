#include "scheduling/sample_clock.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace tarnwick {

namespace {

// The loop may correct the nominal rate by at most this fraction; sound cards
// are off by a few hundred parts per million at worst.
constexpr double kMaxRateError = 0.01;
// Keeps the loop stable when callbacks come seldom (long audio periods).
constexpr double kMaxLoopGain = 0.5;
constexpr double kNarrowingSeconds = 1.0;

} // namespace

SampleClock::SampleClock(double sampleRate, double bandwidthHz, double startBandwidthHz)
    : nominalSecondsPerFrame_(1.0 / sampleRate), bandwidthHz_(bandwidthHz),
      startBandwidthHz_(startBandwidthHz), secondsPerFrame_(1.0 / sampleRate) {}

double SampleClock::seconds(std::int64_t timeNs) const {
    return static_cast<double>(timeNs - originNs_) * 1e-9;
}

void SampleClock::update(std::int64_t nowNs, std::int64_t frame, bool restart) {
    if (!started_) {
        started_ = true;
        originNs_ = nowNs;
        anchorTime_ = 0.0;
        lockedSince_ = 0.0;
        anchorFrame_ = frame;
        secondsPerFrame_ = nominalSecondsPerFrame_;
        return;
    }
    const std::int64_t elapsedFrames = frame - anchorFrame_;
    if (elapsedFrames <= 0) {
        return;
    }
    const double now = seconds(nowNs);
    const double predicted = anchorTime_ + static_cast<double>(elapsedFrames) * secondsPerFrame_;
    const double error = now - predicted;
    if (restart || std::abs(error) > kResyncSeconds) {
        anchorTime_ = now;
        lockedSince_ = now;
        anchorFrame_ = frame;
        return;
    }
    // The bandwidth narrows from the start value to the final one with a time
    // constant of kNarrowingSeconds.
    const double bandwidth = bandwidthHz_ + (startBandwidthHz_ - bandwidthHz_) *
                                                std::exp(-(now - lockedSince_) / kNarrowingSeconds);
    // Loop gains for this update's interval: omega = 2 pi B T, with a
    // second-order response of damping ratio 1/sqrt 2, about 0.71
    // (b = sqrt 2 omega, c = omega^2): a little overshoot, for a quicker settling.
    const double interval = static_cast<double>(elapsedFrames) * secondsPerFrame_;
    const double omega = std::min(2.0 * std::numbers::pi * bandwidth * interval, kMaxLoopGain);
    anchorTime_ = predicted + std::numbers::sqrt2 * omega * error;
    anchorFrame_ = frame;
    secondsPerFrame_ += omega * omega * error / static_cast<double>(elapsedFrames);
    secondsPerFrame_ = std::clamp(secondsPerFrame_, nominalSecondsPerFrame_ * (1.0 - kMaxRateError),
                                  nominalSecondsPerFrame_ * (1.0 + kMaxRateError));
}

double SampleClock::frameAt(std::int64_t timeNs) const {
    return static_cast<double>(anchorFrame_) + (seconds(timeNs) - anchorTime_) / secondsPerFrame_;
}

} // namespace tarnwick
