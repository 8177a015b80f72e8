#pragma once
// Helpers for tests that drive the real dialog under the offscreen platform.
//
// Doubles: this machine has no sound card and no MIDI hardware, so the dialog
// plays into LoggedOutput, which records every message and its own closing.
// Timer ticks are given by hand through a ManualStepTimer where a test needs
// exact message sequences; the tests of timing behaviour use the application's
// real QtStepTimer.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QStyleOptionButton>
#include <QTest>
#include <QTimer>

#include "app/main_dialog.h"
#include "app/qt_step_timer.h"
#include "playback/manual_step_timer.h"
#include "playback/midi_output.h"

namespace tarnwick::testing {

// What an output saw, kept beyond the output's life.
struct OutputLog {
    std::vector<std::uint32_t> messages;
    std::vector<SteadyClock::time_point> times;
    bool closed = false;
    StatusReport report; // the dialog's status callback, for later reports
};

class LoggedOutput : public MidiOutput {
  public:
    explicit LoggedOutput(std::shared_ptr<OutputLog> log) : log_(std::move(log)) {}
    ~LoggedOutput() override { log_->closed = true; }
    LoggedOutput(const LoggedOutput&) = delete;
    LoggedOutput& operator=(const LoggedOutput&) = delete;

    void send(std::uint32_t message) override { log_->messages.push_back(message); }
    void setMessageTime(SteadyClock::time_point time) override { log_->times.push_back(time); }

  private:
    std::shared_ptr<OutputLog> log_;
};

enum class TimerKind { Manual, Real };

// A dialog over a logged output and a manual timer (or the application's real
// step timer), with a fixed random seed.
struct DialogRig {
    explicit DialogRig(TimerKind kind = TimerKind::Manual, std::uint32_t seed = 4711)
        : log(std::make_shared<OutputLog>()) {
        MainDialogParts parts;
        parts.openOutput = [log = log](StatusReport report) {
            report("Test output: recording");
            log->report = std::move(report);
            return std::make_unique<LoggedOutput>(log);
        };
        parts.makeTimer = [this, kind](TickHandler onTick) -> std::unique_ptr<StepTimer> {
            if (kind == TimerKind::Real) {
                return std::make_unique<QtStepTimer>(std::move(onTick));
            }
            auto manual = std::make_unique<ManualStepTimer>();
            timer = manual.get();
            return manual;
        };
        parts.randomSeed = seed;
        dialog = std::make_unique<MainDialog>(std::move(parts));
    }

    void tick() { dialog->timerTick(SteadyClock::now()); }

    std::shared_ptr<OutputLog> log;
    ManualStepTimer* timer = nullptr; // owned by the dialog; null with the real timer
    std::unique_ptr<MainDialog> dialog;
};

template <class Widget>
Widget* control(MainDialog& dialog, int id) {
    return qobject_cast<Widget*>(dialog.panel().widget(id));
}

inline QLineEdit* edit(MainDialog& dialog, int id) {
    return control<QLineEdit>(dialog, id);
}

inline QString text(MainDialog& dialog, int id) {
    return edit(dialog, id)->text();
}

// Replaces an edit's text by typing it, as a user would (validators apply).
inline void retype(QLineEdit* box, const QString& newText) {
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
    for (QAction* action : dialog.findChildren<QAction*>()) {
        if (action->text() == menuText) {
            return action;
        }
    }
    return nullptr;
}

// Runs handler on the next modal window of type T once it is open, from the
// event loop of whatever modal loop is running then. Polls every 10 ms.
template <class T>
void whenModal(std::function<void(T*)> handler) {
    auto* poll = new QTimer(qApp);
    poll->setInterval(10);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, handler = std::move(handler)] {
        auto* window = qobject_cast<T*>(QApplication::activeModalWidget());
        if (window == nullptr || !window->isVisible()) {
            return;
        }
        poll->stop();
        poll->deleteLater();
        handler(window);
    });
    poll->start();
}

} // namespace tarnwick::testing
