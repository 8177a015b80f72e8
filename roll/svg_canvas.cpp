#include "roll/svg_canvas.h"

namespace tarnwick {

namespace {

QString qText(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString number(double value) {
    return QString::number(value, 'g', 8);
}

QString hexColour(Rgb colour) {
    return QStringLiteral("#%1%2%3")
        .arg(colour.red, 2, 16, QLatin1Char('0'))
        .arg(colour.green, 2, 16, QLatin1Char('0'))
        .arg(colour.blue, 2, 16, QLatin1Char('0'));
}

void writeColour(QXmlStreamWriter& xml, const QString& attribute, Rgb colour) {
    xml.writeAttribute(attribute, hexColour(colour));
    if (colour.alpha != 255) {
        xml.writeAttribute(attribute + QStringLiteral("-opacity"), number(colour.alpha / 255.0));
    }
}

} // namespace

SvgCanvas::SvgCanvas(QByteArray& out, double width, double height, double fontSize) : xml_(&out) {
    xml_.setAutoFormatting(true);
    xml_.setAutoFormattingIndent(1);
    xml_.writeStartDocument();
    xml_.writeStartElement(QStringLiteral("svg"));
    xml_.writeDefaultNamespace(QStringLiteral("http://www.w3.org/2000/svg"));
    xml_.writeAttribute(QStringLiteral("width"), number(width));
    xml_.writeAttribute(QStringLiteral("height"), number(height));
    xml_.writeAttribute(QStringLiteral("viewBox"),
                        QStringLiteral("0 0 %1 %2").arg(number(width), number(height)));
    xml_.writeAttribute(QStringLiteral("font-family"), QStringLiteral("sans-serif"));
    xml_.writeAttribute(QStringLiteral("font-size"), number(fontSize));
    xml_.writeAttribute(QStringLiteral("shape-rendering"), QStringLiteral("crispEdges"));
}

SvgCanvas::~SvgCanvas() {
    xml_.writeEndElement(); // svg
    xml_.writeEndDocument();
}

void SvgCanvas::startRect(const Rect& rect, Rgb colour) {
    xml_.writeStartElement(QStringLiteral("rect"));
    xml_.writeAttribute(QStringLiteral("x"), number(rect.x));
    xml_.writeAttribute(QStringLiteral("y"), number(rect.y));
    xml_.writeAttribute(QStringLiteral("width"), number(rect.width));
    xml_.writeAttribute(QStringLiteral("height"), number(rect.height));
    writeColour(xml_, QStringLiteral("fill"), colour);
}

void SvgCanvas::fillRect(const Rect& rect, Rgb colour) {
    startRect(rect, colour);
    xml_.writeEndElement();
}

void SvgCanvas::note(const Rect& rect, Rgb colour, const RollNote& note) {
    startRect(rect, colour);
    xml_.writeAttribute(QStringLiteral("data-line"), qText(lineId(note.line)));
    xml_.writeAttribute(QStringLiteral("data-step"), QString::number(note.step));
    xml_.writeAttribute(QStringLiteral("data-length"), QString::number(note.length));
    xml_.writeAttribute(QStringLiteral("data-note"), QString::number(note.note));
    xml_.writeTextElement(QStringLiteral("title"), qText(describeNote(note)));
    xml_.writeEndElement();
}

void SvgCanvas::drumHit(const Rect& rect, Rgb colour, const DrumHit& hit) {
    startRect(rect, colour);
    xml_.writeAttribute(QStringLiteral("data-line"), QStringLiteral("drums"));
    xml_.writeAttribute(QStringLiteral("data-step"), QString::number(hit.step));
    xml_.writeAttribute(QStringLiteral("data-note"), QString::number(hit.note));
    xml_.writeTextElement(QStringLiteral("title"), qText(describeDrumHit(hit)));
    xml_.writeEndElement();
}

void SvgCanvas::text(double x, double y, std::string_view text, Rgb colour, TextAnchor anchor) {
    xml_.writeStartElement(QStringLiteral("text"));
    xml_.writeAttribute(QStringLiteral("x"), number(x));
    xml_.writeAttribute(QStringLiteral("y"), number(y));
    xml_.writeAttribute(QStringLiteral("dominant-baseline"), QStringLiteral("central"));
    xml_.writeAttribute(QStringLiteral("text-anchor"), anchor == TextAnchor::Start    ? "start"
                                                       : anchor == TextAnchor::Middle ? "middle"
                                                                                      : "end");
    writeColour(xml_, QStringLiteral("fill"), colour);
    xml_.writeCharacters(qText(text));
    xml_.writeEndElement();
}

} // namespace tarnwick
