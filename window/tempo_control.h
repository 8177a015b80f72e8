#pragma once
// The window's "&Tempo" menu: where the tempo and the steps come from
// ("&Internal", the "ms per" step timer, "&JACK Transport", "MIDI &Clock"
// from one of the JACK MIDI ports its submenu lists, or "Ableton &Link"),
// with a check mark on the one in use; the step's note value ("1/3&2",
// "1/1&6", "1/&8");
// and "JACK Timebase &Master", for Tarnwick to give the JACK transport its
// "ms per" tempo while the source is Internal. Each choice is remembered with
// the window's other preferences.
//
// Following the transport or Link, "Play" starts it rolling (or, rolling
// already, composes anew and plays on from where it is) and "Stop" stops it;
// the performance then starts and stops with it. Following MIDI clock, the
// clock's Start, Continue and Stop do that; "Play" and "Stop" act on the
// performance alone (until the clock's next Start or Continue).

#include <functional>
#include <memory>
#include <string>

#include "playback/tempo_source.h"

class QAction;
class QMenu;
class QSettings;

namespace tarnwick {

class ClockSteps;
class JackTransport;
class LinkSteps;
class Performance;
class StepTimer;
class SwitchedStepTimer;
class TransportSteps;

class TempoControl {
  public:
    struct Parts {
        std::shared_ptr<QSettings> preferences; // may be null
        // The line that tells the tempo followed, or why it cannot be;
        // empty while the source is Internal.
        std::function<void(std::string)> report;
        // The step length typed, in milliseconds.
        std::function<int()> stepMs;
    };

    TempoControl(QMenu& menu, Performance& performance, SwitchedStepTimer& timer, Parts parts);
    ~TempoControl();
    TempoControl(const TempoControl&) = delete;
    TempoControl& operator=(const TempoControl&) = delete;

    // "Play" and "Stop" while following: true when they went to the
    // followed transport (the controls have been read already).
    bool play();
    bool stop();

    // The window has ended: follow nothing any more.
    void close();

  private:
    void choose(TempoSource source);
    void listClockPorts();
    void chooseStepsPerBeat(int stepsPerBeat);
    void setTimebaseMaster(bool on);
    void show();

    Performance& performance_;
    SwitchedStepTimer& timer_;
    Parts parts_;
    TempoSource source_ = TempoSource::Internal;
    int stepsPerBeat_;
    bool timebaseMaster_ = false;
    std::unique_ptr<TransportSteps> steps_;
    std::unique_ptr<JackTransport> master_;
    std::unique_ptr<LinkSteps> link_;
    std::unique_ptr<ClockSteps> clock_;
    std::string clockPort_; // the JACK MIDI port the clock comes from
    QAction* internal_;
    QAction* jack_;
    QMenu* clockMenu_;
    QAction* linkItem_;
    QAction* lengths_[3];
    QAction* masterItem_;
};

} // namespace tarnwick
