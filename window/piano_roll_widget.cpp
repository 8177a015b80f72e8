#include "window/piano_roll_widget.h"

#include <algorithm>
#include <cmath>

#include <QHelpEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QToolTip>

#include "composition/score.h"
#include "composition/song_settings.h"
#include "playback/play_state.h"
#include "roll/painter_canvas.h"
#include "roll/roll_drawing.h"

namespace tarnwick {

namespace {

QRect toQRect(const Rect& rect) {
    return QRectF(rect.x, rect.y, rect.width, rect.height).toAlignedRect();
}

// The steps whose columns meet a rectangle of the widget.
StepSpan stepsIn(const QRect& rect, const RollLayout& layout) {
    const auto clampStep = [](double step) {
        return static_cast<int>(std::clamp(step, 0.0, kStepCount - 1.0));
    };
    const double left = layout.stepX(0);
    const double width = layout.metrics().stepWidth;
    return {clampStep(std::floor((rect.left() - left) / width)),
            clampStep(std::floor((rect.right() + 1 - left) / width))};
}

} // namespace

PianoRollWidget::PianoRollWidget(QWidget* parent)
    : QWidget(parent), layout_(kWindowMetrics, pitchSpanOf({})) {
    setFixedSize(static_cast<int>(std::ceil(layout_.width())),
                 static_cast<int>(std::ceil(layout_.height())));
    setAttribute(Qt::WA_OpaquePaintEvent); // every paint covers what it repaints
}

void PianoRollWidget::showNotes(const Score& score, const SongSettings& settings) {
    picture_.notes = soundingNotes(score, settings);
    layout_ = RollLayout(kWindowMetrics, pitchSpanOf(picture_.notes));
}

void PianoRollWidget::startPerformance(const Score& score, const SongSettings& settings,
                                       const PlayState& state) {
    played_ = true;
    showNotes(score, settings);
    follower_.restart(state, settings.beatLength);
    picture_.drumHits.clear();
    update();
}

void PianoRollWidget::updateSettings(const Score& score, const SongSettings& settings) {
    if (played_ && soundingNotes(score, settings) != picture_.notes) {
        showNotes(score, settings);
        update();
    }
}

void PianoRollWidget::followTick(const PlayState& state, const SongSettings& settings) {
    const RollChange change = follower_.follow(state, settings.beatLength);
    picture_.drumHits = follower_.hits();
    if (change.wholeLane) {
        update(toQRect(layout_.laneRect()));
    }
    updateColumn(change.oldPlayhead);
    updateColumn(change.newPlayhead);
}

void PianoRollWidget::updateColumn(std::optional<int> step) {
    if (step) {
        update(toQRect(layout_.columnRect(*step)));
    }
}

QString PianoRollWidget::hint() const {
    return played_ ? QString() : tr("Press Play: the canon you hear is drawn here.");
}

void PianoRollWidget::paintEvent(QPaintEvent* event) {
    QPainter painter(this);
    painter.setClipRegion(event->region()); // lets the canvas skip labels outside it
    PainterCanvas canvas(painter, kWindowMetrics.fontSize);
    const StepSpan span = stepsIn(event->rect(), layout_);
    drawRoll(picture_, layout_, canvas, span);
    drawBeatMarks(follower_.beatsAhead(), layout_, canvas, span);
    if (const auto step = follower_.playhead()) {
        drawPlayhead(*step, layout_, canvas);
    }
    if (!played_) {
        painter.drawText(toQRect(layout_.plotRect()), Qt::AlignCenter, hint());
    }
}

bool PianoRollWidget::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const std::string text = describeAt(picture_, layout_, help->pos().x(), help->pos().y());
        if (text.empty()) {
            QToolTip::hideText();
            event->ignore();
        } else {
            QToolTip::showText(help->globalPos(), QString::fromStdString(text), this);
        }
        return true;
    }
    return QWidget::event(event);
}

} // namespace tarnwick
