#pragma once
// Helpers for tests that drive the real dialog under the offscreen platform.
// Doubles: with no sound card or MIDI hardware here, the dialog plays into
// LoggedOutputs, which record every message and their own closing, one for
// each output opened. Ticks come by hand from a ManualStepTimer, or from the
// application's real QtStepTimer.

#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
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
    bool takesClock = false;
};

class LoggedOutput : public MidiOutput {
  public:
    explicit LoggedOutput(std::shared_ptr<OutputLog> log) : log_(std::move(log)) {}
    ~LoggedOutput() override { log_->closed = true; }

    void send(std::uint32_t message) override { log_->messages.push_back(message); }
    void setMessageTime(SteadyClock::time_point time) override { log_->times.push_back(time); }
    bool takesClock() const override { return log_->takesClock; }

  private:
    std::shared_ptr<OutputLog> log_;
};

// A shown dialog with a fixed random seed, over logged outputs (or the ones
// `openOutput` opens) and a manual timer (or the application's real one). The
// preferences are kept in `preferences` when given, else nowhere.
struct DialogRig {
    explicit DialogRig(bool realTimer = false, OpenOutput openOutput = {},
                       std::shared_ptr<QSettings> preferences = nullptr)
        : owned(std::make_unique<MainDialog>(
              parts(realTimer, std::move(openOutput), std::move(preferences)))) {
        owned->show();
    }

    // By default the first output opened logs to `log`; each output is named
    // in `opened` (a port takes the clock), and the Output menu offers three.
    MainDialogParts parts(bool realTimer, OpenOutput openOutput,
                          std::shared_ptr<QSettings> preferences) {
        if (!openOutput) {
            openOutput = [this](OutputPreferences& choice, bool, StatusReport report) {
                report("Test output: " + choice.output);
                auto next = opened.empty() ? log : std::make_shared<OutputLog>();
                next->takesClock = choice.output.starts_with("port:");
                opened.emplace_back(choice.output, next);
                return std::make_unique<LoggedOutput>(next);
            };
        }
        return {.openOutput = std::move(openOutput),
                .listOutputs =
                    [] {
                        return std::vector<OutputChoice>{{"builtin", "", "Built-in synthesiser"},
                                                         {"port:A&B", "", "A&B (JACK)"},
                                                         {"none", "", "None"}};
                    },
                .makeTimer = [this, realTimer](TickHandler onTick) -> std::unique_ptr<StepTimer> {
                    if (realTimer) {
                        return std::make_unique<QtStepTimer>(std::move(onTick));
                    }
                    auto manual = std::make_unique<ManualStepTimer>();
                    timer = manual.get();
                    return manual;
                },
                .randomSeed = 4711,
                .preferences = std::move(preferences)};
    }

    void tick() { dialog.timerTick(SteadyClock::now()); }

    std::shared_ptr<OutputLog> log = std::make_shared<OutputLog>();
    std::vector<std::pair<std::string, std::shared_ptr<OutputLog>>> opened;
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

// Answers the next chooser: types the name into its file-name edit and
// accepts it as its button would (also where the button is disabled, to see
// its own refusal), or cancels for an empty name; then runs `after`. Returns
// what the chooser showed: title, filter, folder, proposed name, save or open.
inline std::shared_ptr<QStringList> answerChooser(const QString& name,
                                                  std::function<void()> after = {}) {
    auto seen = std::make_shared<QStringList>();
    whenModal<QFileDialog>([=](QFileDialog* chooser) {
        auto* nameEdit = chooser->findChild<QLineEdit*>("fileNameEdit");
        *seen = {chooser->windowTitle(), chooser->nameFilters().join(';'),
                 chooser->directory().absolutePath(), nameEdit->text(),
                 chooser->acceptMode() == QFileDialog::AcceptSave ? "save" : "open"};
        if (name.isEmpty()) {
            chooser->reject();
        } else {
            QApplication::setActiveWindow(chooser);
            QVERIFY(QTest::qWaitForWindowActive(chooser));
            nameEdit->setFocus();
            nameEdit->setText(name);
            QMetaObject::invokeMethod(chooser, "accept", Qt::DirectConnection);
        }
        if (after) {
            after();
        }
    });
    return seen;
}

// Answers the next message box with a button; returns its title and text.
inline std::shared_ptr<QString>
answerMessage(QMessageBox::StandardButton button = QMessageBox::Ok) {
    auto shown = std::make_shared<QString>();
    whenModal<QMessageBox>([=](QMessageBox* box) {
        *shown = box->windowTitle() + ": " + box->text();
        QTest::mouseClick(box->button(button), Qt::LeftButton);
    });
    return shown;
}

} // namespace tarnwick::testing
