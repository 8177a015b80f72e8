#include "roll/roll_images.h"

#include <cmath>

#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <QPainter>

#include "roll/painter_canvas.h"
#include "roll/svg_canvas.h"

namespace tarnwick {

namespace {

std::vector<std::uint8_t> bytesOf(const QByteArray& data) {
    return {data.begin(), data.end()};
}

} // namespace

RollLayout imageLayout(const RollPicture& picture) {
    return RollLayout(kImageMetrics, pitchSpanOf(picture.notes));
}

std::vector<std::uint8_t> rollSvg(const RollPicture& picture) {
    const RollLayout layout = imageLayout(picture);
    QByteArray data;
    {
        SvgCanvas canvas(data, layout.width(), layout.height(), kImageMetrics.fontSize);
        drawRoll(picture, layout, canvas);
    }
    return bytesOf(data);
}

std::vector<std::uint8_t> rollPng(const RollPicture& picture) {
    const RollLayout layout = imageLayout(picture);
    QImage image(static_cast<int>(std::ceil(layout.width())),
                 static_cast<int>(std::ceil(layout.height())), QImage::Format_RGB32);
    {
        QPainter painter(&image);
        PainterCanvas canvas(painter, kImageMetrics.fontSize);
        drawRoll(picture, layout, canvas);
    }
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG")) {
        return {};
    }
    return bytesOf(data);
}

} // namespace tarnwick
