#pragma once
// Where the piano roll puts things: steps run left to right, pitches bottom to
// top, the drum lane lies under the pitches and the step axis under the lane.
// Sizes are in pixels (the SVG's user units).

#include <optional>
#include <span>

#include "roll/roll_picture.h"

namespace tarnwick {

struct RollMetrics {
    double stepWidth;   // width of one step's column
    double plotHeight;  // height of the pitch rows together
    double leftMargin;  // room for the octave labels
    double rightMargin; // room for the last step label
    double topMargin;   // holds the legend
    double laneGap;     // between the pitch rows and the drum lane
    double laneHeight;  // the drum lane
    double axisHeight;  // the step labels under the lane
    double fontSize;
};

// In the window one pixel is one step; the images draw every step two pixels
// wide, over 2000 pixels in all.
inline constexpr RollMetrics kWindowMetrics{1.0, 256.0, 36.0, 10.0, 18.0, 3.0, 12.0, 16.0, 10.0};
inline constexpr RollMetrics kImageMetrics{2.0, 576.0, 56.0, 20.0, 36.0, 6.0, 24.0, 32.0, 16.0};

// The pitch rows shown, lowest and highest included: whole octaves from C.
struct PitchSpan {
    int low;
    int high;
    friend bool operator==(const PitchSpan&, const PitchSpan&) = default;
};

// The whole octaves that hold every note; C1 to B7 when there is none.
PitchSpan pitchSpanOf(std::span<const RollNote> notes);

struct Rect {
    double x, y, width, height;
};

class RollLayout {
  public:
    RollLayout(const RollMetrics& metrics, PitchSpan span);

    const RollMetrics& metrics() const { return metrics_; }
    PitchSpan pitchSpan() const { return span_; }
    double width() const;
    double height() const;

    double stepX(int step) const { return metrics_.leftMargin + step * metrics_.stepWidth; }
    // The vertical middle of a pitch row.
    double noteCentreY(int note) const;

    Rect plotRect() const;
    Rect laneRect() const;
    Rect noteRect(int step, int length, int note) const;
    // One step of the drum lane.
    Rect laneCell(int step) const;
    // The columns of `steps` steps from `first`, over the pitch rows and the lane.
    Rect columnRect(int first, int steps = 1) const;

    // The step, pitch row or lane under a point; nothing outside.
    std::optional<int> stepAt(double x) const;
    std::optional<int> noteAt(double y) const;
    bool inLane(double y) const {
        return y >= laneRect().y && y < laneRect().y + laneRect().height;
    }

  private:
    double rowHeight() const;

    RollMetrics metrics_;
    PitchSpan span_;
};

} // namespace tarnwick
