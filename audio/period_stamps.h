#pragma once
// The moment each period of a stream is heard, from a sound server that
// reports once a graph cycle when the stream's next frame reaches the device.
// Such a report is exact, but the one read in a render call is the graph's
// latest, which is not always the cycle the call fills: when the graph has run
// a cycle before the call could (a busy machine), the call reads the next
// cycle's report, one period late, and the next call, in that same cycle,
// reads it again. Frames are played one after another, so a report that moves
// the line by a period the frames do not account for is first taken for
// that, and the period is stamped where the frames say. Only a move that the
// next report confirms is real (the graph played a cycle without the stream):
// then the line starts again from the report at once.

#include <chrono>
#include <cstdint>
#include <optional>

#include "midi/midi_output.h"

namespace tarnwick {

struct PeriodStamp {
    SteadyClock::time_point heardAt;
    // The stream's line moved (a cycle missed): heardAt starts a new line.
    bool restarted = false;
};

class PeriodStamps {
  public:
    explicit PeriodStamps(double sampleRate) : sampleRate_(sampleRate) {}

    // The report says the first of the `frames` about to be rendered is heard
    // at `reported`.
    PeriodStamp next(SteadyClock::time_point reported, std::uint32_t frames);

    // The stream stopped, or a report was missing: the next one starts afresh.
    void reset() { expected_.reset(); }

  private:
    double sampleRate_;
    // When the next period's first frame is heard, by the frames stamped so far.
    std::optional<SteadyClock::time_point> expected_;
    bool doubted_ = false; // the last report moved the line and was not taken
};

} // namespace tarnwick
