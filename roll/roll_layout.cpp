#include "roll/roll_layout.h"

#include <algorithm>
#include <cmath>

#include "composition/score.h"

namespace tarnwick {

namespace {

constexpr int kOctave = 12;
constexpr PitchSpan kEmptySpan{24, 107}; // C1 to B7
constexpr int kHighestNote = 127;

} // namespace

PitchSpan pitchSpanOf(std::span<const RollNote> notes) {
    if (notes.empty()) {
        return kEmptySpan;
    }
    const auto [lowest, highest] = std::ranges::minmax(notes, {}, &RollNote::note);
    return {lowest.note / kOctave * kOctave,
            std::min(highest.note / kOctave * kOctave + kOctave - 1, kHighestNote)};
}

RollLayout::RollLayout(const RollMetrics& metrics, PitchSpan span)
    : metrics_(metrics), span_(span) {}

double RollLayout::width() const {
    return metrics_.leftMargin + kStepCount * metrics_.stepWidth + metrics_.rightMargin;
}

double RollLayout::height() const {
    return metrics_.topMargin + metrics_.plotHeight + metrics_.laneGap + metrics_.laneHeight +
           metrics_.axisHeight;
}

double RollLayout::rowHeight() const {
    return metrics_.plotHeight / (span_.high - span_.low + 1);
}

double RollLayout::noteCentreY(int note) const {
    return metrics_.topMargin + (span_.high - note + 0.5) * rowHeight();
}

Rect RollLayout::plotRect() const {
    return {stepX(0), metrics_.topMargin, kStepCount * metrics_.stepWidth, metrics_.plotHeight};
}

Rect RollLayout::laneRect() const {
    return {stepX(0), metrics_.topMargin + metrics_.plotHeight + metrics_.laneGap,
            kStepCount * metrics_.stepWidth, metrics_.laneHeight};
}

Rect RollLayout::noteRect(int step, int length, int note) const {
    return {stepX(step), noteCentreY(note) - rowHeight() / 2, length * metrics_.stepWidth,
            rowHeight()};
}

Rect RollLayout::laneCell(int step) const {
    const Rect lane = laneRect();
    return {stepX(step), lane.y, metrics_.stepWidth, lane.height};
}

Rect RollLayout::columnRect(int first, int steps) const {
    const Rect lane = laneRect();
    return {stepX(first), metrics_.topMargin, steps * metrics_.stepWidth,
            lane.y + lane.height - metrics_.topMargin};
}

std::optional<int> RollLayout::stepAt(double x) const {
    const double step = std::floor((x - metrics_.leftMargin) / metrics_.stepWidth);
    if (step < 0 || step >= kStepCount) {
        return std::nullopt;
    }
    return static_cast<int>(step);
}

std::optional<int> RollLayout::noteAt(double y) const {
    const double row = std::floor((y - metrics_.topMargin) / rowHeight());
    if (row < 0 || row > span_.high - span_.low) {
        return std::nullopt;
    }
    return span_.high - static_cast<int>(row);
}

} // namespace tarnwick
