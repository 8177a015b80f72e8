#pragma once
// The piano roll as SVG, written with QXmlStreamWriter. Every note is one
// <rect> with data-line, data-step, data-length and data-note; every drum hit
// one <rect> with data-line="drums", data-step and data-note. Each carries a
// <title>, which viewers show on hover.

#include <QByteArray>
#include <QXmlStreamWriter>

#include "roll/roll_drawing.h"

namespace tarnwick {

class SvgCanvas final : public RollCanvas {
  public:
    // Opens an SVG document of the given size in `out`.
    SvgCanvas(QByteArray& out, double width, double height, double fontSize);
    // Closes the document.
    ~SvgCanvas() override;
    SvgCanvas(const SvgCanvas&) = delete;
    SvgCanvas& operator=(const SvgCanvas&) = delete;

    void fillRect(const Rect& rect, Rgb colour) override;
    void note(const Rect& rect, Rgb colour, const RollNote& note) override;
    void drumHit(const Rect& rect, Rgb colour, const DrumHit& hit) override;
    void text(double x, double y, std::string_view text, Rgb colour, TextAnchor anchor) override;

  private:
    void startRect(const Rect& rect, Rgb colour);

    QXmlStreamWriter xml_;
};

} // namespace tarnwick
