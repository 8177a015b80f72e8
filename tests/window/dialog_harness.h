#pragma once
// Helpers for tests that drive the real dialog under the offscreen platform.
// Doubles: with no sound card or MIDI hardware here, the dialog plays into
// LoggedOutput, which records every message and its own closing. Ticks come by
// hand from a ManualStepTimer, or from the application's real QtStepTimer.

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QTest>
#include <QTimer>

#include "playback/manual_step_timer.h"
#include "playback/qt_step_timer.h"
#include "window/main_dialog.h"

namespace tarnwick::testing {

// What an output saw, kept beyond the output's life.
struct OutputLog {
    std::vector<std::uint32_t> messages;
    std::vector<SteadyClock::time_point> times;
    bool closed = false;
};

class LoggedOutput : public MidiOutput {
  public:
    explicit LoggedOutput(std::shared_ptr<OutputLog> log) : log_(std::move(log)) {}
    ~LoggedOutput() override { log_->closed = true; }

    void send(std::uint32_t message) override { log_->messages.push_back(message); }
    void setMessageTime(SteadyClock::time_point time) override { log_->times.push_back(time); }

  private:
    std::shared_ptr<OutputLog> log_;
};

using OpenOutput = std::function<std::unique_ptr<MidiOutput>(StatusReport)>;

// A shown dialog with a fixed random seed, over a logged output (or the one
// `openOutput` opens) and a manual timer (or the application's real one).
struct DialogRig {
    explicit DialogRig(bool realTimer = false, OpenOutput openOutput = {})
        : owned(std::make_unique<MainDialog>(parts(realTimer, std::move(openOutput)))) {
        owned->show();
    }

    MainDialogParts parts(bool realTimer, OpenOutput openOutput) {
        if (!openOutput) {
            openOutput = [log = log](StatusReport) { return std::make_unique<LoggedOutput>(log); };
        }
        return {.openOutput = std::move(openOutput),
                .makeTimer = [this, realTimer](TickHandler onTick) -> std::unique_ptr<StepTimer> {
                    if (realTimer) {
                        return std::make_unique<QtStepTimer>(std::move(onTick));
                    }
                    auto manual = std::make_unique<ManualStepTimer>();
                    timer = manual.get();
                    return manual;
                },
                .randomSeed = 4711};
    }

    void tick() { dialog.timerTick(SteadyClock::now()); }

    std::shared_ptr<OutputLog> log = std::make_shared<OutputLog>();
    ManualStepTimer* timer = nullptr; // owned by the dialog; null with the real timer
    std::unique_ptr<MainDialog> owned;
    MainDialog& dialog = *owned;
};

template <class Widget>
Widget* control(MainDialog& dialog, int id) {
    return qobject_cast<Widget*>(dialog.panel().widget(id));
}

inline QString text(MainDialog& dialog, int id) {
    return control<QLineEdit>(dialog, id)->text();
}

// Replaces an edit's text by typing it, as a user would (validators apply).
inline void retype(MainDialog& dialog, int id, const QString& newText) {
    auto* box = control<QLineEdit>(dialog, id);
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClicks(box, newText);
}

inline void click(MainDialog& dialog, int id) {
    QTest::mouseClick(control<QPushButton>(dialog, id), Qt::LeftButton);
}

// Clicks a check box on its box, where a user clicks, not on its centre.
inline void clickBox(QCheckBox* box) {
    QStyleOptionButton option;
    option.initFrom(box);
    const QRect indicator =
        box->style()->subElementRect(QStyle::SE_CheckBoxIndicator, &option, box);
    QTest::mouseClick(box, Qt::LeftButton, {}, indicator.center());
}

inline QAction* menuItem(MainDialog& dialog, const QString& menuText) {
    const QList<QAction*> actions = dialog.findChildren<QAction*>();
    const auto found = std::ranges::find(actions, menuText, &QAction::text);
    return found == actions.end() ? nullptr : *found;
}

// Runs handler on the next modal window of type T once it is open, from the
// event loop of whatever modal loop is running then. Polls every 10 ms.
template <class T>
void whenModal(std::function<void(T*)> handler) {
    auto* poll = new QTimer(qApp);
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, handler = std::move(handler)] {
        auto* window = qobject_cast<T*>(QApplication::activeModalWidget());
        if (window != nullptr && window->isVisible()) {
            poll->stop();
            poll->deleteLater();
            handler(window);
        }
    });
    poll->start();
}

} // namespace tarnwick::testing
