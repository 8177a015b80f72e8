#include "roll/painter_canvas.h"

#include <QColor>
#include <QPainter>
#include <QRectF>

namespace tarnwick {

namespace {

QColor toQColor(Rgb colour) {
    return QColor(colour.red, colour.green, colour.blue, colour.alpha);
}

QRectF toQRect(const Rect& rect) {
    return QRectF(rect.x, rect.y, rect.width, rect.height);
}

} // namespace

PainterCanvas::PainterCanvas(QPainter& painter, double fontSize) : painter_(painter) {
    font_.setPixelSize(static_cast<int>(fontSize));
}

void PainterCanvas::fillRect(const Rect& rect, Rgb colour) {
    painter_.fillRect(toQRect(rect), toQColor(colour));
}

void PainterCanvas::note(const Rect& rect, Rgb colour, const RollNote& /*note*/) {
    fillRect(rect, colour);
}

void PainterCanvas::drumHit(const Rect& rect, Rgb colour, const DrumHit& /*hit*/) {
    fillRect(rect, colour);
}

void PainterCanvas::text(double x, double y, std::string_view text, Rgb colour, TextAnchor anchor) {
    // A box far wider than any label, placed so the anchor falls on x.
    constexpr double kBox = 200.0;
    const double height = font_.pixelSize() * 2.0;
    const double left = anchor == TextAnchor::Start    ? x
                        : anchor == TextAnchor::Middle ? x - kBox / 2
                                                       : x - kBox;
    const int horizontal = anchor == TextAnchor::Start    ? Qt::AlignLeft
                           : anchor == TextAnchor::Middle ? Qt::AlignHCenter
                                                          : Qt::AlignRight;
    const QRectF box(left, y - height / 2, kBox, height);
    if (painter_.hasClipping() && !painter_.clipBoundingRect().intersects(box)) {
        return; // shaping text is the dearest part of a small repaint
    }
    painter_.save();
    painter_.setFont(font_);
    painter_.setPen(toQColor(colour));
    painter_.drawText(box, horizontal | Qt::AlignVCenter,
                      QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    painter_.restore();
}

} // namespace tarnwick
