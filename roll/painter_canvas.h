#pragma once
// The piano roll drawn with a QPainter: in the window and into the PNG.

#include <QFont>

#include "roll/roll_drawing.h"

class QPainter;

namespace tarnwick {

class PainterCanvas final : public RollCanvas {
  public:
    // Draws with `painter`, text in a font of `fontSize` pixels.
    PainterCanvas(QPainter& painter, double fontSize);

    void fillRect(const Rect& rect, Rgb colour) override;
    void note(const Rect& rect, Rgb colour, const RollNote& note) override;
    void drumHit(const Rect& rect, Rgb colour, const DrumHit& hit) override;
    void text(double x, double y, std::string_view text, Rgb colour, TextAnchor anchor) override;

  private:
    QPainter& painter_;
    QFont font_;
};

} // namespace tarnwick
