#pragma once
// The last step of all audio the built-in synthesiser makes, played live or
// rendered to a file, so that both sound the same: a fixed gain that brings a
// General MIDI font to a full level, then a look-ahead peak limiter that keeps
// every sample at or below a ceiling without clipping.
//
// The limiter delays the sound by its look-ahead and sees each peak that long
// before it plays; it lowers the gain in a straight line over the look-ahead,
// so the gain is down when the peak arrives, and lets it recover over the
// release time. A signal that never goes above the ceiling passes unchanged,
// only delayed.

#include <cstdint>
#include <vector>

namespace tarnwick {

struct OutputStageConfig {
    double sampleRate = 44100.0;
    // Linear gain before the limiter: twice FluidSynth's own default level
    // (0.2), at which General MIDI fonts sound quiet. Varied pieces then play
    // at a median RMS level near -21.5 dBFS, and about a third of them peak
    // above the ceiling, by up to 3.3 dB, which the limiter takes off.
    double gain = 2.0;
    // The highest level a sample reaches, in dB relative to full scale: a
    // hair under -1 dBFS, so that a 16-bit conversion downstream, rounding
    // and dither included (a sound server's, a file's), stays under it too.
    double ceilingDb = -1.01;
    // How long the limiter looks ahead, and so how much it delays the sound.
    double lookaheadMs = 3.0;
    // How long the gain takes to recover (to 1 - 1/e of the way) after a peak.
    double releaseMs = 80.0;
};

class OutputStage {
  public:
    explicit OutputStage(const OutputStageConfig& config = {});

    // Processes `frames` frames of both channels in place.
    void process(float* left, float* right, int frames);

    // The delay the limiter adds, in frames.
    int latencyFrames() const { return window_ - 1; }

    // The ceiling as a linear level.
    float ceiling() const { return ceiling_; }

    // The smallest gain the limiter has applied so far: 1 while it has had
    // nothing to do.
    double deepestCut() const { return deepestCut_; }

  private:
    // The smallest gain any of the last window_ input frames needs.
    double windowMinimum(double needed);

    float inputGain_;
    float ceiling_;
    int window_;
    double release_;

    // Input frames waiting to be played: a ring of window_ frames.
    std::vector<float> delayLeft_;
    std::vector<float> delayRight_;
    // Candidates for the window's minimum, oldest first: (frame, gain needed),
    // each gain smaller than the one before. A ring of window_ entries.
    struct Need {
        std::int64_t frame;
        double gain;
    };
    std::vector<Need> needs_;
    std::size_t needsHead_ = 0;
    std::size_t needsCount_ = 0;
    // The last window_ minima and their sum: their mean is the smoothed gain.
    std::vector<double> minima_;
    double minimaSum_;
    int limitedMinima_ = 0; // how many of them are below 1
    double gain_ = 1.0;
    double deepestCut_ = 1.0;
    std::int64_t frame_ = 0;
};

} // namespace tarnwick
