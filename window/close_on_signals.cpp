#include "window/close_on_signals.h"

#include <array>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QSocketNotifier>
#include <QTimer>

namespace tarnwick {

namespace {

constexpr std::array kSignals{SIGTERM, SIGINT, SIGHUP};

// The handler can only write to a pipe; the window's thread reads it. Both
// ends are static because a signal handler reaches nothing else.
std::array<int, 2> wakePipe{-1, -1};
std::array<struct sigaction, kSignals.size()> previous{};

extern "C" void wakeWindow(int /*signal*/) {
    const char byte = 1;
    // Nothing to do on failure: a full pipe already holds a wake-up.
    [[maybe_unused]] const auto written = write(wakePipe[1], &byte, 1);
}

} // namespace

CloseOnSignals::CloseOnSignals(QDialog& dialog) : dialog_(dialog) {
    if (pipe2(wakePipe.data(), O_CLOEXEC | O_NONBLOCK) != 0) {
        return; // the signals keep their usual effect
    }
    notifier_ = new QSocketNotifier(wakePipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        char bytes[16];
        while (read(wakePipe[0], bytes, sizeof bytes) > 0) {
        }
        closeWindows();
    });
    struct sigaction action {};
    action.sa_handler = &wakeWindow;
    sigemptyset(&action.sa_mask);
    action.sa_flags = static_cast<int>(SA_RESETHAND); // the second signal ends the process
    for (std::size_t i = 0; i < kSignals.size(); ++i) {
        sigaction(kSignals[i], &action, &previous[i]);
    }
}

CloseOnSignals::~CloseOnSignals() {
    if (notifier_ == nullptr) {
        return;
    }
    for (std::size_t i = 0; i < kSignals.size(); ++i) {
        sigaction(kSignals[i], &previous[i], nullptr);
    }
    close(wakePipe[0]);
    close(wakePipe[1]);
    wakePipe = {-1, -1};
}

void CloseOnSignals::closeWindows() {
    // A modal window above the dialog is cancelled first; the command that
    // opened it then ends as after a cancel, and the dialog closes after it.
    QWidget* modal = QApplication::activeModalWidget();
    if (modal != nullptr && modal != &dialog_) {
        if (auto* dialog = qobject_cast<QDialog*>(modal)) {
            dialog->reject();
        } else {
            modal->close();
        }
        QTimer::singleShot(0, this, [this] { closeWindows(); });
        return;
    }
    dialog_.reject();
}

} // namespace tarnwick
