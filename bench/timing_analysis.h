#pragma once
// Measures timing as a listener hears it: finds the onsets of a train of
// identical percussive notes in a recording and compares them with the ideal
// step grid.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <span>
#include <vector>

namespace tarnwick::bench {

// The frames (fractional, interpolated between the two frames around the
// crossing) where a note begins: where the magnitude first rises through
// `relativeLevel` of the recording's peak, at least `minGapFrames` after the
// previous onset. Identical notes cross that level at the same point of their
// attack, so onsets compare to within a small fraction of a millisecond.
inline std::vector<double> detectOnsets(std::span<const float> audio, double minGapFrames,
                                        double relativeLevel = 0.25) {
    float peak = 0.0f;
    for (float sample : audio) {
        peak = std::max(peak, std::abs(sample));
    }
    std::vector<double> onsets;
    if (peak == 0.0f) {
        return onsets;
    }
    const double level = relativeLevel * static_cast<double>(peak);
    double nextAllowed = 0.0;
    for (std::size_t i = 1; i < audio.size(); ++i) {
        const double now = std::abs(static_cast<double>(audio[i]));
        if (static_cast<double>(i) < nextAllowed || now < level) {
            continue;
        }
        const double before = std::abs(static_cast<double>(audio[i - 1]));
        const double fraction = now > before ? (level - before) / (now - before) : 0.0;
        const double onset = static_cast<double>(i - 1) + std::clamp(fraction, 0.0, 1.0);
        onsets.push_back(onset);
        nextAllowed = onset + minGapFrames;
    }
    return onsets;
}

struct TimingFigures {
    std::size_t onsets = 0; // onsets found and matched to the grid
    double medianMs = 0.0;  // of the absolute deviations from the grid
    double p99Ms = 0.0;     // 99th percentile of the absolute deviations
    double maxMs = 0.0;     // largest absolute deviation
    double driftMs = 0.0;   // mean deviation of the last 20 onsets less the first 20
    double latencyMs = 0.0; // the constant offset taken off: median onset less grid time
};

// Compares onset times with the grid firstSeconds + k * periodSeconds (all
// in seconds on one clock). Each onset belongs to the grid point nearest to
// it; the constant offset between the two (the output's latency) is taken
// off, since a listener cannot hear it.
inline TimingFigures compareWithGrid(std::span<const double> onsetSeconds, double firstSeconds,
                                     double periodSeconds) {
    TimingFigures figures;
    if (onsetSeconds.empty()) {
        return figures;
    }
    // Nearest grid point, measured from the first onset (which belongs to
    // grid point 0).
    std::vector<double> offsets;
    for (double onset : onsetSeconds) {
        const double k = std::round((onset - onsetSeconds.front()) / periodSeconds);
        offsets.push_back(onset - (firstSeconds + k * periodSeconds));
    }
    const auto quantile = [](std::vector<double> values, double q) {
        std::sort(values.begin(), values.end());
        const auto index = static_cast<std::size_t>(q * static_cast<double>(values.size() - 1));
        return values[index];
    };
    const double latency = quantile(offsets, 0.5);
    std::vector<double> deviations;
    for (double offset : offsets) {
        deviations.push_back(std::abs(offset - latency));
    }
    const std::size_t edge = std::min<std::size_t>(20, offsets.size());
    double first = 0.0;
    double last = 0.0;
    for (std::size_t i = 0; i < edge; ++i) {
        first += offsets[i];
        last += offsets[offsets.size() - 1 - i];
    }
    figures.onsets = onsetSeconds.size();
    figures.medianMs = 1000.0 * quantile(deviations, 0.5);
    figures.p99Ms = 1000.0 * quantile(deviations, 0.99);
    figures.maxMs = 1000.0 * quantile(deviations, 1.0);
    figures.driftMs = 1000.0 * (last - first) / static_cast<double>(edge);
    figures.latencyMs = 1000.0 * latency;
    return figures;
}

} // namespace tarnwick::bench
