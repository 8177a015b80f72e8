#pragma once
// The one drawing routine of the piano roll. It draws onto a canvas, which the
// window and the PNG implement with a painter and the SVG with an XML writer,
// so all three show the same picture.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "composition/score.h"
#include "roll/roll_layout.h"
#include "roll/roll_picture.h"

namespace tarnwick {

struct Rgb {
    std::uint8_t red, green, blue;
    std::uint8_t alpha = 255;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

// Colours from the Okabe-Ito set, told apart with every common colour vision.
Rgb lineColour(RollLine line);
inline constexpr Rgb kDrumColour{0, 0, 0};
inline constexpr Rgb kBackground{255, 255, 255};

enum class TextAnchor { Start, Middle, End };

class RollCanvas {
  public:
    virtual ~RollCanvas() = default;

    virtual void fillRect(const Rect& rect, Rgb colour) = 0;
    // A note and a drum hit: a filled rectangle that stands for them.
    virtual void note(const Rect& rect, Rgb colour, const RollNote& note) = 0;
    virtual void drumHit(const Rect& rect, Rgb colour, const DrumHit& hit) = 0;
    // One line of text whose vertical middle is at y.
    virtual void text(double x, double y, std::string_view text, Rgb colour, TextAnchor anchor) = 0;
};

// The steps a drawing covers, first and last included.
struct StepSpan {
    int first = 0;
    int last = kStepCount - 1;
};

// The backgrounds, the legend, the octave and step axes with their grid, the
// notes and the picture's drum hits, over the columns of `span` (and the
// margins beside it at either end of the pass). A canvas that clips may be
// given a span that covers what it repaints.
void drawRoll(const RollPicture& picture, const RollLayout& layout, RollCanvas& canvas,
              StepSpan span = {});

// Marks in the drum lane for hits still to come, lighter than a hit.
void drawBeatMarks(std::span<const int> steps, const RollLayout& layout, RollCanvas& canvas,
                   StepSpan span = {});

// The playhead over the column of the step that sounds.
void drawPlayhead(int step, const RollLayout& layout, RollCanvas& canvas);

// What lies under a point: the top note's or the drum hit's description, or
// nothing.
std::string describeAt(const RollPicture& picture, const RollLayout& layout, double x, double y);

} // namespace tarnwick
