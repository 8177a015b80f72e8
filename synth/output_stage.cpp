#include "synth/output_stage.h"

#include <algorithm>
#include <cmath>

namespace tarnwick {

OutputStage::OutputStage(const OutputStageConfig& config)
    : inputGain_(static_cast<float>(config.gain)),
      ceiling_(static_cast<float>(std::pow(10.0, config.ceilingDb / 20.0))),
      window_(std::max(0, static_cast<int>(
                              std::lround(config.lookaheadMs * config.sampleRate / 1000.0))) +
              1),
      release_(1.0 - std::exp(-1000.0 / (config.releaseMs * config.sampleRate))),
      delayLeft_(static_cast<std::size_t>(window_), 0.0f),
      delayRight_(static_cast<std::size_t>(window_), 0.0f),
      needs_(static_cast<std::size_t>(window_)), minima_(static_cast<std::size_t>(window_), 1.0),
      minimaSum_(window_) {}

double OutputStage::windowMinimum(double needed) {
    const std::size_t size = needs_.size();
    // Older candidates that need no less than this frame can never be the
    // minimum again.
    if (needsCount_ > 0 && needs_[needsHead_].frame <= frame_ - window_) {
        needsHead_ = (needsHead_ + 1) % size; // it has left the window
        --needsCount_;
    }
    while (needsCount_ > 0 && needs_[(needsHead_ + needsCount_ - 1) % size].gain >= needed) {
        --needsCount_;
    }
    needs_[(needsHead_ + needsCount_) % size] = {frame_, needed};
    ++needsCount_;
    return needs_[needsHead_].gain;
}

// For input frame k, needing gain r(k), the frame leaves window_ - 1 frames
// later, at frame n. The gain then is at most the mean of the window minima
// of frames k..n, each of which covers frame k and so is at most r(k).
void OutputStage::process(float* left, float* right, int frames) {
    const auto size = static_cast<std::size_t>(window_);
    for (int i = 0; i < frames; ++i) {
        const float inLeft = left[i] * inputGain_;
        const float inRight = right[i] * inputGain_;
        const float peak = std::max(std::abs(inLeft), std::abs(inRight));
        const double needed = peak > ceiling_ ? ceiling_ / peak : 1.0;

        const double minimum = windowMinimum(needed);
        const std::size_t slot = static_cast<std::size_t>(frame_) % size;
        limitedMinima_ += (minimum < 1.0 ? 1 : 0) - (minima_[slot] < 1.0 ? 1 : 0);
        minimaSum_ += minimum - minima_[slot];
        minima_[slot] = minimum;
        // Once every minimum is 1 again the sum is set exactly, so rounding
        // never leaves a quiet passage a hair below unity gain.
        if (limitedMinima_ == 0) {
            minimaSum_ = window_;
        }
        const double smoothed = std::min(1.0, minimaSum_ / window_);
        gain_ = smoothed < gain_ ? smoothed : gain_ + (smoothed - gain_) * release_;
        deepestCut_ = std::min(deepestCut_, gain_);

        delayLeft_[slot] = inLeft;
        delayRight_[slot] = inRight;
        const std::size_t oldest = (slot + 1) % size;
        const auto gain = static_cast<float>(gain_);
        // The clamp only catches rounding in the gain's arithmetic.
        left[i] = std::clamp(delayLeft_[oldest] * gain, -ceiling_, ceiling_);
        right[i] = std::clamp(delayRight_[oldest] * gain, -ceiling_, ceiling_);
        ++frame_;
    }
}

} // namespace tarnwick
