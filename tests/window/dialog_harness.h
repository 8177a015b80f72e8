#pragma once
// The real dialog offscreen, playing into logged outputs (no sound card here).

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
#include <QTest>
#include <QTimer>

#include "controls/control_ids.h"
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

// A shown dialog with a fixed random seed, over logged outputs or `openOutput`'s.
struct DialogRig {
    explicit DialogRig(bool realTimer = false, OpenOutput openOutput = {},
                       std::shared_ptr<QSettings> preferences = nullptr)
        : owned(std::make_unique<MainDialog>(
              parts(realTimer, std::move(openOutput), std::move(preferences)))) {
        owned->show();
    }

    // The first output opened logs to `log`; each is listed in `opened`.
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

// Every control, in tab order.
inline std::vector<int> tabOrder() {
    using namespace control;
    std::vector<int> ids{kSeed, kRandomCanon, kRandomAll, kScale};
    for (const int first : {kInstrument, kLowOctave, kHighOctave, kVoiceOffset, kVolume, kHold,
                            kModulation, kPortamento}) {
        ids.insert(ids.end(), {first, first + 1, first + 2});
    }
    ids.insert(ids.end(), {kBeat, kStepMs, kDrumVolume, kTranspose});
    for (int s = 0; s < 8; ++s) {
        ids.push_back(kDrumSlot + s);
    }
    ids.insert(ids.end(), {kPlay, kStop, kRepeat, kHarmonyOffset});
    return ids;
}

// Every read of every control, and of 1017, which is none.
inline QStringList readEverything(const ControlPanel& panel) {
    QStringList reads;
    std::vector<int> ids = tabOrder();
    ids.push_back(1017);
    for (const int id : ids) {
        reads << QString("%1: %2 %3 '%4' %5 %6")
                     .arg(id)
                     .arg(panel.readUnsigned(id))
                     .arg(panel.readSigned(id))
                     .arg(QString::fromStdString(panel.readText(id)))
                     .arg(panel.readSelection(id))
                     .arg(panel.readCheck(id));
    }
    return reads;
}

template <class Widget>
Widget* control(MainDialog& dialog, int id) {
    return qobject_cast<Widget*>(dialog.panel().widget(id));
}

inline QString text(MainDialog& dialog, int id) {
    return control<QLineEdit>(dialog, id)->text();
}

// Types an edit's new text, as a user would (validators apply).
inline void retype(MainDialog& dialog, int id, const QString& newText) {
    auto* box = control<QLineEdit>(dialog, id);
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Backspace);
    QTest::keyClicks(box, newText);
}

inline void click(MainDialog& dialog, int id) {
    QTest::mouseClick(control<QPushButton>(dialog, id), Qt::LeftButton);
}

inline QAction* menuItem(MainDialog& dialog, const QString& menuText) {
    const QList<QAction*> actions = dialog.findChildren<QAction*>();
    const auto found = std::ranges::find(actions, menuText, &QAction::text);
    return found == actions.end() ? nullptr : *found;
}

// Runs handler on the next modal window of type T, from whatever loop runs then.
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

// Answers the next chooser: accepts the name (even if disabled) or cancels for
// none, then runs `after`. Returns title, filter, folder, name, save/open.
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
