#include "roll/roll_drawing.h"

#include <algorithm>

namespace tarnwick {

namespace {

constexpr Rgb kLaneBackground{242, 242, 242};
constexpr Rgb kOctaveLine{200, 200, 200};
constexpr Rgb kStepLine{230, 230, 230};
constexpr Rgb kAxisText{60, 60, 60};
constexpr Rgb kBeatMark{160, 160, 160};
// Opaque: Qt blends a tall translucent fill on worker threads, which would
// cost each tick's repaint several times the fill itself.
constexpr Rgb kPlayhead{64, 64, 64};
constexpr int kStepLabelEvery = 128;

bool overlaps(int step, int length, StepSpan span) {
    return step <= span.last && step + length - 1 >= span.first;
}

// The part of `area` over the span's columns; at either end of the pass it
// reaches out over the margin. Keeping fills to what is repainted keeps a
// small repaint cheap.
Rect withinSpan(const Rect& area, const RollLayout& layout, StepSpan span) {
    const double left = span.first <= 0 ? area.x : std::max(area.x, layout.stepX(span.first));
    const double right = span.last >= kStepCount - 1
                             ? area.x + area.width
                             : std::min(area.x + area.width, layout.stepX(span.last + 1));
    return {left, area.y, std::max(right - left, 0.0), area.height};
}

// A grid line along the rows at each C, labelled with its octave.
void drawPitchAxis(const RollLayout& layout, RollCanvas& canvas, StepSpan steps) {
    const Rect plot = withinSpan(layout.plotRect(), layout, steps);
    const PitchSpan span = layout.pitchSpan();
    const double labelX = layout.stepX(0) - layout.metrics().fontSize / 3;
    for (int note = span.low; note <= span.high; note += 12) {
        const Rect row = layout.noteRect(0, 1, note);
        canvas.fillRect({plot.x, row.y + row.height - 1, plot.width, 1}, kOctaveLine);
        if (steps.first == 0) {
            canvas.text(labelX, layout.noteCentreY(note), noteName(note), kAxisText,
                        TextAnchor::End);
        }
    }
}

// A grid line every 128 steps, labelled with the step under the lane.
void drawStepAxis(const RollLayout& layout, RollCanvas& canvas) {
    const Rect plot = layout.plotRect();
    const Rect lane = layout.laneRect();
    const double labelY = lane.y + lane.height + layout.metrics().axisHeight / 2;
    canvas.text(plot.x - layout.metrics().fontSize / 3, labelY, "step", kAxisText, TextAnchor::End);
    for (int step = 0; step <= kStepCount; step += kStepLabelEvery) {
        const double x = layout.stepX(step);
        if (step > 0 && step < kStepCount) {
            canvas.fillRect({x, plot.y, 1, plot.height}, kStepLine);
        }
        const TextAnchor anchor = step == 0            ? TextAnchor::Start
                                  : step == kStepCount ? TextAnchor::End
                                                       : TextAnchor::Middle;
        canvas.text(x, labelY, std::to_string(step), kAxisText, anchor);
    }
}

// Which colour is which line, in the top margin: a swatch, then the name, for
// the lines drawn and the drums.
void drawLegend(const RollPicture& picture, const RollLayout& layout, RollCanvas& canvas) {
    const double size = layout.metrics().fontSize;
    const double y = layout.metrics().topMargin / 2;
    double x = layout.stepX(0);
    const auto item = [&](Rgb colour, std::string_view name) {
        canvas.fillRect({x, y - size / 2, size, size}, colour);
        canvas.text(x + size * 1.4, y, name, kAxisText, TextAnchor::Start);
        x += size * (2.4 + 0.6 * static_cast<double>(name.size())); // room for the name
    };
    for (const RollLine line : kRollLines) {
        if (std::ranges::find(picture.notes, line, &RollNote::line) != picture.notes.end()) {
            item(lineColour(line), lineLabel(line));
        }
    }
    item(kDrumColour, "drums");
}

} // namespace

Rgb lineColour(RollLine line) {
    switch (line) {
    case RollLine::Voice1:
        return {0, 114, 178}; // blue
    case RollLine::Voice2:
        return {213, 94, 0}; // vermillion
    case RollLine::Harmony:
        return {204, 121, 167}; // reddish purple
    case RollLine::Voice3:
        return {0, 158, 115}; // bluish green
    }
    return kDrumColour;
}

void drawRoll(const RollPicture& picture, const RollLayout& layout, RollCanvas& canvas,
              StepSpan span) {
    canvas.fillRect(withinSpan({0, 0, layout.width(), layout.height()}, layout, span), kBackground);
    canvas.fillRect(withinSpan(layout.laneRect(), layout, span), kLaneBackground);
    drawLegend(picture, layout, canvas);
    drawStepAxis(layout, canvas);
    drawPitchAxis(layout, canvas, span);
    const PitchSpan pitches = layout.pitchSpan();
    for (const RollNote& note : picture.notes) {
        if (overlaps(note.step, note.length, span) && note.note >= pitches.low &&
            note.note <= pitches.high) {
            canvas.note(layout.noteRect(note.step, note.length, note.note), lineColour(note.line),
                        note);
        }
    }
    for (const DrumHit& hit : picture.drumHits) {
        if (overlaps(hit.step, 1, span)) {
            canvas.drumHit(layout.laneCell(hit.step), kDrumColour, hit);
        }
    }
}

void drawBeatMarks(std::span<const int> steps, const RollLayout& layout, RollCanvas& canvas,
                   StepSpan span) {
    for (const int step : steps) {
        if (overlaps(step, 1, span)) {
            const Rect cell = layout.laneCell(step);
            // The middle third of the lane: a hit to come, not one heard.
            canvas.fillRect({cell.x, cell.y + cell.height / 3, cell.width, cell.height / 3},
                            kBeatMark);
        }
    }
}

void drawPlayhead(int step, const RollLayout& layout, RollCanvas& canvas) {
    canvas.fillRect(layout.columnRect(step), kPlayhead);
}

std::string describeAt(const RollPicture& picture, const RollLayout& layout, double x, double y) {
    const std::optional<int> step = layout.stepAt(x);
    if (!step) {
        return {};
    }
    if (layout.inLane(y)) {
        const auto hit = std::ranges::find(picture.drumHits, *step, &DrumHit::step);
        return hit == picture.drumHits.end() ? std::string() : describeDrumHit(*hit);
    }
    const std::optional<int> note = layout.noteAt(y);
    // The last note drawn lies on top.
    const auto found = std::find_if(picture.notes.rbegin(), picture.notes.rend(), [&](auto& n) {
        return n.note == note && n.step <= *step && *step < n.step + n.length;
    });
    return found == picture.notes.rend() ? std::string() : describeNote(*found);
}

} // namespace tarnwick
