#pragma once
// Closes the window as Esc closes it when the process is asked to end (SIGTERM,
// SIGINT or SIGHUP: a logout, Ctrl-C in the terminal, a closed terminal), so
// the music stops as "Stop" stops it and an external synthesiser gets All
// Sound Off instead of notes that hang. A chooser or message box open at that
// moment is cancelled first. A second such signal ends the process at once.

#include <QObject>

class QDialog;
class QSocketNotifier;

namespace tarnwick {

class CloseOnSignals final : public QObject {
  public:
    // One at a time: the signals have one handler.
    explicit CloseOnSignals(QDialog& dialog);
    // Puts back the handlers that were there before.
    ~CloseOnSignals() override;
    CloseOnSignals(const CloseOnSignals&) = delete;
    CloseOnSignals& operator=(const CloseOnSignals&) = delete;

  private:
    void closeWindows();

    QDialog& dialog_;
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace tarnwick
